// Reading and writing the camera's colour transformation matrix element by element.
#include "ColorMatrixAdapter.h"

#include <algorithm>
#include <string>

namespace Huvane {

namespace {
GenICam::gcstring gainEntry(int row, int column)
{
    return GenICam::gcstring(("Gain" + std::to_string(row) + std::to_string(column)).c_str());
}
} // namespace

void CColorMatrixAdapter::bind(GenApi::INodeMap* nodeMap)
{
    release();
    if (!nodeMap)
        return;
    m_value = nodeMap->GetNode("ColorTransformationValue");
    m_selector = nodeMap->GetNode("ColorTransformationValueSelector");
}

void CColorMatrixAdapter::release()
{
    m_value.Release();
    m_selector.Release();
}

void CColorMatrixAdapter::readFromCamera()
{
    setIdentity();
    for (int i = 0; i < Rows; ++i)
        for (int j = 0; j < Columns; ++j) {
            m_selector->FromString(gainEntry(i, j));
            set(i, j, m_value->GetValue());
        }
}

bool CColorMatrixAdapter::canRead() const
{
    return GenApi::IsWritable(m_selector) && GenApi::IsReadable(m_value);
}

bool CColorMatrixAdapter::canWrite() const
{
    return GenApi::IsReadable(m_selector) && GenApi::IsWritable(m_selector) && GenApi::IsReadable(m_value) &&
           GenApi::IsWritable(m_value);
}

bool CColorMatrixAdapter::writeToCamera(ColorMatrix* held)
{
    if (!canWrite())
        return true;
    try {
        for (int i = 0; i < Rows; ++i)
            for (int j = 0; j < Columns; ++j) {
                m_selector->FromString(gainEntry(i, j));
                const double value = std::min(std::max(at(i, j), m_value->GetMin()), m_value->GetMax());
                m_value->SetValue(value);
                if (held)
                    held->set(i, j, m_value->GetValue(false, true));
            }
    } catch (...) {
        return false;
    }
    return true;
}

} // namespace Huvane
