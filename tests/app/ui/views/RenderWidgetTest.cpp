// The render widget's click-or-drag decision, image coordinates, pixel query and scaled drawing.
#include "RenderWidget.h"

#include <lorvish/Image.h>
#include <lorvish/StreamBuffer.h>
#include <nimbo/PixelType.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {
// A 4 x 4 Mono8 buffer whose pixel (x, y) holds 16 * y + x, and an RGB image of it whose pixel
// (x, y) is a grey of the same value.
struct TestImage {
    TestImage() : buffer(16, Nimbo::PixelType_Mono8, 4, 4, 0, nullptr)
    {
        buffer.setHasImage(true);
        for (int i = 0; i < 16; ++i)
            buffer.rawData()[i] = static_cast<uint8_t>(16 * (i / 4) + i % 4);
        image = Lorvish::Image(4, 4, Lorvish::Image::FormatRgb32, &buffer);
        for (int y = 0; y < 4; ++y) {
            auto* line = reinterpret_cast<uint32_t*>(image.pixelData() + y * image.lineOffset());
            for (int x = 0; x < 4; ++x) {
                const uint32_t v = 16 * y + x;
                line[x] = 0xFF000000u | (v << 16) | (v << 8) | v;
            }
        }
    }
    ~TestImage() { image = Lorvish::Image(); }
    Lorvish::StreamBuffer buffer;
    Lorvish::Image image;
};

void send(QWidget& widget, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget.mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}
void enter(QWidget& widget)
{
    QEvent event(QEvent::Enter);
    QApplication::sendEvent(&widget, &event);
}
} // namespace

TEST(RenderWidgetTest, quickClickReportsTheLastMovedImagePosition)
{
    RenderWidget widget;
    widget.setZoom(2.0);
    QSignalSpy clicks(&widget, &RenderWidget::mouseLeftClicked);
    QSignalSpy moves(&widget, &RenderWidget::mouseMoved);
    QSignalSpy tracking(&widget, &RenderWidget::mouseTrackingChanged);
    enter(widget);
    EXPECT_TRUE(widget.hasMouseTracking());
    send(widget, QEvent::MouseMove, QPoint(7, 9), Qt::NoButton, Qt::NoButton);
    send(widget, QEvent::MouseButtonPress, QPoint(7, 9), Qt::LeftButton, Qt::LeftButton);
    send(widget, QEvent::MouseMove, QPoint(21, 31), Qt::NoButton, Qt::LeftButton);
    send(widget, QEvent::MouseButtonRelease, QPoint(40, 40), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toPoint(), QPoint(10, 15));
    EXPECT_EQ(moves.count(), 2);
    ASSERT_EQ(tracking.count(), 1);
    EXPECT_TRUE(tracking.at(0).at(0).toBool());

    // Other buttons neither click nor start a drag.
    send(widget, QEvent::MouseButtonPress, QPoint(1, 1), Qt::RightButton, Qt::RightButton);
    send(widget, QEvent::MouseButtonRelease, QPoint(1, 1), Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(clicks.count(), 1);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&widget, &leave);
    EXPECT_FALSE(widget.hasMouseTracking());
    EXPECT_FALSE(tracking.last().at(0).toBool());
}

TEST(RenderWidgetTest, pressHeldPastTheDelayAndMovedIsADrag)
{
    RenderWidget widget;
    QSignalSpy clicks(&widget, &RenderWidget::mouseLeftClicked);
    QSignalSpy moves(&widget, &RenderWidget::mouseMoved);
    enter(widget);
    send(widget, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
    QTest::qWait(700);
    send(widget, QEvent::MouseMove, QPoint(50, 50), Qt::NoButton, Qt::LeftButton);
    send(widget, QEvent::MouseMove, QPoint(60, 60), Qt::NoButton, Qt::LeftButton);
    send(widget, QEvent::MouseButtonRelease, QPoint(60, 60), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(moves.count(), 0);
    // After the drag, moves report again and the next quick press is a click.
    send(widget, QEvent::MouseMove, QPoint(3, 4), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(moves.count(), 1);
    send(widget, QEvent::MouseButtonPress, QPoint(3, 4), Qt::LeftButton, Qt::LeftButton);
    send(widget, QEvent::MouseButtonRelease, QPoint(3, 4), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toPoint(), QPoint(3, 4));
}

TEST(RenderWidgetTest, pixelQueryIsValidOnlyForARealImageAndATrackedCursorInside)
{
    TestImage test;
    RenderWidget widget;
    widget.setImage(test.image);
    EXPECT_EQ(widget.sizeHint(), QSize(4, 4));
    enter(widget);

    bool valid = true;
    int x = 0, y = 0;
    uint32_t rgb = 1;
    widget.getPixelInfo(&valid, nullptr, &rgb, &x, &y);
    EXPECT_FALSE(valid); // just entered: no position yet
    EXPECT_EQ(x, -1);
    EXPECT_EQ(rgb, 0u);

    send(widget, QEvent::MouseMove, QPoint(2, 3), Qt::NoButton, Qt::NoButton);
    Nimbo::SPixelData pixel;
    widget.getPixelInfo(&valid, &pixel, &rgb, &x, &y);
    EXPECT_TRUE(valid);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 3);
    EXPECT_EQ(pixel.PixelDataType, Nimbo::PixelDataType_Mono);
    EXPECT_EQ(pixel.Mono, 50u);
    EXPECT_EQ(rgb & 0xFFFFFFu, 0x323232u);

    const struct {
        QPoint at;
        bool valid;
    } positions[] = {{{3, 3}, true}, {{4, 0}, false}, {{0, 4}, false}, {{0, 0}, true}};
    for (const auto& p : positions) {
        send(widget, QEvent::MouseMove, p.at, Qt::NoButton, Qt::NoButton);
        widget.getPixelInfo(&valid, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(valid, p.valid) << p.at.x() << "," << p.at.y();
    }
    widget.getPixelInfo(nullptr, nullptr, nullptr, nullptr, nullptr);

    // A test buffer is never a valid pixel source.
    test.buffer.markAsTestBuffer();
    widget.getPixelInfo(&valid, &pixel, &rgb, nullptr, nullptr);
    EXPECT_FALSE(valid);
    EXPECT_EQ(pixel.PixelDataType, Nimbo::PixelDataType_Unknown);
    widget.setImage(Lorvish::Image());
    EXPECT_EQ(widget.sizeHint(), QSize(640, 480));
}

TEST(RenderWidgetTest, zoomCloseToOneDrawsUnscaledOtherwiseScalesToTheWidget)
{
    TestImage test;
    const struct {
        double zoom;
        bool scaled;
    } cases[] = {{1.005, false}, {0.995, false}, {1.02, true}, {10.0, true}};
    for (const auto& c : cases) {
        RenderWidget widget;
        widget.setImage(test.image);
        widget.setZoom(c.zoom);
        widget.resize(40, 40);
        QPalette palette = widget.palette();
        palette.setColor(QPalette::Window, Qt::red);
        widget.setPalette(palette);
        QSignalSpy rendered(&widget, &RenderWidget::imageRendered);
        const QImage shot = widget.grab().toImage();
        EXPECT_EQ(rendered.count(), 1) << c.zoom;
        // The last image pixel (grey 51) covers the widget's far corner only when scaled.
        const QRgb corner = shot.pixel(38, 38);
        if (c.scaled) {
            EXPECT_EQ(qGray(corner), 51) << c.zoom;
            EXPECT_EQ(qGray(shot.pixel(38, 0)), 3) << c.zoom;
        } else {
            EXPECT_NE(qGray(corner), 51) << c.zoom;
            EXPECT_EQ(qGray(shot.pixel(1, 0)), 1) << c.zoom;
        }
    }
}

TEST(RenderWidgetTest, withoutAnImageTheWidgetIsFilledWithTheWindowBrush)
{
    RenderWidget widget;
    widget.resize(20, 20);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 30));
    widget.setPalette(palette);
    QSignalSpy rendered(&widget, &RenderWidget::imageRendered);
    const QImage shot = widget.grab().toImage();
    EXPECT_EQ(shot.pixel(10, 10) & 0xFFFFFFu, 0x0AC81Eu);
    EXPECT_EQ(rendered.count(), 0);
}
