// The image window's live status bar: RGB and position under the cursor, frame and data rate, size, zoom.
#pragma once

#include <nimbo/NimboImage.h>

#include <QStatusBar>
#include <QString>

#include <cstdint>

class QFontMetrics;
class QLabel;

// GUI thread only; the image window owns the record and hands it to update().
class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    struct StatusInfo {
        double framesPerSecond = -1.0;
        uint64_t reserved = 0;
        uint64_t bytesPerSecond = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        Nimbo::SPixelData pixelData;
        uint32_t pixelValue = 0; // 0x00RRGGBB
        int32_t cursorX = 0;
        int32_t cursorY = 0;
        double zoom = 1.0;
        bool sizeValid = false;
        bool zoomShown = true;
        bool rateValid = false;
        bool alwaysShown = true;
        bool sizeChanged = false;
        bool cursorValid = false;
        bool zoomChanged = false;
        uint32_t imageCounter = 0;
        uint32_t imageErrorCounter = 0;
        bool hasBeenReset = false;
    };

    explicit StatusBar(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    QLabel* rateLabel() const { return m_rateLabel; }
    QLabel* positionLabel() const { return m_positionLabel; }
    QLabel* rgbLabel() const { return m_rgbLabel; }
    QLabel* sizeLabel() const { return m_sizeLabel; }
    QLabel* zoomLabel() const { return m_zoomLabel; }

    static QString rateText(double framesPerSecond, uint64_t bytesPerSecond);
    static QString zoomText(double zoom);
    // The figures right-aligned in columns `figureWidth` pixels wide.
    static QString rgbText(uint32_t pixelValue, int figureWidth);
    // The column width that holds the widest figure with room before it, in the font measured.
    static int rgbFigureWidth(const QFontMetrics& metrics);

public slots:
    // Clears the record's size-changed and zoom-changed flags once it has shown them.
    void update(StatusBar::StatusInfo* info);

private:
    // Makes the RGB label as wide as its widest text in columns `figureWidth` wide, in its own font.
    void fitRgbLabel(int figureWidth);

    QString m_rateFormat = " %1 (%2) ";
    QString m_zoomFormat = " %1 ";
    QString m_sizeFormat = " %1 x %2 ";
    QString m_positionFormat = " %1, %2 ";
    QLabel* m_rateLabel;
    QLabel* m_positionLabel;
    QLabel* m_sizeLabel;
    QLabel* m_zoomLabel;
    QLabel* m_rgbLabel;
    // The column width the RGB label was made to fit; its font (a style sheet's) may differ by now.
    int m_rgbFigureWidth = 0;
    bool m_rateShown = false;
    bool m_cursorShown = false;
    bool m_sizeShown = false;
    bool m_zoomShown = false;
    bool m_alwaysShown = false;
};
