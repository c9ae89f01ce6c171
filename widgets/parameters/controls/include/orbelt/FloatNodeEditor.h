// The half both float editors share: the item-editor interface over their float node, whose range the
// value they commit is brought into.
#pragma once

#include "orbelt/AbstractItemEditor.h"
#include "orbelt/Export.h"
#include "orbelt/SpinBox.h"

#include <GenApi/Float.h>
#include <nimbo/SafeNodePtr.h>

#include <QVariant>

namespace orbelt_detail {

// GUI thread only. Editor is the float editor built on it; its edit box (editBox()) holds the value.
template <class Editor>
class ORBELT_EXPORT FloatNodeEditor : public AbstractItemEditor {
public:
    QVariant editorData() override { return QVariant(value()); }
    // The edit box value brought into the node's range.
    double value() { return adjustRangeLimits(static_cast<Editor*>(this)->editBox()->value()); }

protected:
    // The value brought into the float node's range; unchanged, after the warning lines that name
    // "<editor class>::adjustRangeLimits", while the range cannot be read (no node bound included).
    double adjustRangeLimits(double value);

    Nimbo::CSafeFloatPtr m_float;
};

} // namespace orbelt_detail
