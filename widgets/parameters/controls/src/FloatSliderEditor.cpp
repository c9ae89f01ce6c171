// The slider editor of float nodes with an integer alias: the box shows the float, the slider the alias.
#include "orbelt/FloatSliderEditor.h"

#include "FloatEditing.h"
#include "FloatRange.h"
#include "LogGuard.h"
#include "NodeText.h"
#include "orbelt/NodeNotice.h"
#include "orbelt/SpinBox.h"

#include <GenApi/NodeCallback.h>
#include <threadcheck/HandOff.h>

#include <QSlider>

namespace {
[[noreturn]] void fail(const char* text, unsigned int line)
{
    throw GenICam::InvalidArgumentException(text, "floatslidereditor", line);
}

const char* const kRangeMessage = "The minimum allowed value is larger than the to be set node value or the maximum "
                                  "allowed value is smaller than the to be set node value!";
} // namespace

FloatSliderEditor::FloatSliderEditor(QWidget* parent) : DoubleComboSlider(parent)
{
    connect(editBox(), &QDoubleSpinBox::editingFinished, this, &FloatSliderEditor::onSpinBoxEditingFinished);
    connect(slider(), &QSlider::valueChanged, this, &FloatSliderEditor::onSliderValueChanged);
}

FloatSliderEditor::~FloatSliderEditor()
{
    if (m_aliasCallback && m_alias)
        GenApi::Deregister(m_aliasCallback);
    m_aliasCallback = 0;
}

// Every check runs on locals first: a set-up that fails leaves the editor unbound, holding no node and no
// callback, and the next refresh tries again. The callback is registered once, after every check passed.
bool FloatSliderEditor::initMemberVariables(GenApi::INode* node)
{
    Nimbo::CSafeFloatPtr floatNode(node);
    if (!floatNode)
        fail("Dynamic cast on pNode has gone wrong!", __LINE__);
    Nimbo::CSafeNodeRefPtr alias(node->GetAlias());
    if (!alias)
        fail("Could not retrieve an alias node on pNode", __LINE__);
    Nimbo::CSafeIntegerPtr aliasInteger(alias.get());
    if (!aliasInteger)
        fail("Dynamic cast on the alias node has gone wrong!", __LINE__);
    const double min = floatNode->GetMin();
    const double max = floatNode->GetMax();
    (void)aliasInteger->GetInc(); // an increment that cannot be read fails here, not after the binding
    if (max < min)
        fail("The given range or increment information of the given pNode is not valid", __LINE__);
    // Bound before the callback exists: the callback, from any thread, compares the alias it is given.
    m_node = node;
    m_float = floatNode;
    m_alias = alias;
    m_aliasInteger = aliasInteger;
    if (!m_aliasCallback)
        m_aliasCallback =
            GenApi::Register(m_alias.get(), this, &FloatSliderEditor::onAliasNodeUpdate, GenApi::cbPostInsideLock);
    if (!m_aliasCallback) {
        m_node = nullptr;
        m_float = nullptr;
        m_alias = nullptr;
        m_aliasInteger = nullptr;
        fail("Could not register a callback handle on the alias node of the given pNode", __LINE__);
    }
    // initControls, which follows, stores the range limits and the increment.
    return true;
}

void FloatSliderEditor::setEditorData(GenApi::INode* node)
{
    static const orbelt_detail::FloatEditorTexts texts = {
        "FloatSliderEditor::setEditorData", "%s is called with non-float node????", "Non-readable comboBox: %s??????",
        "floatslidereditor", kRangeMessage};
    orbelt_detail::FloatEditing::refresh(*this, node, texts);
}

void FloatSliderEditor::setUpControls(GenApi::INode* node)
{
    using orbelt_detail::clampToInt;
    m_initialised = initMemberVariables(node);
    initControls(m_float->GetMin(), m_float->GetMax(), clampToInt(m_aliasInteger->GetValue(false, false)),
                 clampToInt(m_aliasInteger->GetMin()), clampToInt(m_aliasInteger->GetMax()),
                 clampToInt(m_aliasInteger->GetInc()));
}

int FloatSliderEditor::nodeIncrement()
{
    const int increment = orbelt_detail::clampToInt(m_aliasInteger->GetInc());
    if (increment == 0)
        fail("The alias increment cannot be '0'!", __LINE__);
    return increment;
}

void FloatSliderEditor::onSliderValueChanged(int val)
{
    orbelt_detail::guarded(
        "FloatSliderEditor::onSliderValueChanged",
        [] {
            return QStringLiteral("%1: Failed to set the alias nodes value on slider value changed signal!")
                .arg("FloatSliderEditor::onSliderValueChanged");
        },
        [&] {
            if (!m_aliasInteger)
                return; // not bound yet: initControls moves the slider before the alias is known
            if (val != m_aliasInteger->GetValue(false, false)) {
                enableUpdate(true);
                m_aliasInteger->SetValue(trimSliderValue(val), true);
            }
        });
}

void FloatSliderEditor::onSpinBoxEditingFinished()
{
    enableUpdate(true);
    if (!orbelt_detail::userChangedValue(*editBox(), m_float))
        return;
    editBox()->setValue(value());
    emit boxValueChanged();
}

void FloatSliderEditor::onAliasNodeUpdate(GenApi::INode* node)
{
    if (!node || node != m_alias.get())
        return;
    postNodeNotice(this, "onAliasNodeUpdateImpl", node);
}

void FloatSliderEditor::onAliasNodeUpdateImpl(GenApi::INode* pAlias)
{
    // Posted by onAliasNodeUpdate when the node changed on another thread.
    threadcheck::takeOver(this);
    static const char* const function = "FloatSliderEditor::onAliasNodeUpdateImpl";
    // A queued notice may arrive after the node map went away: only the alias still held is read.
    if (!pAlias || pAlias != m_alias.get())
        return;
    if (!GenApi::IsReadable(pAlias)) {
        orbelt_detail::guarded(
            function, [] { return QStringLiteral("Failed to retrieve the alias node's name"); },
            [&] { qWarning("Non-readable slider: %s??????", pAlias->GetName().c_str()); });
        return;
    }
    orbelt_detail::guarded(
        function, [] { return QStringLiteral("%1: Failed to update the float value editor slider!").arg(function); },
        [&] {
            using orbelt_detail::clampToInt;
            if (!m_aliasInteger)
                fail("The internal alias node pointer is null.", __LINE__);
            const bool writable = GenApi::IsWritable(m_aliasInteger.get());
            const int min = clampToInt(m_aliasInteger->GetMin());
            const int max = clampToInt(m_aliasInteger->GetMax());
            const int value = clampToInt(m_aliasInteger->GetValue(false, false));
            if (max < min)
                fail("The minimum value is larger than the maximum value!", __LINE__);
            if (value < min || value > max)
                fail(kRangeMessage, __LINE__);
            const int increment = nodeIncrement();
            if (isEnabled() != writable)
                setEnabled(writable);
            const bool limitsChanged = checkIfLimitsChanged(min, max, increment);
            if (limitsChanged) {
                setRangeStepAndIncrement(min, max, increment);
                updateToolTip();
            }
            if (value != intValue() || limitsChanged) {
                enableUpdate(true);
                setIntValue(value);
            }
        });
}

void FloatSliderEditor::updateToolTip()
{
    if (!m_float)
        return DoubleComboSlider::updateToolTip();
    // Both the notation and the increment follow the float node; without an increment of its own the tip
    // shows none (the alias's grid is the slider's business).
    orbelt_detail::FloatEditing::showToolTip(
        *this, [this] { return qMax(std::fabs(m_float->GetMax()), std::fabs(m_float->GetMin())); },
        [this] { return m_float->HasInc() ? m_float->GetInc() : 0.0; });
}

template class orbelt_detail::FloatNodeEditor<FloatSliderEditor>;
