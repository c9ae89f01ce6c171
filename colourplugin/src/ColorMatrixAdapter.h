// A colour matrix that reads and writes itself through the camera's colour-transformation nodes.
#pragma once

#include "ColorMatrix.h"

#include <GenApi/GenApi.h>

namespace Huvane {

// Not synchronised: the owner calls it under the node map's lock (see CTavoEventManager).
class CColorMatrixAdapter : public ColorMatrix {
public:
    CColorMatrixAdapter() = default;
    CColorMatrixAdapter& operator=(const ColorMatrix& other)
    {
        assignElements(other);
        return *this;
    }

    // Looks the "ColorTransformationValue" and "ColorTransformationValueSelector" nodes up; either may be absent.
    void bind(GenApi::INodeMap* nodeMap);
    void release();

    // Resets to the identity, then reads Gain00 .. Gain22. A missing node raises the GenICam logical-error
    // exception "NULL pointer dereferenced".
    void readFromCamera();
    // Whether readFromCamera can work: the selector writable and the value node readable.
    bool canRead() const;

    // Whether writeToCamera writes: the selector and the value node both readable and writable.
    bool canWrite() const;

    // Writes every element, clamped to the value node's limits. Answers true without writing anything when
    // the nodes are not both readable and writable; false when a write fails (the elements already written
    // stay). With `held`, each element written is read back from the camera into it: the matrix as the
    // camera keeps it, rounded as its value node rounds.
    bool writeToCamera(ColorMatrix* held = nullptr);

private:
    GenApi::CFloatPtr m_value;
    GenApi::CEnumerationPtr m_selector;
};

} // namespace Huvane
