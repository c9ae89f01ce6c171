// The recording program's main window: actions, tool bar, MDI area, docks, engine wiring, settings.
#pragma once

#include <RecordingOptions.h>
#include <brasko/AsyncErrorQueue.h>

#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class BurgerMenueDockWidget;
class CameraSettingsWidget;
class ContextManager;
class CTesvarMdiArea;
class DeviceManager;
class QToolBar;
class RecordingSettingsWidget;

namespace Ui {
class KalmuthClass;
}

// GUI thread only.
class Kalmuth : public QMainWindow {
    Q_OBJECT
public:
    // The custom event that starts the first device scan from the event loop.
    static constexpr int StartScanEventType = 46778;

    Kalmuth(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~Kalmuth() override;

    // True for "-r" or "/r" among the arguments after the program's name (trimmed, any case).
    static bool hasAutoRecordOption(const QStringList& arguments);
    // The trace level and message-box icon for an error-queue severity.
    static void severityStyle(int severity, unsigned* traceLevel, QMessageBox::Icon* icon);
    // The file name after the save dialog: the filter's suffix is added to a name without one.
    static QString appendFilterSuffix(const QString& fileName, const QString& selectedFilter);

    Ui::KalmuthClass* form() const { return m_ui.get(); }
    CTesvarMdiArea* mdiArea() const { return m_mdiArea; }
    QToolBar* toolBar() const { return m_toolBar; }
    ContextManager* contextManager() const { return m_contextManager; }
    DeviceManager* deviceManager() const { return m_deviceManager; }
    BurgerMenueDockWidget* cameraSettingsDock() const { return m_cameraDock; }
    BurgerMenueDockWidget* recordingSettingsDock() const { return m_recordingDock; }
    CameraSettingsWidget* cameraSettingsWidget() const { return m_cameraSettings; }
    RecordingSettingsWidget* recordingSettingsWidget() const { return m_recordingSettings; }
    CRecordingOptions* recordingOptions() { return &m_options; }
    bool isAutoRecordPending() const { return m_autoRecord; }
    // What the command-line option sets; for a host that starts the window without that option.
    void setAutoRecord(bool enable) { m_autoRecord = enable; }

public slots:
    void updateActions();
    void on_actionSaveImage_triggered();
    void ContinousGrab_triggered();
    void Record_triggered();
    void RecordStop_triggered();
    void onActionOptimizeCameraParameters_triggered();
    void onDisplayError(AsyncErrorQueue::ErrorSeverity severity, QString text, QString detail, QWidget* parent);

protected:
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    // Runs an automatic start (the live view or the -r recording) unless one has been refused.
    void autoStart(void (Kalmuth::*start)());
    // Asks the engine for a start of the grab (a live view or a recording) and notes whether the camera
    // took it.
    void startGrab(const std::function<void()>& start);
    QString askSaveImageFileName();
    void restoreSettings();
    void saveSettings();

    std::unique_ptr<Ui::KalmuthClass> m_ui;
    CTesvarMdiArea* m_mdiArea = nullptr;
    QToolBar* m_toolBar = nullptr;
    ContextManager* m_contextManager = nullptr;
    DeviceManager* m_deviceManager = nullptr;
    BurgerMenueDockWidget* m_cameraDock = nullptr;
    CameraSettingsWidget* m_cameraSettings = nullptr;
    BurgerMenueDockWidget* m_recordingDock = nullptr;
    RecordingSettingsWidget* m_recordingSettings = nullptr;
    CRecordingOptions m_options;
    bool m_autoRecord = false;
    std::vector<uint8_t> m_compressionParameters;
    std::vector<uint8_t> m_compressionFormat;
    bool m_shutDown = false;
    // The engine is being shut down for the window's close (or destruction).
    bool m_closing = false;
    // An automatic start failed on the current camera; none is tried until another camera comes or a
    // grab runs.
    bool m_autoStartRefused = false;
    // A start is being asked of the engine.
    bool m_starting = false;
};
