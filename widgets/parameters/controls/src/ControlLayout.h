// The shared layout of the slider controls: edit box, slider, 4 pixels of space.
#pragma once

#include <QAbstractSpinBox>
#include <QSlider>

class QWidget;

namespace orbelt_detail {
// Lays the pair out in owner and gives the width that fits twelve digits in the edit box.
int layOutEditBoxAndSlider(QWidget* owner, QAbstractSpinBox* editBox, QSlider* slider);
int editBoxWidthFor(QAbstractSpinBox* editBox);
} // namespace orbelt_detail
