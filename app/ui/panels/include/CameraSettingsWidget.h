// The left-dock quick-settings panel: exposure, gain, white-balance picker and the colour features.
#pragma once

#include <GenApi/NodeMap.h>

#include <QString>
#include <QWidget>

class Camera;
class FlatDoubleComboSlider;
class NodeParameterManager;
class QCheckBox;
class QLabel;
class QPaintEvent;

// GUI thread only: every member. onNotifyCameraShutDown is connected directly to the shut-down notice
// so that the models let go of the nodes before the device goes.
class CameraSettingsWidget : public QWidget {
    Q_OBJECT
public:
    explicit CameraSettingsWidget(QWidget* parent);
    ~CameraSettingsWidget() override;

    NodeParameterManager* manager() const { return m_pManager; }
    Camera* camera() const { return m_pCamera; }

public slots:
    void setCamera(Camera* camera);
    void removeCamera(Camera* camera);
    void addNodemap(Camera* camera, GenApi::INodeMap* pNodemap, QString displayName, QString roleName);
    void onNotifyCameraShutDown(Camera* camera);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void createModels();
    void saveSettings();

    QLabel* m_exposureLabel = nullptr;
    FlatDoubleComboSlider* m_exposureSlider = nullptr;
    QCheckBox* m_exposureAuto = nullptr;
    QLabel* m_gainLabel = nullptr;
    FlatDoubleComboSlider* m_gainSlider = nullptr;
    QCheckBox* m_gainAuto = nullptr;
    QLabel* m_whiteBalanceLabel = nullptr;
    QCheckBox* m_whiteBalanceEnable = nullptr;
    QLabel* m_saturationLabel = nullptr;
    FlatDoubleComboSlider* m_saturationSlider = nullptr;
    QLabel* m_contrastLabel = nullptr;
    FlatDoubleComboSlider* m_contrastSlider = nullptr;
    QLabel* m_brightnessLabel = nullptr;
    FlatDoubleComboSlider* m_brightnessSlider = nullptr;
    QLabel* m_hueLabel = nullptr;
    FlatDoubleComboSlider* m_hueSlider = nullptr;
    NodeParameterManager* m_pManager;
    Camera* m_pCamera = nullptr;
};
