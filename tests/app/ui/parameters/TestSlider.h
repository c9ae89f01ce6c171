// The settings panel's flat slider in the linear scale, as most of the panel's sliders are.
#pragma once

#include "FlatDoubleComboSlider.h"

#include <orbelt/SpinBox.h>

#include <QSlider>
#include <QTest>

class TestSlider : public FlatDoubleComboSlider {
public:
    TestSlider() : FlatDoubleComboSlider(nullptr, 0) {}
};

// Types text over the box's whole text and presses Enter, as the user commits a value.
inline void typeAndEnter(NimboQtDoubleSpinBox* box, const QString& text)
{
    box->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}
