// The commit rule of the float edit boxes, shared by every float editor of a node.
#pragma once

#include "orbelt/SpinBox.h"

#include <GenICam/GenericException.h>

namespace NimboQt {

// Whether editingFinished brings a value to commit: one the user typed that differs from the node's value as
// the box shows it. editingFinished also comes when the user only clicked into the box and left it, pressed
// Enter on the shown text, or emptied it (the box then shows its value again): committing the box then would
// write back the node's value rounded to the box's decimals. A node that cannot be read leaves the typed
// value to the caller, which reports what goes wrong.
template <class FloatPtr>
bool userChangedValue(const NimboQtDoubleSpinBox& box, const FloatPtr& node)
{
    if (!box.isEditedByUser())
        return false;
    try {
        return box.textFromValue(node->GetValue(false, false)) != box.textFromValue(box.value());
    } catch (const GenICam::GenericException&) {
        return true;
    }
}

} // namespace NimboQt
