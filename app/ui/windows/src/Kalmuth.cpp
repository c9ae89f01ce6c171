// The main window: form, tool bar, docks, engine wiring, action states, auto-start, errors, settings.
#include "Kalmuth.h"

#include "BurgerMenueDockWidget.h"
#include "CameraSettingsWidget.h"
#include "ImageWindow.h"
#include "RecordingSettingsWidget.h"
#include "TesvarMdiArea.h"
#include "ui_Kalmuth.h"

#include <Camera.h>
#include <ContextManager.h>
#include <DeviceManager.h>
#include <RecordingState.h>
#include <nimbo/Mivtrace.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QScopedValueRollback>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

Mivtrace::CatID baseCategory()
{
    static const Mivtrace::CatID id = Mivtrace::LogGetCatID("Tesvar.Base");
    return id;
}

// The form gives each tool-bar icon its 16-pixel drawings and, in the property "largeIcon", the same
// modes and states drawn at 32 pixels, the size the tool bar shows them at: one icon takes both.
void addLargeDrawings(QMainWindow* window)
{
    const QIcon::Mode modes[] = {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected};
    for (QAction* action : window->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QIcon large = action->property("largeIcon").value<QIcon>();
        if (large.isNull())
            continue;
        QIcon icon = action->icon();
        for (QIcon::Mode mode : modes)
            for (QIcon::State state : {QIcon::Off, QIcon::On})
                for (const QSize& size : large.availableSizes(mode, state))
                    icon.addPixmap(large.pixmap(size, mode, state), mode, state);
        action->setIcon(icon);
        action->setProperty("largeIcon", QVariant());
    }
}

} // namespace

Kalmuth::Kalmuth(QWidget* parent, Qt::WindowFlags flags) : QMainWindow(parent, flags), m_ui(new Ui::KalmuthClass)
{
    registerRecordingStateMetaType();
    qRegisterMetaType<AsyncErrorQueue::ErrorSeverity>("AsyncErrorQueue::ErrorSeverity");
    m_autoRecord = hasAutoRecordOption(QCoreApplication::arguments());

    m_ui->setupUi(this);
    addLargeDrawings(this);
    // Two shortcuts, each alone: a form holds one key sequence per action, and "F10, Ctrl+R" as one
    // sequence would be a chord of both keys in turn.
    m_ui->actionStartRecording->setShortcuts({QKeySequence(QCoreApplication::translate("KalmuthClass", "F10")),
                                              QKeySequence(QCoreApplication::translate("KalmuthClass", "Ctrl+R"))});

    m_mdiArea = new CTesvarMdiArea(this);
    m_mdiArea->setStyleSheet("QMdiArea { border-left: 2px solid #00457C; border-bottom: 2px solid #00457C; color: "
                             "#00457C; font-family: \"Segoe UI\"; font-size: 24px; }");
    m_mdiArea->setBackground(QBrush(Qt::white, Qt::SolidPattern));

    m_toolBar = new QToolBar(this);
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->addAction(m_ui->actionSaveImage);
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_ui->actionStartGrab);
    m_toolBar->addAction(m_ui->actionStopGrab);
    m_toolBar->addAction(m_ui->actionStartRecording);
    m_toolBar->addAction(m_ui->actionStopRecording);
    m_toolBar->addSeparator();
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_ui->actionZoomIn);
    m_toolBar->addAction(m_ui->actionZoomOut);
    m_toolBar->addAction(m_ui->actionZoomToFit);
    m_toolBar->addAction(m_ui->actionZoom100);
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_ui->actionOptimizeCameraSettings);
    auto* layout = new QVBoxLayout(m_ui->centralWidget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_mdiArea);
    // A tool-bar action shows its bright "on" icon exactly while it is available. A click toggles a
    // checkable action's checked state, so it is put back at once rather than at the next state change.
    for (QAction* action : m_toolBar->actions()) {
        if (!action->isCheckable())
            continue;
        connect(action, &QAction::toggled, this, [action](bool checked) {
            if (checked != action->isEnabled())
                action->setChecked(action->isEnabled());
        });
    }

    const QIcon burger(":/Kalmuth/Resources/burgermenue.png");
    m_cameraDock = new BurgerMenueDockWidget(tr("Camera Settings"), this, 0);
    // Object names are what the saved window state finds its docks by.
    m_cameraDock->setObjectName("cameraSettingsDock");
    m_cameraDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    m_cameraDock->setAllowedAreas(Qt::LeftDockWidgetArea);
    m_cameraDock->setBurgerIcon(burger);
    m_cameraDock->setIconSize(QSize(35, 35));
    m_cameraDock->setMenuWidth(350);
    addDockWidget(Qt::LeftDockWidgetArea, m_cameraDock);
    m_cameraSettings = new CameraSettingsWidget(m_cameraDock);
    m_cameraDock->setContentWidget(m_cameraSettings);

    m_recordingDock = new BurgerMenueDockWidget(tr("Recording Settings"), this, 1);
    m_recordingDock->setObjectName("recordingSettingsDock");
    m_recordingDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    m_recordingDock->setAllowedAreas(Qt::LeftDockWidgetArea);
    m_recordingDock->setBurgerIcon(burger);
    m_recordingDock->setIconSize(QSize(35, 35));
    m_recordingDock->setMenuHeight(200);
    addDockWidget(Qt::BottomDockWidgetArea, m_recordingDock);
    m_recordingSettings = new RecordingSettingsWidget(m_recordingDock);
    m_recordingDock->setContentWidget(m_recordingSettings);

    connect(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError, this, &Kalmuth::onDisplayError);

    m_contextManager = new ContextManager(m_mdiArea, this, ImageWindow::factory());
    // The engine's zoom and save commands go to the image window of the active subwindow.
    CTesvarMdiArea* area = m_mdiArea;
    m_contextManager->setActiveWindowProvider([area]() -> IDeviceContextWindow* {
        QMdiSubWindow* sub = area->activeSubWindow();
        if (!sub) {
            const auto list = area->subWindowList();
            for (QMdiSubWindow* candidate : list) {
                if (candidate->isVisible()) {
                    sub = candidate;
                    break;
                }
            }
        }
        return sub ? qobject_cast<ImageWindow*>(sub->widget()) : nullptr;
    });
    m_deviceManager = new DeviceManager(10);

    restoreSettings();
    m_recordingSettings->setOptions(&m_options);

    ContextManager* cm = m_contextManager;
    DeviceManager* dm = m_deviceManager;
    connect(m_ui->actionStartGrab, &QAction::triggered, this, &Kalmuth::ContinousGrab_triggered);
    connect(m_ui->actionStopGrab, &QAction::triggered, cm, &ContextManager::stopGrab);
    connect(m_ui->actionStartRecording, &QAction::triggered, this, &Kalmuth::Record_triggered);
    connect(m_ui->actionStopRecording, &QAction::triggered, this, &Kalmuth::RecordStop_triggered);
    connect(m_ui->actionZoomIn, &QAction::triggered, cm, &ContextManager::zoomIn);
    connect(m_ui->actionZoomOut, &QAction::triggered, cm, &ContextManager::zoomOut);
    connect(m_ui->actionZoomToFit, &QAction::triggered, cm, &ContextManager::zoomToFit);
    connect(m_ui->actionZoom100, &QAction::triggered, cm, &ContextManager::zoom100);
    connect(m_ui->actionExit, &QAction::triggered, this, &Kalmuth::close);
    connect(m_ui->actionOptimizeCameraSettings, &QAction::triggered, this,
            &Kalmuth::onActionOptimizeCameraParameters_triggered);
    connect(cm, &ContextManager::zoomChanged, this, &Kalmuth::updateActions);
    connect(cm, &ContextManager::recordingStateChanged, this, &Kalmuth::updateActions);
    connect(cm, &ContextManager::surpriseRemoved, dm, &DeviceManager::onSurpriseRemoved, Qt::QueuedConnection);
    connect(cm, &ContextManager::deviceOpened, dm, &DeviceManager::onOpenDevice);
    connect(cm, &ContextManager::deviceClosed, dm, &DeviceManager::onCloseDevice);
    connect(cm, &ContextManager::deviceOpenFailed, dm, &DeviceManager::onDeviceOpenFailed);
    connect(dm, &DeviceManager::failedDeviceGone, cm, [cm](const Nimbo::CDeviceInfo* info) {
        DeviceContext* context = cm->contextOf(info);
        if (context && context->camera() && !context->camera()->isAttached())
            cm->removeDevice(info, true);
    });
    connect(cm, &ContextManager::cameraChanged, m_cameraSettings, &CameraSettingsWidget::setCamera);
    connect(cm, &ContextManager::cameraChanged, this, [this] { m_autoStartRefused = false; });
    connect(cm, &ContextManager::cameraChanged, this, &Kalmuth::updateActions);
    connect(m_recordingSettings, &RecordingSettingsWidget::triggerPortChanged, cm,
            &ContextManager::changeCurrentTriggerPort);
    // The port kept from the last run is the one the panel shows: every camera opened takes it.
    cm->changeCurrentTriggerPort(static_cast<CRecordingOptions::ETriggerPort>(m_options.TriggerPort));
    connect(dm, &DeviceManager::currentDeviceChanged, cm, &ContextManager::changeCurrentDevice);
    connect(dm, &DeviceManager::deviceOpenRequest, cm, &ContextManager::openActiveDevice);
    connect(cm, &ContextManager::nodemapAvailable, m_cameraSettings, &CameraSettingsWidget::addNodemap);
    connect(cm, &ContextManager::cameraRemoved, m_cameraSettings, &CameraSettingsWidget::removeCamera);
    connect(cm, &ContextManager::notifyDeviceShutDown, m_cameraSettings, &CameraSettingsWidget::onNotifyCameraShutDown,
            Qt::DirectConnection);
    connect(cm, &ContextManager::cameraStateChanged, this, &Kalmuth::updateActions);
    connect(cm, &ContextManager::surpriseRemoved, m_mdiArea, &CTesvarMdiArea::onSurpriseRemoved, Qt::QueuedConnection);
    connect(cm, &ContextManager::deviceOpened, m_mdiArea, &CTesvarMdiArea::onOpenDevice);
    connect(dm, &DeviceManager::deviceInUse, m_mdiArea, &CTesvarMdiArea::onDeviceInUse);
    connect(dm, &DeviceManager::noDevicesFound, m_mdiArea, &CTesvarMdiArea::onNoDevicesFound);

    updateActions();
    QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(StartScanEventType)));
    Mivtrace::LogTrace(baseCategory(), 32, "Tesvar tool 0.0.1 64-Bit has been started.");
}

Kalmuth::~Kalmuth()
{
    // Deleted without a close (a host deleting the window, the program ended by quit()): the engine
    // is shut down here, while the image windows that the MDI area is about to delete are still
    // there for their contexts to let go of.
    if (!m_shutDown) {
        m_shutDown = true;
        m_closing = true;
        disconnect(m_deviceManager, nullptr, m_contextManager, nullptr);
        m_contextManager->shutDown();
    }
    // The engine's notices during the rest of the teardown find no window to update.
    m_contextManager->disconnect(this);
    // The device manager has no parent; it goes with the window so its scan thread ends with it.
    delete m_deviceManager;
    m_deviceManager = nullptr;
}

bool Kalmuth::hasAutoRecordOption(const QStringList& arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString argument = arguments.at(i).trimmed();
        if (argument.compare("-r", Qt::CaseInsensitive) == 0 || argument.compare("/r", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void Kalmuth::customEvent(QEvent* event)
{
    if (event->type() == static_cast<QEvent::Type>(StartScanEventType))
        m_deviceManager->startAutoScan();
}

void Kalmuth::updateActions()
{
    Nimbo::DeviceInfoList devices;
    m_deviceManager->getCurrentDevice(devices);
    const bool hasDevice = !devices.empty();
    const Nimbo::CDeviceInfo* device = hasDevice ? &devices.back() : nullptr;
    ContextManager* cm = m_contextManager;
    auto set = [](QAction* action, bool enabled) {
        action->setEnabled(enabled);
        action->setChecked(enabled);
    };
    set(m_ui->actionStartGrab, hasDevice && cm->isDeviceIdle(device) && cm->isDeviceReadyToRecord(device));
    set(m_ui->actionStopGrab, hasDevice && cm->isDeviceGrabbing(device) && cm->isDeviceReadyToRecord(device));
    set(m_ui->actionStartRecording, hasDevice && cm->isDeviceReadyToRecord(device));
    set(m_ui->actionStopRecording, hasDevice && !cm->isDeviceReadyToRecord(device));
    set(m_ui->actionOptimizeCameraSettings, hasDevice && cm->isDeviceOpen(nullptr));
    set(m_ui->actionSaveImage, cm->canSaveImage());
    set(m_ui->actionZoomIn, cm->canZoomIn());
    set(m_ui->actionZoomOut, cm->canZoomOut());
    set(m_ui->actionZoomToFit, cm->canZoomToFit());
    set(m_ui->actionZoom100, cm->canZoom100());

    // A grab that runs shows the camera takes its start: an automatic start may be tried again. A start
    // under way does not count: the camera is in its grabbing state before it is asked to acquire.
    if (!m_starting && hasDevice && cm->isDeviceGrabbing(device))
        m_autoStartRefused = false;
    if (!m_shutDown && !m_autoStartRefused && !cm->hasActiveImage() && hasDevice && cm->isDeviceIdle(device) &&
        cm->isDeviceOpen(nullptr)) {
        if (m_autoRecord) {
            m_autoRecord = false;
            QTimer::singleShot(250, this, [this] { autoStart(&Kalmuth::Record_triggered); });
        } else {
            QTimer::singleShot(250, this, [this] { autoStart(&Kalmuth::ContinousGrab_triggered); });
        }
    }
    m_recordingSettings->setEnabled(m_ui->actionStartRecording->isEnabled());
}

void Kalmuth::autoStart(void (Kalmuth::*start)())
{
    // Each action update that finds the camera idle schedules a start; once one failed (the camera
    // refused it and the user was told), those still due and later ones would only fail and tell
    // again, every 250 ms. They wait for another camera or for a grab that runs.
    if (m_autoStartRefused)
        return;
    (this->*start)();
}

void Kalmuth::startGrab(const std::function<void()>& start)
{
    {
        QScopedValueRollback<bool> starting(m_starting, true);
        start();
    }
    // A start the camera refused (automatic or the user's, who has been told) is not followed by
    // automatic ones that would fail and tell again.
    if (!m_shutDown && m_contextManager->isDeviceOpen(nullptr))
        m_autoStartRefused = !m_contextManager->isDeviceGrabbing(nullptr);
}

void Kalmuth::ContinousGrab_triggered()
{
    if (!m_shutDown)
        startGrab([this] { m_contextManager->startContinuousShot(false); });
}

void Kalmuth::Record_triggered()
{
    if (m_shutDown)
        return;
    // A second press of a record key (or the automatic recording's shot after the user's key) can come
    // before the recording's state change, which is queued, has disabled the action: a device that is
    // recording already is not asked again, which it would refuse with an error box.
    Nimbo::DeviceInfoList devices;
    m_deviceManager->getCurrentDevice(devices);
    if (devices.empty() || !m_contextManager->isDeviceReadyToRecord(&devices.back()))
        return;
    CRecordingOptions options = m_options;
    startGrab([&] { m_contextManager->startRecording(&options); });
}

void Kalmuth::RecordStop_triggered()
{
    m_contextManager->stopRecording();
}

void Kalmuth::onActionOptimizeCameraParameters_triggered()
{
    Nimbo::DeviceInfoList devices;
    m_deviceManager->getCurrentDevice(devices);
    for (const Nimbo::CDeviceInfo& info : devices)
        m_contextManager->optimizeCamera(&info);
}

QString Kalmuth::appendFilterSuffix(const QString& fileName, const QString& selectedFilter)
{
    if (!QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    const QRegularExpressionMatch match = QRegularExpression("\\(\\*(\\.[^\\*]*)\\)").match(selectedFilter);
    return match.hasMatch() ? fileName + match.captured(1) : fileName;
}

QString Kalmuth::askSaveImageFileName()
{
    QSettings settings;
    settings.beginGroup("MainWindow");
    QString folder = settings.value("saveImageDir", QString()).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (folder.isEmpty())
            folder = QDir::homePath();
    }
    const QString proposed = folder + "/Image" + QDateTime::currentDateTime().toString("__yyyy-MM-dd__hh-mm-ss");
    QString filter = settings.value("selectedFilter", QString()).toString();
    if (filter.length() < 1)
        filter = "Bitmap (*.bmp)";
    QString name = QFileDialog::getSaveFileName(this, tr("Save Image"), proposed,
                                                "Bitmap (*.bmp);;Tiff (*.tiff);;jpg (*.jpg);;png (*.png)", &filter);
    if (name.isEmpty())
        return QString();
    const QString withSuffix = appendFilterSuffix(name, filter);
    if (withSuffix != name) {
        name = withSuffix;
        if (QFileInfo::exists(name)) {
            const auto answer = QMessageBox::warning(
                this, tr("File exists"), tr("The file %1 already exists.\nDo you want to overwrite it?").arg(name),
                QMessageBox::Yes | QMessageBox::No);
            if (answer == QMessageBox::No)
                return QString();
        }
    }
    settings.setValue("selectedFilter", filter);
    settings.setValue("saveImageDir", QFileInfo(name).absolutePath());
    return name;
}

void Kalmuth::on_actionSaveImage_triggered()
{
    m_contextManager->pauseUpdates();
    try {
        const QString name = askSaveImageFileName();
        if (!name.isEmpty())
            m_contextManager->saveCurrentContextImage(name);
    } catch (...) {
        // A failed save has already been reported by the window; the view must not stay frozen.
    }
    m_contextManager->unpauseUpdates();
}

void Kalmuth::severityStyle(int severity, unsigned* traceLevel, QMessageBox::Icon* icon)
{
    switch (severity) {
    case AsyncErrorQueue::Critical:
        *traceLevel = 512;
        *icon = QMessageBox::Critical;
        break;
    case 20:
        *traceLevel = 16;
        *icon = QMessageBox::Critical;
        break;
    case 30:
        *traceLevel = 128;
        *icon = QMessageBox::Warning;
        break;
    case 40:
        *traceLevel = 32;
        *icon = QMessageBox::Information;
        break;
    case 50:
        *traceLevel = 64;
        *icon = QMessageBox::Information;
        break;
    case AsyncErrorQueue::Unclassified:
        *traceLevel = 16;
        *icon = QMessageBox::NoIcon;
        break;
    default:
        *traceLevel = 32;
        *icon = QMessageBox::NoIcon;
        break;
    }
}

void Kalmuth::onDisplayError(AsyncErrorQueue::ErrorSeverity severity, QString text, QString detail, QWidget* parent)
{
    unsigned level = 32;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    severityStyle(severity, &level, &icon);
    const QString line = detail.isEmpty() ? text : QString("%1 (%2)").arg(text, detail);
    Mivtrace::LogTrace(baseCategory(), level, "%s", line.toLocal8Bit().constData());

    // The nested loop goes on handling events, and the parent may be deleted meanwhile, taking its child
    // the box along: the box lives on the heap and is deleted here only when it is still there.
    QPointer<QMessageBox> box = new QMessageBox(parent ? parent : m_ui->centralWidget);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
    box->setIcon(icon);
    box->setWindowTitle(windowTitle());
    box->setText(text);
    if (!detail.trimmed().isEmpty())
        box->setDetailedText(detail);
    box->setStandardButtons(QMessageBox::Close);
    box->setDefaultButton(QMessageBox::Close);
    box->exec();
    delete box.data();
}

void Kalmuth::closeEvent(QCloseEvent* event)
{
    // The shut-down below keeps handling events while it writes out a recording; a second close
    // arriving meanwhile leaves it to the first, which closes the window when it is done.
    if (m_closing) {
        event->ignore();
        return;
    }
    m_closing = true;
    Mivtrace::LogTrace(baseCategory(), 32, "Tesvar tool 0.0.1 64-Bit is shutting down.");
    // Auto-start shots still queued must not reopen a grab on the engine being shut down, nor may a
    // scan finishing meanwhile open a camera.
    m_shutDown = true;
    disconnect(m_deviceManager, nullptr, m_contextManager, nullptr);
    m_contextManager->shutDown();
    // What the shut-down could not do (a recording whose file could not be finished) is told while
    // this window is still there, not in a box left behind once it has gone.
    QCoreApplication::sendPostedEvents(GetTheGlobalAsyncErrorQueue(), QEvent::MetaCall);
    saveSettings();
    event->accept();
    m_closing = false;
}

void Kalmuth::restoreSettings()
{
    QSettings settings;
    settings.beginGroup("MainWindow");
    const QRect available = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                             : QRect(0, 0, 1024, 768);
    const QPoint pos = settings.value("pos", available.topLeft()).toPoint();
    const QSize size =
        settings
            .value("size", QSize(static_cast<int>(available.width() * 0.9), static_cast<int>(available.height() * 0.9)))
            .toSize();
    resize(size);
    move(pos);
    if (settings.contains("layout"))
        restoreState(settings.value("layout").toByteArray(), 1);
    m_cameraDock->setMenuOpen(settings.value("LeftPanelOpen", true).toBool());
    m_recordingDock->setMenuOpen(settings.value("BottomPanelOpen", true).toBool());
    settings.endGroup();

    settings.beginGroup("Environment");
    QString directory = settings.value("workingDirectory", QString()).toString();
    if (directory.isEmpty() || !QFileInfo(directory).isDir())
        directory = QDir::homePath();
    QDir::setCurrent(directory);
    settings.endGroup();

    m_options.restoreSettings(settings, m_compressionParameters, m_compressionFormat);
}

void Kalmuth::saveSettings()
{
    QSettings settings;
    settings.beginGroup("MainWindow");
    settings.setValue("pos", pos());
    settings.setValue("size", size());
    settings.setValue("layout", saveState(1));
    settings.setValue("LeftPanelOpen", m_cameraDock->isMenuOpen());
    settings.setValue("BottomPanelOpen", m_recordingDock->isMenuOpen());
    settings.endGroup();
    settings.beginGroup("Environment");
    settings.setValue("workingDirectory", QDir::currentPath());
    settings.endGroup();
    m_options.saveSettings(settings);
}
