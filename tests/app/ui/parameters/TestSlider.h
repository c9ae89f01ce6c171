// The slider control as the settings panel's flat slider presents it in the linear scale.
#pragma once

#include <orbelt/DoubleComboSlider.h>
#include <orbelt/SpinBox.h>

#include <QSlider>

class TestSlider : public DoubleComboSlider {
    Q_OBJECT
public:
    TestSlider()
    {
        connect(editBox(), &QDoubleSpinBox::editingFinished, this, &TestSlider::editingFinished);
        connect(slider(), &QSlider::valueChanged, this, &TestSlider::valueChanged);
    }

signals:
    void editingFinished();
    void valueChanged(int value);
};
