// The "..." button of a bandwidth tree row and the modal feature dialog it opens for the row's camera.
#pragma once

#include "orbelt/Export.h"

#include <nimbo/SafeNodePtr.h>

#include <GenApi/GenApi.h>

#include <QDialog>
#include <QPointer>
#include <QPushButton>

class FeatureTreeWidget;
namespace Nimbo {
class CDeviceInfo;
}

// GUI thread only.
class ORBELT_EXPORT BandwidthCameraConfigureDialog : public QDialog {
    Q_OBJECT
public:
    BandwidthCameraConfigureDialog(QWidget* parent, GenApi::INodeMap* nodeMap, const Nimbo::CDeviceInfo* deviceInfo,
                                   int visibility, bool polling, bool viewAllFavorites);
    ~BandwidthCameraConfigureDialog() override;

    int visibility() const;
    bool polling() const;
    bool viewAllFavorites() const;
    FeatureTreeWidget* featureTree() const { return m_tree; }

public slots:
    void onPollingStateChanged(bool bNewState);
    void onViewAllFavoritesStateChanged(bool bNewState);

private:
    Nimbo::CSafeNodePtr<GenApi::INodeMap> m_nodeMap;
    const Nimbo::CDeviceInfo* m_deviceInfo;
    FeatureTreeWidget* m_tree;
};

// GUI thread only. The dialog runs modally inside onClicked(); the editor may be destroyed while it runs
// (its row switched off, the tree cleared), so nothing after the modal run may rely on the editor.
class ORBELT_EXPORT CameraConfigurationEditor : public QPushButton {
    Q_OBJECT
public:
    CameraConfigurationEditor(GenApi::INodeMap* nodeMap, const Nimbo::CDeviceInfo* deviceInfo, int visibility,
                              bool polling, bool viewAllFavorites, QWidget* parent = nullptr);
    ~CameraConfigurationEditor() override;

    // Read from the open dialog while there is one.
    int visibility() const;
    bool polling() const;
    bool viewAllFavorites() const;
    // Also applied to the open dialog.
    void setVisibility(int visibility);
    void setPolling(bool polling);
    void setViewAllFavorites(bool viewAllFavorites);

    BandwidthCameraConfigureDialog* dialog() const { return m_dialog; }
    // Closes an open dialog at once, keeping its state; the tree calls it before the row's camera
    // goes, as the dialog's feature tree shows that camera's node map.
    void discardDialog();

signals:
    void configureDialogClosed();

public slots:
    void onEditorClosed();
    void onClicked();

private:
    void takeDialogState();

    Nimbo::CSafeNodePtr<GenApi::INodeMap> m_nodeMap;
    const Nimbo::CDeviceInfo* m_deviceInfo;
    QPointer<BandwidthCameraConfigureDialog> m_dialog; // owned while open
    int m_ignoreClose = 0;
    int m_visibility;
    bool m_polling;
    bool m_viewAllFavorites;
};
