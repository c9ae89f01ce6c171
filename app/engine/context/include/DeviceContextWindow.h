// The device context's view of its image window, so the engine runs without the program's widgets.
#pragma once

#include "RecordingState.h"
#include "RecordingStatusInfo.h"

#include <lorvish/Image.h>

#include <QString>

#include <cstdint>

// The program's image window implements this; the engine only ever talks to the window through it.
// Threads: setImage is called in the converter's thread (the decoupler's), everything else on the
// GUI thread. The window reports its user actions back by calling the device context's slots
// imageWindowClosed(), onWhiteBalanceAreaUpdated(QRect), updateImageWindowRecordingStatus() and by
// emitting the context's cameraStateChanged() when its image size changed.
class IDeviceContextWindow {
public:
    virtual ~IDeviceContextWindow() = default;

    virtual void setDeviceName(const QString& name) = 0;
    // Converter thread: must only hand the image over to the GUI thread.
    virtual void setImage(const Lorvish::Image& image) = 0;
    virtual bool isWindowHidden() const = 0;
    // Shows the window (maximized in its MDI area).
    virtual void showWindow() = 0;
    virtual void giveFocus() = 0;
    // Hides the window; the object stays and the next grab shows it again.
    virtual void closeWindow() = 0;
    // Ends the window for good. The window disposes of itself; the caller forgets the pointer.
    virtual void shutDownAndDispose() = 0;
    virtual void setWhiteBalancePickerEnabled(bool enabled) = 0;
    virtual void recordingStateChanged(ERecordingState state) = 0;
    virtual void setRecordingStatus(const RecordingStatusInfo& status) = 0;
    virtual void setPerfData(double framesPerSecond, uint64_t bytesPerSecond, bool hasBeenReset) = 0;
    virtual void clearPerfData() = 0;
    virtual void updateImageCounter(uint32_t images, uint32_t errors) = 0;
    // True when the window held an image and wrote it to the file.
    virtual bool saveImage(const QString& fileName) = 0;

    // View commands of the active window; a window without them keeps these neutral answers.
    virtual bool hasImage() const { return false; }
    virtual void zoomIn() {}
    virtual void zoomOut() {}
    virtual void zoomToFit() {}
    virtual void zoom100() {}
    virtual bool canZoomIn() const { return false; }
    virtual bool canZoomOut() const { return false; }
    virtual bool canZoomToFit() const { return false; }
    virtual bool canZoom100() const { return false; }
    // Stops (true) or resumes (false) repainting while images keep arriving.
    virtual void pauseUpdates(bool) {}
};

// The window used until the program plugs in its own: it shows nothing and keeps only its
// visibility, so the engine's flow (show, close, show again) stays the same without widgets.
class NullDeviceContextWindow : public IDeviceContextWindow {
public:
    void setDeviceName(const QString&) override {}
    void setImage(const Lorvish::Image&) override {}
    bool isWindowHidden() const override { return m_hidden; }
    void showWindow() override { m_hidden = false; }
    void giveFocus() override {}
    void closeWindow() override { m_hidden = true; }
    void shutDownAndDispose() override { delete this; }
    void setWhiteBalancePickerEnabled(bool) override {}
    void recordingStateChanged(ERecordingState) override {}
    void setRecordingStatus(const RecordingStatusInfo&) override {}
    void setPerfData(double, uint64_t, bool) override {}
    void clearPerfData() override {}
    void updateImageCounter(uint32_t, uint32_t) override {}
    bool saveImage(const QString&) override { return false; }

private:
    bool m_hidden = true;
};
