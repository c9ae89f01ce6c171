// The interface through which the feature tree hands a node to an editor and takes its value back.
#pragma once

#include "orbelt/Export.h"

#include <QVariant>

namespace GenApi {
class INode;
}

class ORBELT_EXPORT AbstractItemEditor {
public:
    virtual void setEditorData(GenApi::INode* node) = 0;
    virtual QVariant editorData() = 0;
    virtual ~AbstractItemEditor() = default;
};
