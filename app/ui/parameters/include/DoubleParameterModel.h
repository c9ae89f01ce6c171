// Binds a slider-and-edit-box control to a float feature and the integer alias behind it.
#pragma once

#include "BaseParameterModel.h"

#include <GenApi/Float.h>
#include <GenApi/Integer.h>
#include "FlatDoubleComboSlider.h"

#include <QPointer>

// The panel's flat slider; the model reaches its own intValue() and trimSliderValue(), which hide the
// base's in the logarithmic scale.
using ParameterSlider = FlatDoubleComboSlider;

// GUI thread: every member. onAliasNodeUpdate may be called from any thread that changed the alias;
// it hands the work to the GUI thread.
class DoubleParameterModel : public BaseParameterModel {
    Q_OBJECT
public:
    DoubleParameterModel(ParameterSlider* slider, QString name, QString alternateName);
    ~DoubleParameterModel() override;

    void setNodeData(GenApi::INode* node) override;
    QVariant value() const override { return QVariant(); }
    void setCompanionWidget(QWidget* widget);

    // The alias node callback.
    void onAliasNodeUpdate(GenApi::INode* pAlias);

    static int toInt(int64_t value);

public slots:
    void onSpinBoxEditingFinished();
    void onSliderValueChanged(int val);
    void onAliasNodeUpdateImpl(GenApi::INode* pAlias);

private:
    void bind(GenApi::INode* node);
    void unbind();
    double adjustRangeLimits(double value);
    void setControlsEnabled(bool enabled);
    void showAliasValue();

    int64_t m_aliasIncrement = 0;
    double m_minimum = 0.0;
    double m_maximum = 0.0;
    Nimbo::CSafeFloatPtr m_pFloat;
    Nimbo::CSafeNodeRefPtr m_pAlias;
    Nimbo::CSafeIntegerPtr m_pAliasInteger;
    GenApi::CallbackHandleType m_hAliasCallback = 0;
    ParameterSlider* m_pSlider;
    QWidget* m_pCompanion = nullptr;
    // Set while the model itself moves the slider, so that the move is not written back to the node.
    bool m_updatingSlider = false;
};
