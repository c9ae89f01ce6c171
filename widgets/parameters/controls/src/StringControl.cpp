// A line edit bound to a string-valued node.
#include "orbelt/StringControl.h"

#include "LogGuard.h"

#include <GenApi/Value.h>
#include <brasko/MessageFunctions.h>

namespace NimboQt {

StringControl::StringControl(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::editingFinished, this, &StringControl::updateNode);
}

void StringControl::setNode(GenApi::INode* node)
{
    m_node = node;
    updateWidget();
}

void StringControl::updateNode()
{
    reportExceptions(QStringLiteral("NimboQt::StringControl::updateNode"), QStringLiteral("Failed to set value"), [&] {
        auto* value = dynamic_cast<GenApi::IValue*>(m_node.get());
        if (value && GenApi::IsWritable(value))
            value->FromString(text().toLatin1().constData(), true);
    });
}

void StringControl::updateWidget()
{
    orbelt_detail::guarded(
        "NimboQt::StringControl::updateWidget", [] { return QStringLiteral("Failed to update string control widget"); },
        [&] {
            GenApi::CValuePtr value(m_node.get());
            setText(QString::fromLatin1(value->ToString(false, false).c_str()));
            setReadOnly(!GenApi::IsWritable(value));
        });
}

} // namespace NimboQt
