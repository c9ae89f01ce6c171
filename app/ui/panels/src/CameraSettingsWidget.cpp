// The camera settings panel: builds its rows, binds them through parameter models, saves the last values.
#include "CameraSettingsWidget.h"

#include "BooleanParameterModel.h"
#include "DoubleParameterModel.h"
#include "FlatDoubleComboSlider.h"
#include "NodeParameterManager.h"

#include <Camera.h>

#include <orbelt/SpinBox.h>

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QSettings>
#include <QSpacerItem>
#include <QStyleOption>

namespace {
QLabel* label(QWidget* parent, const QString& text, const QString& toolTip)
{
    auto* widget = new QLabel(text, parent);
    if (!toolTip.isEmpty())
        widget->setToolTip(toolTip);
    return widget;
}

QCheckBox* checkBox(QWidget* parent, const QString& text, const QString& toolTip)
{
    auto* widget = new QCheckBox(text, parent);
    widget->setLayoutDirection(Qt::RightToLeft);
    widget->setToolTip(toolTip);
    return widget;
}

void addSpacer(QGridLayout* grid, int row, int width, int height, QSizePolicy::Policy vertical)
{
    grid->addItem(new QSpacerItem(width, height, QSizePolicy::Minimum, vertical), row, 0, 1, 1);
}
} // namespace

CameraSettingsWidget::CameraSettingsWidget(QWidget* parent)
    : QWidget(parent), m_pManager(new NodeParameterManager(this))
{
    // The context manager's notices may come from another thread; their argument types must be known to Qt.
    qRegisterMetaType<Camera*>("Camera*");
    qRegisterMetaType<GenApi::INodeMap*>("GenApi::INodeMap*");

    auto* grid = new QGridLayout();
    grid->setMargin(0);
    grid->setContentsMargins(20, 20, 20, 20);

    m_exposureLabel =
        label(this, tr("Exposure Time"), tr("<span>Sets the exposure <nobr>time in microseconds.</nobr></span>"));
    m_exposureAuto = checkBox(
        this, tr("Auto"), tr("<span>Select this option to enable automatic adjustment of the exposure time.</span>"));
    m_exposureSlider = new FlatDoubleComboSlider(this, 1);
    m_gainLabel =
        label(this, tr("Gain"),
              tr("<span>Sets the gain in dB. Higher gain values increase the brightness of the image.</span>"));
    m_gainAuto =
        checkBox(this, tr("Auto"), tr("<span>Select this option to enable automatic adjustment of the gain.</span>"));
    m_gainSlider = new FlatDoubleComboSlider(this, 0);
    m_whiteBalanceLabel = label(this, tr("White Balance"), QString());
    m_whiteBalanceEnable = checkBox(this, tr("Enable"),
                                    tr("<span>Select this option to automatically adjust the white balance setting "
                                       "for the point currently selected in the image.</span>"));
    m_saturationLabel =
        label(this, tr("Saturation"), tr("<span>Adjusts the color intensity of the entire image.</span>"));
    m_saturationSlider = new FlatDoubleComboSlider(this, 0);
    m_contrastLabel = label(this, tr("Contrast"), tr("<span>Adjusts the contrast of the entire image.</span>"));
    m_contrastSlider = new FlatDoubleComboSlider(this, 0);
    m_brightnessLabel = label(this, tr("Brightness"), tr("<span>Adjusts the brightness of the entire image.</span>"));
    m_brightnessSlider = new FlatDoubleComboSlider(this, 0);
    m_hueLabel = label(this, tr("Hue"),
                       tr("<span>Adjusts the colors of the entire image. This can be useful, e.g., for correcting "
                          "minor color shifts or creating false-color images.</span>"));
    m_hueSlider = new FlatDoubleComboSlider(this, 0);

    // Each section: its label (with its check box at the right, if any), its slider, then a gap.
    struct Section {
        QLabel* label;
        QCheckBox* box;
        FlatDoubleComboSlider* slider;
        int gapBelow;
    };
    const Section sections[] = {
        {m_exposureLabel, m_exposureAuto, m_exposureSlider, 20},
        {m_gainLabel, m_gainAuto, m_gainSlider, 40},
        {m_whiteBalanceLabel, m_whiteBalanceEnable, nullptr, 40},
        {m_saturationLabel, nullptr, m_saturationSlider, 20},
        {m_contrastLabel, nullptr, m_contrastSlider, 40},
        {m_brightnessLabel, nullptr, m_brightnessSlider, 20},
        {m_hueLabel, nullptr, m_hueSlider, 0},
    };
    int row = 0;
    for (const Section& section : sections) {
        grid->addWidget(section.label, row, 0, 1, section.box ? 4 : 5);
        if (section.box)
            grid->addWidget(section.box, row, 4, 1, 1);
        ++row;
        if (section.slider)
            grid->addWidget(section.slider, row++, 0, 1, 5);
        if (section.gapBelow > 0)
            addSpacer(grid, row++, 1, section.gapBelow, QSizePolicy::Minimum);
    }
    addSpacer(grid, row, 20, 1, QSizePolicy::Expanding);
    setLayout(grid);

    setStyleSheet(QStringLiteral("CameraSettingsWidget { background-color: #FFFFFF; border-right: 2px solid #00457C; "
                                 "border-bottom: 2px solid #00457C; }"));
    createModels();
}

CameraSettingsWidget::~CameraSettingsWidget()
{
    if (m_pCamera)
        saveSettings();
    m_pManager->clearItems();
    delete m_pManager;
}

void CameraSettingsWidget::createModels()
{
    struct SliderRow {
        FlatDoubleComboSlider* slider;
        const char* name;
        const char* alternateName;
        QWidget* companion;
    };
    struct BoxRow {
        QCheckBox* box;
        const char* name;
        QWidget* companion;
    };
    auto addSlider = [this](const SliderRow& row) {
        auto* model = new DoubleParameterModel(row.slider, row.name, row.alternateName);
        model->setCompanionWidget(row.companion);
        m_pManager->addModel(model);
    };
    auto addBox = [this](const BoxRow& row) {
        auto* model = new BooleanParameterModel(row.box, row.name, QString());
        if (row.companion)
            model->setCompanionWidget(row.companion);
        m_pManager->addModel(model);
    };
    addSlider({m_exposureSlider, "ExposureTimeAbs", "ExposureTime", m_exposureLabel});
    addBox({m_exposureAuto, "ExposureAuto", nullptr});
    addSlider({m_gainSlider, "GainAbs", "Gain", m_gainLabel});
    addBox({m_gainAuto, "GainAuto", nullptr});
    addBox({m_whiteBalanceEnable, "WhiteBalancePickerEnable", m_whiteBalanceLabel});
    addSlider({m_saturationSlider, "VlrSaturation", "VlrSaturationValue", m_saturationLabel});
    addSlider({m_contrastSlider, "VlrContrast", "", m_contrastLabel});
    addSlider({m_brightnessSlider, "VlrBrightness", "", m_brightnessLabel});
    addSlider({m_hueSlider, "VlrHue", "VlrHueValue", m_hueLabel});
}

void CameraSettingsWidget::setCamera(Camera* camera)
{
    if (m_pCamera != camera)
        m_pCamera = camera;
}

void CameraSettingsWidget::removeCamera(Camera* camera)
{
    if (m_pCamera == camera)
        m_pCamera = nullptr;
}

void CameraSettingsWidget::addNodemap(Camera* camera, GenApi::INodeMap* pNodemap, QString displayName, QString roleName)
{
    Q_UNUSED(displayName);
    if (!camera || camera != m_pCamera || roleName != QLatin1String("Camera"))
        return;
    m_pManager->setNodeMap(pNodemap);
    m_pManager->setEnabled(true);
    m_pManager->setPolling(true);
}

void CameraSettingsWidget::onNotifyCameraShutDown(Camera* camera)
{
    if (!camera || camera != m_pCamera)
        return;
    m_pManager->setEnabled(false);
    m_pManager->clearItems();
    createModels();
}

void CameraSettingsWidget::saveSettings()
{
    const auto autoText = [](const QCheckBox* box) {
        return box->checkState() != Qt::Unchecked ? QStringLiteral("Continuous") : QStringLiteral("Off");
    };
    QSettings settings;
    settings.beginGroup(QStringLiteral("Camera"));
    const double exposure = m_exposureSlider->value();
    settings.setValue(QStringLiteral("ExposureTimeAbs"), exposure);
    settings.setValue(QStringLiteral("ExposureTime"), exposure);
    settings.setValue(QStringLiteral("ExposureAuto"), autoText(m_exposureAuto));
    const double gain = m_gainSlider->value();
    settings.setValue(QStringLiteral("GainAbs"), gain);
    settings.setValue(QStringLiteral("Gain"), gain);
    settings.setValue(QStringLiteral("GainAuto"), autoText(m_gainAuto));
    settings.setValue(QStringLiteral("VlrSaturation"), m_saturationSlider->value());
    settings.setValue(QStringLiteral("VlrContrast"), m_contrastSlider->value());
    settings.setValue(QStringLiteral("VlrBrightness"), m_brightnessSlider->value());
    settings.setValue(QStringLiteral("VlrHue"), m_hueSlider->value());
    settings.endGroup();
}

void CameraSettingsWidget::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
