// The recording settings panel: the slots that write each control of its form into the options.
// options.
#include "RecordingSettingsWidget.h"

#include "ui_RecordingSettingsWidget.h"

#include <QDir>
#include <QFileDialog>

RecordingSettingsWidget::RecordingSettingsWidget(QWidget* parent)
    : QWidget(parent), m_ui(new Ui::RecordingSettingsWidget)
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
