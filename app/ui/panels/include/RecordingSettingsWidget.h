// The bottom-dock panel on which the user edits the program's current recording options.
#pragma once

#include <RecordingOptions.h>

#include <QHash>
#include <QWidget>

#include <memory>

namespace Ui {
class RecordingSettingsWidget;
}

// GUI thread only: every member. The edited options belong to the main window.
class RecordingSettingsWidget : public QWidget {
    Q_OBJECT
public:
    explicit RecordingSettingsWidget(QWidget* parent);
    ~RecordingSettingsWidget() override;

    // Edits *options in place from now on (not owned) and shows them.
    void setOptions(CRecordingOptions* options);

signals:
    // A copy of the record after a change (nothing in the program connects to it).
    void recordingSettingsChanged(CRecordingOptions options);
    void triggerPortChanged(CRecordingOptions::ETriggerPort port);

public slots:
    void on_radioButtonOutputTypeVideo_toggled(bool checked);
    void on_sliderVideoQuality_valueChanged(int value);
    void on_checkBoxVideoFixedPlaybackSpeedEnabled_stateChanged(int state);
    void on_doubleSpinBoxVideoPlaybackSpeed_valueChanged(double value);
    void on_radioButtonOutputTypeImages_toggled(bool checked);
    void on_radioButtonOutputTypeAvi_toggled(bool checked);
    void on_comboBoxRecordingImageType_currentIndexChanged(int index);
    void on_spinBoxRecordingSampleRate_valueChanged(int value);
    void on_comboBoxRecordingSampleRateUnit_currentIndexChanged(int index);
    void on_checkBoxRecordingStopSamplingLimit_stateChanged(int state);
    void on_spinBoxRecordingStopSamplingLimit_valueChanged(int value);
    void on_comboBoxRecordingStopSamplingLimitUnit_currentIndexChanged(int index);
    void on_radioButtonTriggerSourcePortOne_toggled(bool checked);
    void on_radioButtonTriggerSourcePortTwo_toggled(bool checked);
    void on_radioButtonTriggerSourcePortNone_toggled(bool checked);
    void on_lineEditRecordingOutputFolder_textChanged(QString text);
    void on_pushButtonPickRecordingOutputFolder_clicked();

private:
    void refresh();
    // A radio button of the output type toggled on: stores its type unless it is stored already.
    void chooseOutputType(bool checked, int32_t type);
    void selectTriggerPort(int32_t port);
    static int indexOf(const QHash<int, int>& map, int value);

    std::unique_ptr<Ui::RecordingSettingsWidget> m_ui;
    QHash<int, int> m_imageTypes;
    QHash<int, int> m_timeUnits;
    bool m_changed = false;
    CRecordingOptions* m_options = nullptr;
};
