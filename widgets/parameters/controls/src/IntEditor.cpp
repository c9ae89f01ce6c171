// The line editor of integer nodes.
#include "orbelt/IntEditor.h"

#include "LogGuard.h"
#include "NodeText.h"

#include <GenApi/Integer.h>
#include <GenApi/Pointer.h>
#include <lorvish/Trace.h>

#include <log4cpp/Category.hh>

IntEditor::IntEditor(QWidget* parent) : QLineEdit(parent)
{
    setFrame(false);
    setContentsMargins(1, 0, 1, 0);
}

void IntEditor::setEditorData(GenApi::INode* node)
{
    using orbelt_detail::clampToInt;
    orbelt_detail::guarded(
        "IntEditor::setEditorData",
        [&] {
            return QStringLiteral("Failed to update the integer value editor for node %1")
                .arg(orbelt_detail::nodeName(node));
        },
        [&] {
            GenApi::CIntegerPtr integer(node);
            if (!integer) {
                qWarning("%s is called with non-integer node????", "IntEditor::setEditorData");
                return;
            }
            if (!GenApi::IsReadable(integer)) {
                setText(QStringLiteral("<not readable>"));
                setToolTip(QString());
                return;
            }
            const int min = clampToInt(integer->GetMin());
            const int max = clampToInt(integer->GetMax());
            const GenApi::ERepresentation representation = integer->GetRepresentation();
            Lorvish::GetLazyTraceStructInstance_().misc->debug("IntEditor::setEditorData(%s)",
                                                               orbelt_detail::representationName(representation));
            switch (representation) {
            case GenApi::Linear:
            case GenApi::Logarithmic:
            case GenApi::PureNumber:
            case GenApi::HexNumber:
                setText(QString::fromLatin1(integer->ToString(false, false).c_str()));
                if (representation == GenApi::HexNumber)
                    // The bounds as the node's unsigned register contents would show them.
                    setToolTip(QStringLiteral("Range: 0x%1..0x%2")
                                   .arg(static_cast<unsigned int>(min), 0, 16)
                                   .arg(static_cast<unsigned int>(max), 0, 16));
                else
                    setToolTip(QStringLiteral("Range: %1..%2").arg(min).arg(max));
                break;
            case GenApi::Boolean:
            case GenApi::IPV4Address:
            case GenApi::MACAddress:
                setValidator(nullptr);
                setText(QString::fromLatin1(integer->ToString(false, false).c_str()));
                setToolTip(QString());
                break;
            default: break;
            }
        });
}

QVariant IntEditor::editorData()
{
    return QVariant(text());
}
