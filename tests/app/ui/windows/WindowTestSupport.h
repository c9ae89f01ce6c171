// Helpers of the window tests: test images over real stream buffers and answering modal boxes.
#pragma once

#include <lorvish/Image.h>
#include <lorvish/StreamBuffer.h>
#include <nimbo/PixelType.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>
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

// For as long as it lives, every modal widget that appears is noted and closed at once (a message box
// through its escape button, as the user's Escape key would), so a test that expects none fails on
// seeing one instead of waiting for it forever.
class ModalBoxGuard {
public:
    ModalBoxGuard()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { closeModal(); });
        m_timer.start();
    }
    // The texts of the boxes seen (a message box's text, another widget's title).
    const QStringList& seen() const { return m_seen; }

private:
    void closeModal()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        auto* box = qobject_cast<QMessageBox*>(modal);
        m_seen << (box ? box->text() : modal->windowTitle());
        if (box && box->escapeButton())
            box->escapeButton()->click();
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

    QTimer m_timer;
    QStringList m_seen;
};

} // namespace windowtest
