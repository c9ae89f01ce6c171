// The part both slider controls share: an edit box and a horizontal slider side by side in one row.
#include "orbelt/EditBoxSlider.h"

#include "orbelt/SpinBox.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSpinBox>

namespace orbelt_detail {

namespace {

// What the style makes of a spin box around twelve digits.
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

// Lays the pair out in owner and gives the edit box's width.
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

} // namespace

template <class Box>
EditBoxSlider<Box>::EditBoxSlider(QWidget* parent)
    : QWidget(parent), m_slider(new QSlider(Qt::Horizontal, this)), m_editBox(new Box(this)),
      m_editBoxWidth(layOutEditBoxAndSlider(this, m_editBox, m_slider))
{
}

template <class Box>
void EditBoxSlider<Box>::setEditBoxWidth(int width)
{
    m_editBoxWidth = width;
    m_editBox->setMinimumWidth(width);
}

template class EditBoxSlider<NimboQtSpinBox>;
template class EditBoxSlider<NimboQtDoubleSpinBox>;

} // namespace orbelt_detail
