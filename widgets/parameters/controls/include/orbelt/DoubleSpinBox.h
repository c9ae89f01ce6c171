// A double edit box alone, with a range, an increment and a computed page step.
#pragma once

#include "orbelt/Export.h"

#include <GenApi/Types.h>

#include <QWidget>

class NimboQtDoubleSpinBox;
class SpinBoxEventCatcher;

// GUI thread only. Without a derived class that handles the edit box's stepTriggered, arrows and
// Page keys change nothing.
class ORBELT_EXPORT DoubleSpinBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(double maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int decimals READ decimals WRITE setDecimals)
    Q_PROPERTY(double increment READ increment WRITE setIncrement)
    Q_PROPERTY(int editBoxWidth READ editBoxWidth WRITE setEditBoxWidth)
public:
    DoubleSpinBox(QWidget* parent, GenApi::ERepresentation representation);
    ~DoubleSpinBox() override;

    double minimum() const;
    double maximum() const;
    int decimals() const;
    double increment() const { return m_increment; }
    int pageStep() const;
    int editBoxWidth() const { return m_editBoxWidth; }
    void setEditBoxWidth(int width);
    bool hasFocus() const { return m_hasFocus; }
    bool isUpdateExspected() const { return m_updateExpected; }

    NimboQtDoubleSpinBox* editBox() const { return m_editBox; }

public slots:
    virtual void setValue(double value);
    virtual void setMinimum(double value);
    virtual void setMaximum(double value);
    virtual void setDecimals(int decimals);
    virtual void setIncrement(double increment);
    virtual void setRange(double min, double max);
    virtual void setPageStep();
    virtual void setRangeStepAndIncrement(double minRangeLimit, double maxRangeLimit, double increment);
    virtual void initControls(double minRangeLimit, double maxRangeLimit, double value, double increment);
    void onSpinBoxFocusEventTriggered(bool focus);
    void enableUpdate(bool expected) { m_updateExpected = expected; }

protected slots:
    virtual void updateToolTip();

protected:
    bool checkIfLimitsChanged(double min, double max, double increment) const;

private:
    NimboQtDoubleSpinBox* m_editBox;
    SpinBoxEventCatcher* m_focusWatcher;
    double m_increment = 0.0;
    double m_minRangeLimit;
    double m_maxRangeLimit;
    int m_editBoxWidth = 0;
    bool m_updateExpected = false;
    bool m_hasFocus = false;
};
