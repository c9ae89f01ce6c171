// The slider model of a float feature: the float carries the edit box, its integer alias the slider.
#include "DoubleParameterModel.h"

#include <GenApi/NodeCallback.h>
#include <GenICam/GenericException.h>
#include <orbelt/FloatCommit.h>
#include <orbelt/Helpers.h>
#include <orbelt/NodeNotice.h>
#include <threadcheck/HandOff.h>

#include <QWidget>

#include <climits>

using parametermodel_detail::nameForWarning;

namespace {
// The slider's limit test is a protected member of the control; the model reaches it through this
// accessor rather than widening the control's interface.
struct SliderAccess : ParameterSlider {
    static bool limitsChanged(const ParameterSlider* s, double min, double max, int increment)
    {
        return (s->*static_cast<bool (ParameterSlider::*)(double, double, int) const>(
                        &SliderAccess::checkIfLimitsChanged))(min, max, increment);
    }
    static bool limitsChanged(const ParameterSlider* s, int min, int max, int increment)
    {
        return (s->*static_cast<bool (ParameterSlider::*)(int, int, int) const>(&SliderAccess::checkIfLimitsChanged))(
            min, max, increment);
    }
};

QByteArray nameOf(GenApi::INode* node)
{
    if (!node)
        throw LOGICAL_ERROR_EXCEPTION("NULL pointer dereferenced");
    return QByteArray(node->GetName().c_str());
}

// The node's name, or the warning lines why there is none (`warning`, then the exception).
bool nameOrWarn(GenApi::INode* node, QByteArray& name, const char* warning, const char* function)
{
    try {
        name = nameOf(node);
        return true;
    } catch (...) {
        qWarning("%s", warning);
        warnCurrentException(function);
        return false;
    }
}

// A value and its limits as a node reported them: the slider takes them only when they agree, and
// never a zero step.
template <typename T>
void checkLimits(T min, T max)
{
    if (min > max)
        throw INVALID_ARGUMENT_EXCEPTION("The minimum value is larger than the maximum value!");
}

template <typename T>
void checkValueInRange(T min, T max, T value)
{
    if (value < min || value > max)
        throw INVALID_ARGUMENT_EXCEPTION("The minimum allowed value is larger than the to be set node value or "
                                         "the maximum allowed value is smaller than the to be set node value!");
}

int checkedIncrement(int increment)
{
    if (increment == 0)
        throw INVALID_ARGUMENT_EXCEPTION("The alias increment cannot be '0'!");
    return increment;
}

// Restores a flag on every way out.
struct FlagGuard {
    explicit FlagGuard(bool& flag) : m_flag(flag), m_previous(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = m_previous; }
    bool& m_flag;
    bool m_previous;
};
} // namespace

DoubleParameterModel::DoubleParameterModel(ParameterSlider* slider, QString name, QString alternateName)
    : BaseParameterModel(std::move(name), std::move(alternateName)), m_pSlider(slider)
{
    connect(m_pSlider, &ParameterSlider::editingFinished, this, &DoubleParameterModel::onSpinBoxEditingFinished);
    connect(m_pSlider, &ParameterSlider::valueChanged, this, &DoubleParameterModel::onSliderValueChanged);
    m_pSlider->setEnabled(false);
}

DoubleParameterModel::~DoubleParameterModel()
{
    if (m_hAliasCallback)
        GenApi::Deregister(m_hAliasCallback);
}

void DoubleParameterModel::setCompanionWidget(QWidget* widget)
{
    m_pCompanion = widget;
    if (m_pCompanion)
        m_pCompanion->setEnabled(m_pSlider->isEnabled());
}

void DoubleParameterModel::setControlsEnabled(bool enabled)
{
    m_pSlider->setEnabled(enabled);
    if (m_pCompanion)
        m_pCompanion->setEnabled(enabled);
}

int DoubleParameterModel::toInt(int64_t value)
{
    if (value >= INT_MIN && value <= INT_MAX)
        return static_cast<int>(value);
    qWarning("64 bit value doesn't fit into int variable");
    return value < 0 ? INT_MIN : INT_MAX;
}

void DoubleParameterModel::unbind()
{
    if (m_hAliasCallback)
        GenApi::Deregister(m_hAliasCallback);
    m_hAliasCallback = 0;
    m_pFloat = nullptr;
    m_pAlias = nullptr;
    m_pAliasInteger = nullptr;
    m_minimum = 0.0;
    m_maximum = 0.0;
    m_aliasIncrement = 0;
}

void DoubleParameterModel::bind(GenApi::INode* node)
{
    try {
        m_pFloat = node;
        if (!m_pFloat)
            throw INVALID_ARGUMENT_EXCEPTION("Dynamic cast on pNode has gone wrong!");
        m_pAlias = node->GetAlias();
        if (!m_pAlias)
            throw INVALID_ARGUMENT_EXCEPTION("Could not retrieve an alias node on pNode");
        m_pAliasInteger = m_pAlias.get();
        if (!m_pAliasInteger)
            throw INVALID_ARGUMENT_EXCEPTION("Dynamic cast on the alias node has gone wrong!");
        m_hAliasCallback =
            GenApi::Register(m_pAlias.get(), *this, &DoubleParameterModel::onAliasNodeUpdate, GenApi::cbPostInsideLock);
        if (!m_hAliasCallback)
            throw INVALID_ARGUMENT_EXCEPTION(
                "Could not register a callback handle on the alias node of the given pNode");
        m_minimum = m_pFloat->GetMin();
        m_maximum = m_pFloat->GetMax();
        m_aliasIncrement = m_pAliasInteger->GetInc();
        if (m_minimum > m_maximum)
            throw INVALID_ARGUMENT_EXCEPTION(
                "The given range or increment information of the given pNode is not valid");
    } catch (...) {
        unbind();
        throw;
    }
    m_initialized = initMemberVariables(node);
}

void DoubleParameterModel::setNodeData(GenApi::INode* node)
{
    if (!node || !dynamic_cast<GenApi::IFloat*>(node)) {
        qWarning("%s is called with non-float node?", "DoubleParameterModel::setNodeData");
        return;
    }
    QByteArray nodeName;
    if (!nameOrWarn(node, nodeName, "Failed to retrieve a node's name", "DoubleParameterModel::setNodeData"))
        return;
    try {
        if (!GenApi::IsReadable(node->GetAccessMode())) {
            qWarning("Non-readable DoubleParameterModel: %s", nodeName.constData());
            // Nothing to show or to set, as for a feature the camera lacks: the row waits disabled until
            // the node can be read again.
            if (m_pSlider->isEnabled())
                setControlsEnabled(false);
            return;
        }
        // A value that the user is typing is not overwritten.
        if (m_pSlider->hasFocus()) {
            if (!m_pSlider->isUpdateExspected())
                return;
            m_pSlider->enableUpdate(false);
        }
        FlagGuard updating(m_updatingSlider);
        if (!m_initialized) {
            bind(node);
            m_pSlider->initControls(m_minimum, m_maximum, toInt(m_pAliasInteger->GetValue(false, false)),
                                    toInt(m_pAliasInteger->GetMin()), toInt(m_pAliasInteger->GetMax()),
                                    toInt(m_aliasIncrement));
        }
        const bool writable = GenApi::IsWritable(m_pFloat->GetAccessMode());
        const double min = m_pFloat->GetMin();
        const double max = m_pFloat->GetMax();
        checkLimits(min, max);
        const double value = m_pFloat->GetValue(false, false);
        checkValueInRange(min, max, value);
        const int increment = checkedIncrement(toInt(m_pAliasInteger->GetInc()));
        const int decimals = toInt(m_pFloat->GetDisplayPrecision());
        if (writable != m_pSlider->isEnabled())
            setControlsEnabled(writable);
        if (m_pSlider->decimals() != decimals)
            m_pSlider->setDecimals(decimals);
        const bool changed = SliderAccess::limitsChanged(m_pSlider, min, max, increment);
        if (changed)
            m_pSlider->setRangeStepAndIncrement(min, max, increment);
        if (value == m_pSlider->value() && !changed)
            return;
        m_pSlider->setValue(value);
    } catch (...) {
        qWarning("%s: Failed to update the float value editor comboBox!", nodeName.constData());
        warnCurrentException("DoubleParameterModel::setNodeData");
    }
}

void DoubleParameterModel::onAliasNodeUpdate(GenApi::INode* pAlias)
{
    if (!pAlias || pAlias != m_pAlias.get())
        return;
    postNodeNotice(this, "onAliasNodeUpdateImpl", pAlias);
}

void DoubleParameterModel::onAliasNodeUpdateImpl(GenApi::INode* pAlias)
{
    // Posted by onAliasNodeUpdate when the alias changed on another thread.
    threadcheck::takeOver(this);
    // A call queued from another thread may arrive after the alias (or its node map) is gone.
    if (!pAlias || pAlias != m_pAlias.get())
        return;
    QByteArray aliasName;
    if (!nameOrWarn(pAlias, aliasName, "Failed to retrieve the alias node's name",
                    "DoubleParameterModel::onAliasNodeUpdateImpl"))
        return;
    try {
        if (!GenApi::IsReadable(pAlias->GetAccessMode())) {
            qWarning("Non-readable slider: %s?", aliasName.constData());
            if (m_pSlider->isEnabled())
                setControlsEnabled(false);
            return;
        }
        if (!m_pAliasInteger)
            throw INVALID_ARGUMENT_EXCEPTION("The internal alias node pointer is null.");
        const bool writable = GenApi::IsWritable(m_pAliasInteger->GetAccessMode());
        const int min = toInt(m_pAliasInteger->GetMin());
        const int max = toInt(m_pAliasInteger->GetMax());
        checkLimits(min, max);
        const int64_t value = m_pAliasInteger->GetValue(false, false);
        checkValueInRange<int64_t>(min, max, value);
        const int increment = checkedIncrement(toInt(m_pAliasInteger->GetInc()));
        if (writable != m_pSlider->isEnabled())
            setControlsEnabled(writable);
        FlagGuard updating(m_updatingSlider);
        const bool changed =
            SliderAccess::limitsChanged(m_pSlider, static_cast<double>(min), static_cast<double>(max), increment);
        if (changed)
            m_pSlider->setRangeStepAndIncrement(min, max, increment);
        if (value == m_pSlider->intValue() && !changed)
            return;
        // While the user types into the edit box, a value the camera changed by itself moves the slider
        // only: the float's own notice would take an update expected here and overwrite the typed text.
        // (The update the user's own write expects is flagged already.)
        if (!m_pSlider->hasFocus())
            m_pSlider->enableUpdate(true);
        m_pSlider->setIntValue(static_cast<int>(value));
    } catch (...) {
        qWarning("%s: Failed to update the float value editor slider!", aliasName.constData());
        warnCurrentException("DoubleParameterModel::onAliasNodeUpdateImpl");
    }
}

void DoubleParameterModel::onSliderValueChanged(int val)
{
    // The model's own slider updates follow the node; only the user's moves are written.
    if (m_updatingSlider || !m_initialized)
        return;
    try {
        if (val == m_pAliasInteger->GetValue(false, false)) {
            // A step onto the value the camera already holds (it changed it by itself since the last
            // poll) writes nothing, so nothing reports back: the box shows that value now, which takes
            // the update the step expected, or the next refresh would overwrite what the user types.
            if (m_pSlider->hasFocus() && m_pSlider->isUpdateExspected() && m_pNode)
                setNodeData(m_pNode.get());
            return;
        }
        m_pSlider->enableUpdate(true);
        m_pAliasInteger->SetValue(m_pSlider->trimSliderValue(val), true);
    } catch (...) {
        qWarning("%s: Failed to set the alias nodes value on slider value changed signal!",
                 nameForWarning(m_pAlias.get()).constData());
        warnCurrentException("DoubleParameterModel::onSliderValueChanged");
        showAliasValue();
    }
}

// After a write the camera refused, it keeps its value: the slider goes back to it from wherever it stands
// (a position of the logarithmic scale may stand for the kept value too, but the step that moved it has
// taken the refused value for its own), so that it shows what the camera holds and the next step starts
// from there.
void DoubleParameterModel::showAliasValue()
{
    try {
        if (!m_pAliasInteger || !GenApi::IsReadable(m_pAliasInteger->GetAccessMode()))
            return;
        const int value = toInt(m_pAliasInteger->GetValue(false, false));
        FlagGuard updating(m_updatingSlider);
        m_pSlider->enableUpdate(true);
        m_pSlider->setIntValue(value);
    } catch (...) {
        qWarning("%s: Failed to update the float value editor slider!", nameForWarning(m_pAlias.get()).constData());
        warnCurrentException("DoubleParameterModel::showAliasValue");
    }
}

double DoubleParameterModel::adjustRangeLimits(double value)
{
    try {
        return qBound(m_pFloat->GetMin(), value, m_pFloat->GetMax());
    } catch (...) {
        qWarning("%s: Failed to assert the range limits!", nameForWarning(m_pNode.get()).constData());
        warnCurrentException("DoubleParameterModel::adjustRangeLimits");
        return value;
    }
}

void DoubleParameterModel::onSpinBoxEditingFinished()
{
    if (!m_initialized)
        return;
    // Leaving the box or pressing Enter without having typed a value of one's own commits nothing: the box
    // shows the camera's value rounded to its decimals, and writing that would change the camera. Once left,
    // the box shows the camera's value again, which may have changed while the box had the focus.
    if (!NimboQt::userChangedValue(*m_pSlider->editBox(), m_pFloat)) {
        if (!m_pSlider->hasFocus() && m_pNode)
            setNodeData(m_pNode.get());
        return;
    }
    try {
        const double value = adjustRangeLimits(m_pSlider->value());
        if (value == m_pFloat->GetValue(false, false))
            return;
        m_pSlider->enableUpdate(true);
        m_pSlider->setValue(value);
        m_pFloat->SetValue(value, true);
    } catch (...) {
        qWarning("%s: Failed to set the node value on spin box editing finished signal!",
                 nameForWarning(m_pNode.get()).constData());
        warnCurrentException("DoubleParameterModel::onSpinBoxEditingFinished");
        // The camera kept its value: the box shows it again in place of the refused one.
        if (m_pNode) {
            m_pSlider->enableUpdate(true);
            setNodeData(m_pNode.get());
        }
    }
}
