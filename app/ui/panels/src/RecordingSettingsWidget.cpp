// The recording settings panel: its form, and the slots that write each control into the options.
#include "RecordingSettingsWidget.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

// The panel's controls under the object names the by-name slot connections rely on.
struct RecordingSettingsWidget::Form {
    QFrame* leftFrame;
    QGroupBox* groupBox_3;
    QRadioButton* radioButtonOutputTypeVideo;
    QRadioButton* radioButtonOutputTypeImages;
    QRadioButton* radioButtonOutputTypeAvi;
    QCheckBox* checkBoxVideoFixedPlaybackSpeedEnabled;
    QDoubleSpinBox* doubleSpinBoxVideoPlaybackSpeed;
    QLabel* labelVideoFps;
    QLabel* labelVideoQualitiy;
    QSlider* sliderVideoQuality;
    QComboBox* comboBoxRecordingImageType;

    QFrame* middleFrame;
    QGroupBox* groupBox_4;
    QLabel* labelRecordEveryImage;
    QSpinBox* spinBoxRecordingSampleRate;
    QComboBox* comboBoxRecordingSampleRateUnit;
    QCheckBox* checkBoxRecordingStopSamplingLimit;
    QSpinBox* spinBoxRecordingStopSamplingLimit;
    QComboBox* comboBoxRecordingStopSamplingLimitUnit;

    QFrame* rightFrame;
    QGroupBox* groupBox_5;
    QLabel* labelRecordingOutputFolder;
    QLineEdit* lineEditRecordingOutputFolder;
    QPushButton* pushButtonPickRecordingOutputFolder;
    QRadioButton* radioButtonTriggerSourcePortNone;
    QRadioButton* radioButtonTriggerSourcePortOne;
    QRadioButton* radioButtonTriggerSourcePortTwo;

    void setupUi(QWidget* widget);
};

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("RecordingSettingsWidget", text);
}

template <class T>
T* named(QWidget* parent, const char* name)
{
    T* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QGridLayout* frameWithGroup(QWidget* panel, QHBoxLayout* row, QFrame*& frame, QGroupBox*& group, const char* frameName,
                            const char* groupName)
{
    frame = named<QFrame>(panel, frameName);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    group = named<QGroupBox>(frame, groupName);
    frameLayout->addWidget(group);
    auto* grid = new QGridLayout(group);
    grid->setSpacing(6);
    grid->setContentsMargins(11, 11, 11, 11);
    row->addWidget(frame);
    return grid;
}

QComboBox* timeUnitCombo(QWidget* parent, const char* name)
{
    auto* combo = named<QComboBox>(parent, name);
    combo->addItems({tr("Image(s)"), tr("Millisecond(s)"), tr("Second(s)"), tr("Minute(s)"), tr("Hour(s)")});
    return combo;
}

QSpinBox* limitSpinBox(QWidget* parent, const char* name)
{
    auto* spin = named<QSpinBox>(parent, name);
    spin->setRange(1, 99999);
    spin->setAlignment(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
    return spin;
}
} // namespace

void RecordingSettingsWidget::Form::setupUi(QWidget* widget)
{
    widget->setWindowTitle(tr("Options"));
    widget->setMinimumSize(1000, 0);
    auto* outer = new QVBoxLayout(widget);
    outer->setContentsMargins(11, 11, 11, 11);
    outer->setSpacing(6);
    auto* row = new QHBoxLayout();
    const int defaultMargin = widget->style()->pixelMetric(QStyle::PM_LayoutRightMargin);
    row->setContentsMargins(9, 9, defaultMargin, 3);
    row->setSpacing(0);
    outer->addLayout(row);

    QGridLayout* left = frameWithGroup(widget, row, leftFrame, groupBox_3, "leftFrame", "groupBox_3");
    radioButtonOutputTypeVideo = named<QRadioButton>(groupBox_3, "radioButtonOutputTypeVideo");
    radioButtonOutputTypeVideo->setText(tr("&Video"));
    radioButtonOutputTypeVideo->setToolTip(tr("<span>Select this option to record a video clip.</span>"));
    radioButtonOutputTypeAvi = named<QRadioButton>(groupBox_3, "radioButtonOutputTypeAvi");
    radioButtonOutputTypeAvi->setText(tr("&AVI video"));
    radioButtonOutputTypeAvi->setToolTip(tr("<span>Select this option to record a video clip as an AVI file.</span>"));
    checkBoxVideoFixedPlaybackSpeedEnabled = named<QCheckBox>(groupBox_3, "checkBoxVideoFixedPlaybackSpeedEnabled");
    checkBoxVideoFixedPlaybackSpeedEnabled->setText(tr("Set &playback speed"));
    checkBoxVideoFixedPlaybackSpeedEnabled->setToolTip(
        tr("<span>Sets the speed (in frames per second, fps) at which a recorded video clip will be played "
           "back.</span>"));
    doubleSpinBoxVideoPlaybackSpeed = named<QDoubleSpinBox>(groupBox_3, "doubleSpinBoxVideoPlaybackSpeed");
    doubleSpinBoxVideoPlaybackSpeed->setRange(0.01, 1000.0);
    doubleSpinBoxVideoPlaybackSpeed->setValue(25.0);
    doubleSpinBoxVideoPlaybackSpeed->setAlignment(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
    labelVideoFps = named<QLabel>(groupBox_3, "labelVideoFps");
    labelVideoFps->setText(tr("fps"));
    labelVideoQualitiy = named<QLabel>(groupBox_3, "labelVideoQualitiy");
    labelVideoQualitiy->setText(tr("Quality"));
    labelVideoQualitiy->setToolTip(tr("<span>Adjusts the image quality. This affects the compression rate. The "
                                      "higher the quality, the lower the compression rate.</span>"));
    sliderVideoQuality = named<QSlider>(groupBox_3, "sliderVideoQuality");
    sliderVideoQuality->setOrientation(Qt::Horizontal);
    sliderVideoQuality->setRange(0, 100);
    radioButtonOutputTypeImages = named<QRadioButton>(groupBox_3, "radioButtonOutputTypeImages");
    radioButtonOutputTypeImages->setText(tr("Sequence of still i&mages"));
    radioButtonOutputTypeImages->setToolTip(
        tr("<span>Select this option to record a series of still images and choose their format.</span>"));
    comboBoxRecordingImageType = named<QComboBox>(groupBox_3, "comboBoxRecordingImageType");
    comboBoxRecordingImageType->addItems({tr("Bitmap"), tr("Tiff")});
    left->addWidget(radioButtonOutputTypeVideo, 0, 0);
    left->addWidget(radioButtonOutputTypeAvi, 0, 1, 1, 2);
    left->addWidget(checkBoxVideoFixedPlaybackSpeedEnabled, 1, 0);
    left->addWidget(doubleSpinBoxVideoPlaybackSpeed, 1, 1);
    left->addWidget(labelVideoFps, 1, 2);
    left->addWidget(labelVideoQualitiy, 2, 0);
    left->addWidget(sliderVideoQuality, 2, 1, 1, 2);
    left->addWidget(radioButtonOutputTypeImages, 3, 0);
    left->addWidget(comboBoxRecordingImageType, 3, 1, 1, 2);

    QGridLayout* middle = frameWithGroup(widget, row, middleFrame, groupBox_4, "middleFrame", "groupBox_4");
    labelRecordEveryImage = named<QLabel>(groupBox_4, "labelRecordEveryImage");
    labelRecordEveryImage->setText(tr("Record an image every"));
    labelRecordEveryImage->setToolTip(
        tr("<span>Sets the rate at which images are recorded based on time or images.</span>"));
    spinBoxRecordingSampleRate = limitSpinBox(groupBox_4, "spinBoxRecordingSampleRate");
    comboBoxRecordingSampleRateUnit = timeUnitCombo(groupBox_4, "comboBoxRecordingSampleRateUnit");
    checkBoxRecordingStopSamplingLimit = named<QCheckBox>(groupBox_4, "checkBoxRecordingStopSamplingLimit");
    checkBoxRecordingStopSamplingLimit->setText(tr("St&op recording after"));
    checkBoxRecordingStopSamplingLimit->setToolTip(tr("<span>Select this option to stop a recording after a "
                                                      "certain period of time or number of images.</span>"));
    spinBoxRecordingStopSamplingLimit = limitSpinBox(groupBox_4, "spinBoxRecordingStopSamplingLimit");
    comboBoxRecordingStopSamplingLimitUnit = timeUnitCombo(groupBox_4, "comboBoxRecordingStopSamplingLimitUnit");
    middle->addWidget(labelRecordEveryImage, 0, 0);
    middle->addWidget(spinBoxRecordingSampleRate, 0, 1);
    middle->addWidget(comboBoxRecordingSampleRateUnit, 0, 2);
    middle->addWidget(checkBoxRecordingStopSamplingLimit, 1, 0);
    middle->addWidget(spinBoxRecordingStopSamplingLimit, 1, 1);
    middle->addWidget(comboBoxRecordingStopSamplingLimitUnit, 1, 2);

    QGridLayout* right = frameWithGroup(widget, row, rightFrame, groupBox_5, "rightFrame", "groupBox_5");
    labelRecordingOutputFolder = named<QLabel>(groupBox_5, "labelRecordingOutputFolder");
    labelRecordingOutputFolder->setText(tr("Save to..."));
    labelRecordingOutputFolder->setToolTip(
        tr("<html><head/><body>Sets the location where the video clips and images will be saved. Click <span "
           "style=\" font-weight:600;\">Browse</span> to navigate to your preferred location.</body></html>"));
    lineEditRecordingOutputFolder = named<QLineEdit>(groupBox_5, "lineEditRecordingOutputFolder");
    lineEditRecordingOutputFolder->setText(tr("test"));
    pushButtonPickRecordingOutputFolder = named<QPushButton>(groupBox_5, "pushButtonPickRecordingOutputFolder");
    pushButtonPickRecordingOutputFolder->setText(tr("Browse"));
    radioButtonTriggerSourcePortNone = named<QRadioButton>(groupBox_5, "radioButtonTriggerSourcePortNone");
    radioButtonTriggerSourcePortNone->setText(tr("Automatic triggering"));
    radioButtonTriggerSourcePortNone->setToolTip(
        tr("<span>Select this option to enable automatic triggering of the camera.</span>"));
    radioButtonTriggerSourcePortOne = named<QRadioButton>(groupBox_5, "radioButtonTriggerSourcePortOne");
    radioButtonTriggerSourcePortOne->setText(tr("Trigger port 1"));
    radioButtonTriggerSourcePortOne->setToolTip(
        tr("<span>Select this option to trigger the camera via trigger port 1.</span>"));
    radioButtonTriggerSourcePortTwo = named<QRadioButton>(groupBox_5, "radioButtonTriggerSourcePortTwo");
    radioButtonTriggerSourcePortTwo->setText(tr("Trigger port 2"));
    radioButtonTriggerSourcePortTwo->setToolTip(
        tr("<span>Select this option to trigger the camera via trigger port 2.</span>"));
    right->addWidget(labelRecordingOutputFolder, 0, 0);
    right->addWidget(lineEditRecordingOutputFolder, 0, 1);
    right->addWidget(pushButtonPickRecordingOutputFolder, 0, 2);
    right->addWidget(radioButtonTriggerSourcePortNone, 1, 0, 1, 3);
    right->addWidget(radioButtonTriggerSourcePortOne, 2, 0, 1, 3);
    right->addWidget(radioButtonTriggerSourcePortTwo, 3, 0, 1, 3);

    QMetaObject::connectSlotsByName(widget);
}

RecordingSettingsWidget::RecordingSettingsWidget(QWidget* parent) : QWidget(parent), m_ui(new Form)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_ui->setupUi(this);
    m_imageTypes = {{0, CRecordingOptions::ImageOutputTypeBmp}, {1, CRecordingOptions::ImageOutputTypeTiff}};
    m_timeUnits = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
}

RecordingSettingsWidget::~RecordingSettingsWidget() = default;

int RecordingSettingsWidget::indexOf(const QHash<int, int>& map, int value)
{
    // The first index in order whose value matches; a value that no entry has selects nothing.
    for (int index = 0; index < map.size(); ++index)
        if (map.value(index, -1) == value)
            return index;
    return -1;
}

void RecordingSettingsWidget::setOptions(CRecordingOptions* options)
{
    m_options = options;
    if (!m_options)
        return;
    m_ui->lineEditRecordingOutputFolder->setText(QString::fromUtf8(m_options->OutputFolder.c_str()));
    m_ui->comboBoxRecordingImageType->setCurrentIndex(indexOf(m_imageTypes, m_options->ImageOutputType));
    m_ui->comboBoxRecordingStopSamplingLimitUnit->setCurrentIndex(
        indexOf(m_timeUnits, m_options->StopSamplingLimitUnit));
    m_ui->comboBoxRecordingSampleRateUnit->setCurrentIndex(indexOf(m_timeUnits, m_options->SampleRateUnit));
    refresh();
}

namespace {
// Stores what the user set; false, with nothing changed, without options or when they hold the value
// already.
template <class Field, class Value>
bool writeOption(CRecordingOptions* options, Field CRecordingOptions::*field, const Value& value, bool& changed)
{
    if (!options || options->*field == value)
        return false;
    changed = true;
    options->*field = value;
    return true;
}
} // namespace

void RecordingSettingsWidget::refresh()
{
    if (!m_options)
        return;
    // The controls set here call the slots back; each of those finds the record unchanged. The values
    // are read before any control is set, so that such a call-back cannot change what is shown.
    const CRecordingOptions shown = *m_options;
    // Both video outputs, the encoded one and AVI, share playback speed and quality.
    const bool avi = shown.OutputType == CRecordingOptions::OutputTypeAvi;
    const bool video = shown.OutputType == CRecordingOptions::OutputTypeVideo || avi;
    m_ui->doubleSpinBoxVideoPlaybackSpeed->setValue(shown.FpsPlaybackRate);
    m_ui->checkBoxVideoFixedPlaybackSpeedEnabled->setChecked(!shown.AutomaticFpsPlayback);
    m_ui->sliderVideoQuality->setValue(shown.VideoQuality);
    m_ui->radioButtonOutputTypeVideo->setChecked(video && !avi);
    m_ui->radioButtonOutputTypeAvi->setChecked(avi);
    m_ui->radioButtonOutputTypeImages->setChecked(!video);

    m_ui->checkBoxVideoFixedPlaybackSpeedEnabled->setEnabled(video);
    m_ui->sliderVideoQuality->setEnabled(video);
    m_ui->labelVideoQualitiy->setEnabled(video);
    m_ui->labelVideoFps->setEnabled(video);
    m_ui->doubleSpinBoxVideoPlaybackSpeed->setEnabled(video && !shown.AutomaticFpsPlayback);
    m_ui->comboBoxRecordingImageType->setEnabled(!video);

    m_ui->checkBoxRecordingStopSamplingLimit->setChecked(shown.StopSamplingLimitEnabled);
    m_ui->spinBoxRecordingSampleRate->setValue(shown.SampleRate);
    m_ui->spinBoxRecordingStopSamplingLimit->setValue(shown.StopSamplingLimit);
    m_ui->spinBoxRecordingStopSamplingLimit->setEnabled(shown.StopSamplingLimitEnabled);
    m_ui->comboBoxRecordingStopSamplingLimitUnit->setEnabled(shown.StopSamplingLimitEnabled);

    selectTriggerPort(shown.TriggerPort);

    if (m_changed) {
        m_changed = false;
        emit recordingSettingsChanged(*m_options);
    }
}

void RecordingSettingsWidget::selectTriggerPort(int32_t port)
{
    if (port == CRecordingOptions::TriggerPortNone)
        m_ui->radioButtonTriggerSourcePortNone->setChecked(true);
    else if (port == CRecordingOptions::TriggerPortOne)
        m_ui->radioButtonTriggerSourcePortOne->setChecked(true);
    else if (port == CRecordingOptions::TriggerPortTwo)
        m_ui->radioButtonTriggerSourcePortTwo->setChecked(true);
}

void RecordingSettingsWidget::chooseOutputType(bool checked, int32_t type)
{
    if (!checked || !writeOption(m_options, &CRecordingOptions::OutputType, type, m_changed))
        return;
    refresh();
}

void RecordingSettingsWidget::on_radioButtonOutputTypeVideo_toggled(bool checked)
{
    chooseOutputType(checked, CRecordingOptions::OutputTypeVideo);
}

void RecordingSettingsWidget::on_radioButtonOutputTypeImages_toggled(bool checked)
{
    chooseOutputType(checked, CRecordingOptions::OutputTypeImageSequence);
}

void RecordingSettingsWidget::on_radioButtonOutputTypeAvi_toggled(bool checked)
{
    chooseOutputType(checked, CRecordingOptions::OutputTypeAvi);
}

void RecordingSettingsWidget::on_sliderVideoQuality_valueChanged(int value)
{
    if (writeOption(m_options, &CRecordingOptions::VideoQuality, value, m_changed))
        refresh();
}

void RecordingSettingsWidget::on_checkBoxVideoFixedPlaybackSpeedEnabled_stateChanged(int state)
{
    const bool automatic = state != Qt::Checked;
    if (writeOption(m_options, &CRecordingOptions::AutomaticFpsPlayback, automatic, m_changed))
        refresh();
}

void RecordingSettingsWidget::on_doubleSpinBoxVideoPlaybackSpeed_valueChanged(double value)
{
    writeOption(m_options, &CRecordingOptions::FpsPlaybackRate, value, m_changed);
}

void RecordingSettingsWidget::on_comboBoxRecordingImageType_currentIndexChanged(int index)
{
    if (m_imageTypes.contains(index))
        writeOption(m_options, &CRecordingOptions::ImageOutputType, m_imageTypes.value(index), m_changed);
}

void RecordingSettingsWidget::on_spinBoxRecordingSampleRate_valueChanged(int value)
{
    writeOption(m_options, &CRecordingOptions::SampleRate, value, m_changed);
}

void RecordingSettingsWidget::on_comboBoxRecordingSampleRateUnit_currentIndexChanged(int index)
{
    if (m_timeUnits.contains(index))
        writeOption(m_options, &CRecordingOptions::SampleRateUnit, m_timeUnits.value(index), m_changed);
}

void RecordingSettingsWidget::on_checkBoxRecordingStopSamplingLimit_stateChanged(int state)
{
    const bool enabled = state == Qt::Checked;
    if (writeOption(m_options, &CRecordingOptions::StopSamplingLimitEnabled, enabled, m_changed))
        refresh();
}

void RecordingSettingsWidget::on_spinBoxRecordingStopSamplingLimit_valueChanged(int value)
{
    writeOption(m_options, &CRecordingOptions::StopSamplingLimit, value, m_changed);
}

void RecordingSettingsWidget::on_comboBoxRecordingStopSamplingLimitUnit_currentIndexChanged(int index)
{
    if (m_timeUnits.contains(index))
        writeOption(m_options, &CRecordingOptions::StopSamplingLimitUnit, m_timeUnits.value(index), m_changed);
}

void RecordingSettingsWidget::on_radioButtonTriggerSourcePortOne_toggled(bool checked)
{
    if (!checked ||
        !writeOption(m_options, &CRecordingOptions::TriggerPort, CRecordingOptions::TriggerPortOne, m_changed))
        return;
    emit triggerPortChanged(CRecordingOptions::TriggerPortOne);
    refresh();
}

void RecordingSettingsWidget::on_radioButtonTriggerSourcePortTwo_toggled(bool checked)
{
    if (!checked ||
        !writeOption(m_options, &CRecordingOptions::TriggerPort, CRecordingOptions::TriggerPortTwo, m_changed))
        return;
    emit triggerPortChanged(CRecordingOptions::TriggerPortTwo);
    refresh();
}

void RecordingSettingsWidget::on_radioButtonTriggerSourcePortNone_toggled(bool checked)
{
    if (!checked ||
        !writeOption(m_options, &CRecordingOptions::TriggerPort, CRecordingOptions::TriggerPortNone, m_changed))
        return;
    emit triggerPortChanged(CRecordingOptions::TriggerPortNone);
    refresh();
}

void RecordingSettingsWidget::on_lineEditRecordingOutputFolder_textChanged(QString text)
{
    if (!m_options)
        return;
    // Linux folder names are case-sensitive: a change of letter case names another folder and is kept.
    const QByteArray folder = text.toUtf8();
    if (folder == QByteArray(m_options->OutputFolder.c_str()))
        return;
    m_changed = true;
    m_options->OutputFolder = GenICam::gcstring(folder.constData());
}

void RecordingSettingsWidget::on_pushButtonPickRecordingOutputFolder_clicked()
{
    const QString start = m_options ? QString::fromUtf8(m_options->OutputFolder.c_str()) : QString();
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Recording folder"), start, QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        m_ui->lineEditRecordingOutputFolder->setText(QDir::toNativeSeparators(folder));
}
