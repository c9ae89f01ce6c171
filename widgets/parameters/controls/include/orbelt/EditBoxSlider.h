// The part both slider controls share: an edit box and a horizontal slider side by side in one row.
#pragma once

#include "orbelt/Export.h"

#include <QWidget>

class QSlider;
class NimboQtSpinBox;
class NimboQtDoubleSpinBox;

namespace orbelt_detail {

// GUI thread only. Box is the edit box's class; the control built on it says what the two parts show
// and how they follow each other. Both parts are child widgets, created and laid out here: edit box,
// slider, four pixels of space, the box as wide as twelve digits and fixed at that width.
template <class Box>
class ORBELT_EXPORT EditBoxSlider : public QWidget {
public:
    QSlider* slider() const { return m_slider; }
    Box* editBox() const { return m_editBox; }
    int editBoxWidth() const { return m_editBoxWidth; }

protected:
    explicit EditBoxSlider(QWidget* parent);
    // Stores the width and makes it the edit box's minimum width.
    void setEditBoxWidth(int width);

    QSlider* const m_slider;
    Box* const m_editBox;

private:
    int m_editBoxWidth;
};

// Built once, in the library, for the two edit boxes.
extern template class EditBoxSlider<NimboQtSpinBox>;
extern template class EditBoxSlider<NimboQtDoubleSpinBox>;

} // namespace orbelt_detail
