// Helpers of the window tests: test images over real stream buffers and answering modal boxes.
#pragma once

#include <lorvish/Image.h>
#include <lorvish/StreamBuffer.h>
#include <nimbo/PixelType.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <memory>

namespace windowtest {

// The program's resources live in the static UI library; tests register them once.
void initResources();

// A Mono8 stream buffer holding an image, and a colour image made of it.
struct TestImage {
    TestImage(unsigned width, unsigned height, uint8_t value = 0x40)
        : buffer(width * height, Nimbo::PixelType_Mono8, width, height, 0, nullptr)
    {
        buffer.setHasImage(true);
        buffer.memset(value);
        image = Lorvish::Image(width, height, Lorvish::Image::FormatRgb32, &buffer);
    }
    ~TestImage() { image = Lorvish::Image(); }
    Lorvish::StreamBuffer buffer;
    Lorvish::Image image;
};

// Presses `button` on the next message box that becomes modal, so a test never blocks on it.
// Returns the flag that tells whether a box was answered.
inline std::shared_ptr<bool> answerNextMessageBox(QMessageBox::StandardButton button)
{
    auto answered = std::make_shared<bool>(false);
    auto* timer = new QTimer(qApp);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, button, answered] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (QAbstractButton* b = box->button(button)) {
                *answered = true;
                timer->stop();
                timer->deleteLater();
                b->click();
            }
        }
    });
    timer->start();
    return answered;
}

} // namespace windowtest
