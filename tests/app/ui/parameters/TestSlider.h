// The settings panel's flat slider in the linear scale, as most of the panel's sliders are.
#pragma once

#include "FlatDoubleComboSlider.h"

#include <orbelt/SpinBox.h>

#include <QSlider>

class TestSlider : public FlatDoubleComboSlider {
public:
    TestSlider() : FlatDoubleComboSlider(nullptr, 0) {}
};
