// Binds a check box to a boolean feature.
#pragma once

#include "BaseParameterModel.h"

#include <GenApi/Boolean.h>

class QCheckBox;
class QWidget;

// GUI thread: every member.
class BooleanParameterModel : public BaseParameterModel {
    Q_OBJECT
public:
    BooleanParameterModel(QCheckBox* checkBox, QString name, QString alternateName);

    void setNodeData(GenApi::INode* node) override;
    // "1" when the box is checked, else "0".
    QVariant value() const override;
    void setCompanionWidget(QWidget* widget);

public slots:
    void onStateChanged(int state);

private:
    void bind(GenApi::INode* node);
    // The box and its companion together.
    void setControlsEnabled(bool enabled);

    Nimbo::CSafeBooleanPtr m_pBoolean;
    QCheckBox* m_pCheckBox;
    QWidget* m_pCompanion = nullptr;
};
