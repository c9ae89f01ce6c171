// The shared layout of the slider controls: edit box, slider, 4 pixels of space.
#include "ControlLayout.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

namespace orbelt_detail {

int editBoxWidthFor(QAbstractSpinBox* editBox)
{
    QStyleOptionSpinBox option;
    option.initFrom(editBox);
    option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown | QStyle::SC_SpinBoxFrame;
    option.buttonSymbols = editBox->buttonSymbols();
    option.frame = editBox->hasFrame();
    const QFontMetrics metrics(editBox->font());
    const QSize content(metrics.horizontalAdvance(QStringLiteral("999999999999")), metrics.height());
    return editBox->style()->sizeFromContents(QStyle::CT_SpinBox, &option, content, editBox).width();
}

int layOutEditBoxAndSlider(QWidget* owner, QAbstractSpinBox* editBox, QSlider* slider)
{
    auto* layout = new QHBoxLayout(owner);
    layout->setMargin(0);
    layout->setContentsMargins(0, 1, 0, 1);
    layout->addWidget(editBox);
    layout->addWidget(slider);
    layout->addSpacing(4);
    QSizePolicy sliderPolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    sliderPolicy.setHorizontalStretch(10);
    slider->setSizePolicy(sliderPolicy);
    const int width = editBoxWidthFor(editBox);
    editBox->setMinimumWidth(width);
    QSizePolicy boxPolicy = editBox->sizePolicy();
    boxPolicy.setHorizontalPolicy(QSizePolicy::Fixed);
    editBox->setSizePolicy(boxPolicy);
    return width;
}

} // namespace orbelt_detail
