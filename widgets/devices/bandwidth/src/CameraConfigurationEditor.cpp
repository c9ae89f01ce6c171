// The configuration button of a bandwidth tree row and its modal feature dialog.
#include "orbelt/CameraConfigurationEditor.h"

#include "orbelt/BandwidthTreeWidget.h"
#include "orbelt/FeatureTreeWidget.h"
#include "orbelt/Helpers.h"

#include <brasko/Formatting.h>
#include <brasko/LayoutPersistence.h>

#include <nimbo/DeviceInfo.h>

#include <GenICam/CaughtException.h>

#include <QDateTime>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QPushButton>
#include <QSpacerItem>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const wchar_t* const dialogGroup = L"BandwidthCameraConfigureDialog";

// The bandwidth tree above a widget, to which failures are reported; null outside one.
BandwidthTreeWidget* treeAbove(QObject* object)
{
    for (QObject* o = object; o; o = o->parent())
        if (auto* tree = qobject_cast<BandwidthTreeWidget*>(o))
            return tree;
    return nullptr;
}

} // namespace

BandwidthCameraConfigureDialog::BandwidthCameraConfigureDialog(QWidget* parent, GenApi::INodeMap* nodeMap,
                                                               const Nimbo::CDeviceInfo* deviceInfo, int visibility,
                                                               bool polling, bool viewAllFavorites)
    : QDialog(parent), m_nodeMap(nodeMap), m_deviceInfo(deviceInfo)
{
    setWindowFlags((windowFlags() | Qt::WindowMaximizeButtonHint) & ~Qt::WindowContextHelpButtonHint);
    setObjectName(QStringLiteral("BandwidthConfigurationDialog"));
    const QString deviceName = formatDeviceName(deviceInfo);
    setWindowTitle(tr("Features %1").arg(deviceName));
    setWindowModality(Qt::WindowModal);
    setModal(true);
    resize(400, 400);
    setSizeGripEnabled(true);

    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("vbExtendedContainer"));
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabWidget"));
    layout->addWidget(tabs);
    auto* buttons = new QHBoxLayout();
    buttons->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    m_tree = new FeatureTreeWidget(QStringLiteral("Favorites"), this, static_cast<GenApi::EVisibility>(visibility),
                                   isNodeDebugModeEnabled(), nullptr);
    tabs->addTab(m_tree, tr("Configuration"));
    connect(m_tree, &FeatureTreeWidget::viewAllFavoritesStateChanged, this,
            &BandwidthCameraConfigureDialog::onViewAllFavoritesStateChanged);
    m_tree->addNodeMap(nodeMap, deviceName, QStringLiteral("Camera"), IsUtf8Device(deviceInfo));
    m_tree->setPolling(polling);
    m_tree->setViewAllFavorites(viewAllFavorites);
    m_tree->expandRootNodes();
    connect(m_tree, &FeatureTreeWidget::pollingStateChanged, this,
            &BandwidthCameraConfigureDialog::onPollingStateChanged);
}

BandwidthCameraConfigureDialog::~BandwidthCameraConfigureDialog() = default;

int BandwidthCameraConfigureDialog::visibility() const
{
    return static_cast<int>(m_tree->visibility());
}

bool BandwidthCameraConfigureDialog::polling() const
{
    return m_tree->getPolling();
}

bool BandwidthCameraConfigureDialog::viewAllFavorites() const
{
    return m_tree->getViewAllFavorites();
}

void BandwidthCameraConfigureDialog::onPollingStateChanged(bool bNewState)
{
    m_tree->setPolling(bNewState);
}

void BandwidthCameraConfigureDialog::onViewAllFavoritesStateChanged(bool bNewState)
{
    m_tree->setViewAllFavorites(bNewState);
}

CameraConfigurationEditor::CameraConfigurationEditor(GenApi::INodeMap* nodeMap, const Nimbo::CDeviceInfo* deviceInfo,
                                                     int visibility, bool polling, bool viewAllFavorites,
                                                     QWidget* parent)
    : QPushButton(parent), m_nodeMap(nodeMap), m_deviceInfo(deviceInfo), m_visibility(visibility), m_polling(polling),
      m_viewAllFavorites(viewAllFavorites)
{
    setText(nodeMap && deviceInfo ? QStringLiteral("...") : tr("Invalid!"));
    setToolTip(tr("Configure Camera"));
    connect(this, &QPushButton::clicked, this, &CameraConfigurationEditor::onClicked);
}

CameraConfigurationEditor::~CameraConfigurationEditor()
{
    disconnect(this, &QPushButton::clicked, this, &CameraConfigurationEditor::onClicked);
    discardDialog();
}

void CameraConfigurationEditor::discardDialog()
{
    if (!m_dialog)
        return;
    // The modal run notices that its dialog is gone and returns.
    takeDialogState();
    delete m_dialog.data();
    m_dialog = nullptr;
}

void CameraConfigurationEditor::takeDialogState()
{
    m_visibility = m_dialog->visibility();
    m_polling = m_dialog->polling();
    m_viewAllFavorites = m_dialog->viewAllFavorites();
}

int CameraConfigurationEditor::visibility() const
{
    return m_dialog ? m_dialog->visibility() : m_visibility;
}

bool CameraConfigurationEditor::polling() const
{
    return m_dialog ? m_dialog->polling() : m_polling;
}

bool CameraConfigurationEditor::viewAllFavorites() const
{
    return m_dialog ? m_dialog->viewAllFavorites() : m_viewAllFavorites;
}

void CameraConfigurationEditor::setVisibility(int visibility)
{
    m_visibility = visibility;
    if (m_dialog)
        m_dialog->featureTree()->setVisibility(static_cast<GenApi::EVisibility>(visibility));
}

void CameraConfigurationEditor::setPolling(bool polling)
{
    m_polling = polling;
    if (m_dialog)
        m_dialog->featureTree()->setPolling(polling);
}

void CameraConfigurationEditor::setViewAllFavorites(bool viewAllFavorites)
{
    m_viewAllFavorites = viewAllFavorites;
    if (m_dialog)
        m_dialog->featureTree()->setViewAllFavorites(viewAllFavorites);
}

void CameraConfigurationEditor::onClicked()
{
    if (!m_nodeMap || m_dialog)
        return;
    QPointer<CameraConfigurationEditor> self(this);
    QPointer<QDialog> reference(nearestDialog(this));
    try {
        m_dialog = new BandwidthCameraConfigureDialog(parentWidget(), m_nodeMap, m_deviceInfo, m_visibility, m_polling,
                                                      m_viewAllFavorites);
    } catch (const std::exception&) {
        if (BandwidthTreeWidget* tree = treeAbove(this))
            emit tree->errorOccurred(formatDeviceName(m_deviceInfo),
                                     QString::fromUtf8(GenICam::CaughtException::Current().Description()),
                                     QDateTime::currentDateTime());
        return;
    }
    QPointer<BandwidthCameraConfigureDialog> dialog(m_dialog);
    restoreWidgetPositionAndSize(dialogGroup, dialog, reference);
    // The view closes the cell editor once when the modal dialog takes the focus.
    m_ignoreClose = 1;
    dialog->exec();
    // The run may have outlived the button (its row switched off, the tree cleared): then its
    // destructor has already taken the state and deleted the dialog.
    if (!self)
        return;
    if (dialog) {
        takeDialogState();
        saveWidgetPositionAndSize(dialogGroup, dialog, reference);
    }
    emit configureDialogClosed();
    if (!self)
        return;
    if (reference && reference->metaObject()->indexOfSlot("onConfigureDialogClosed()") >= 0)
        QMetaObject::invokeMethod(reference, "onConfigureDialogClosed", Qt::QueuedConnection);
    delete dialog.data();
    m_dialog = nullptr;
}

void CameraConfigurationEditor::onEditorClosed()
{
    if (m_ignoreClose > 0) {
        --m_ignoreClose;
        return;
    }
    if (m_dialog)
        m_dialog->close();
}
