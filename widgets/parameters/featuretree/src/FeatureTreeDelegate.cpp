// The feature tree delegate: editor choice, data transfer between node and editor, rich-text name painting.
#include "orbelt/FeatureTreeDelegate.h"

#include "orbelt/AbstractItemEditor.h"
#include "orbelt/CheckBoxEditor.h"
#include "orbelt/EnumEditor.h"
#include "orbelt/FeatureTreeHighlighter.h"
#include "orbelt/FeatureTreeItem.h"
#include "orbelt/FeatureTreeModelExtension.h"
#include "orbelt/FloatEditor.h"
#include "orbelt/FloatSliderEditor.h"
#include "orbelt/IntEditor.h"
#include "orbelt/IntSliderEditor.h"
#include "orbelt/ToolButtonEditor.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QTextDocument>

namespace {
bool isSliderRepresentation(GenApi::ERepresentation r)
{
    return r == GenApi::Linear || r == GenApi::Logarithmic;
}
} // namespace

FeatureTreeDelegate::FeatureTreeDelegate(QObject* parent, IFeatureTreeModelExtension* extension,
                                         GenApi::EVisibility* visibility, FeatureTreeHighlighter* highlighter)
    : QStyledItemDelegate(parent), m_visibility(visibility), m_extension(extension), m_highlighter(highlighter)
{
}

QSize FeatureTreeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(23);
    return size;
}

void FeatureTreeDelegate::destroyEditor(QWidget* editor, const QModelIndex&) const
{
    editor->deleteLater();
}

void FeatureTreeDelegate::emitCommitData()
{
    // The signal may come from an editor or from something that is not a widget at all.
    emit commitData(qobject_cast<QWidget*>(sender()));
}

QWidget* FeatureTreeDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const
{
    if (!index.isValid() || !m_extension)
        return nullptr;
    auto* item = qobject_cast<FeatureTreeINodeItem*>(m_extension->getFeatureTreeItem(index));
    if (!item)
        return nullptr;
    const GenApi::EAccessMode mode = item->getAccessMode();
    if (mode == GenApi::NI || mode == GenApi::NA)
        return nullptr;
    GenApi::INode* node = item->node();
    switch (item->editorType()) {
    case FeatureTreeItem::EditInteger:
    case FeatureTreeItem::EditIntegerSlider:
        return createIntEditor(parent, option, dynamic_cast<GenApi::IInteger*>(node));
    case FeatureTreeItem::EditFloat:
    case FeatureTreeItem::EditFloatSlider:
        if (QWidget* editor = createFloatEditor(parent, option, dynamic_cast<GenApi::IFloat*>(node)))
            return editor;
        return QStyledItemDelegate::createEditor(parent, option, index);
    case FeatureTreeItem::EditEnumeration:
        return createEnumEditor(parent, option, dynamic_cast<GenApi::IEnumeration*>(node));
    case FeatureTreeItem::EditBoolean:
        return createCheckBoxEditor(parent, option, dynamic_cast<GenApi::IBoolean*>(node));
    case FeatureTreeItem::EditCommand:
        return createToolButtonEditor(parent, option, dynamic_cast<GenApi::ICommand*>(node));
    default: return QStyledItemDelegate::createEditor(parent, option, index);
    }
}

QWidget* FeatureTreeDelegate::createIntEditor(QWidget* parent, const QStyleOptionViewItem&,
                                              const GenApi::IInteger* node) const
{
    if (!node)
        return nullptr;
    if (!isSliderRepresentation(const_cast<GenApi::IInteger*>(node)->GetRepresentation()))
        return new IntEditor(parent);
    auto* editor = new IntSliderEditor(parent);
    connect(editor, SIGNAL(valueChanged(int)), this, SLOT(emitCommitData()));
    return editor;
}

QWidget* FeatureTreeDelegate::createFloatEditor(QWidget* parent, const QStyleOptionViewItem&,
                                                const GenApi::IFloat* constNode) const
{
    if (!constNode)
        return nullptr;
    auto* node = const_cast<GenApi::IFloat*>(constNode);
    const GenApi::ERepresentation representation = node->GetRepresentation();
    GenApi::INode* alias = node->GetNode() ? node->GetNode()->GetAlias() : nullptr;
    if (isSliderRepresentation(representation) && GenApi::CIntegerPtr(alias).IsValid()) {
        auto* editor = new FloatSliderEditor(parent);
        connect(editor, &FloatSliderEditor::boxValueChanged, this, &FeatureTreeDelegate::emitCommitData);
        return editor;
    }
    auto* editor = new FloatEditor(parent, representation);
    connect(editor, &FloatEditor::boxValueChanged, this, &FeatureTreeDelegate::emitCommitData);
    return editor;
}

QWidget* FeatureTreeDelegate::createEnumEditor(QWidget* parent, const QStyleOptionViewItem&,
                                               const GenApi::IEnumeration* node) const
{
    if (!node)
        return nullptr;
    auto* editor = new EnumEditor(parent, m_visibility);
    connect(editor, qOverload<int>(&QComboBox::activated), this, &FeatureTreeDelegate::emitCommitData);
    return editor;
}

QWidget* FeatureTreeDelegate::createCheckBoxEditor(QWidget* parent, const QStyleOptionViewItem&,
                                                   const GenApi::IBoolean* node) const
{
    if (!node)
        return nullptr;
    auto* editor = new CheckBoxEditor(parent);
    connect(editor, &QAbstractButton::clicked, this, &FeatureTreeDelegate::emitCommitData);
    return editor;
}

QWidget* FeatureTreeDelegate::createToolButtonEditor(QWidget* parent, const QStyleOptionViewItem&,
                                                     const GenApi::ICommand* node) const
{
    if (!node)
        return nullptr;
    auto* editor = new ToolButtonEditor(parent);
    connect(editor, &QAbstractButton::clicked, this, &FeatureTreeDelegate::emitCommitData);
    return editor;
}

void FeatureTreeDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (index.column() != 1) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    FeatureTreeItem* item = m_extension ? m_extension->getFeatureTreeItem(index) : nullptr;
    if (!item)
        return;
    auto* itemEditor = dynamic_cast<AbstractItemEditor*>(editor);
    auto* nodeItem = qobject_cast<FeatureTreeINodeItem*>(item);
    if (itemEditor && nodeItem) {
        itemEditor->setEditorData(nodeItem->node());
        return;
    }
    // A refresh must not overwrite what the user is typing.
    if (!editor->hasFocus())
        QStyledItemDelegate::setEditorData(editor, index);
}

void FeatureTreeDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* itemEditor = dynamic_cast<AbstractItemEditor*>(editor);
    if (index.column() == 1 && itemEditor) {
        model->setData(index, itemEditor->editorData(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void FeatureTreeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (index.column() != 0 || !m_highlighter || index.data(FeatureTreeItem::GenicamCategory).toBool()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem copy = option;
    initStyleOption(&copy, index);
    QStyle* style = copy.widget ? copy.widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &copy, copy.widget);

    const bool special = index.data(FeatureTreeItem::IsSpecialNode).toBool();
    const QString text = index.data(Qt::DisplayRole).toString();
    const bool debug = index.data(FeatureTreeItem::IsDebugNode).toBool();
    const QVariant foreground = index.data(Qt::ForegroundRole);
    const QBrush brush = foreground.canConvert<QBrush>() ? foreground.value<QBrush>() : QBrush();

    const QFontMetrics metrics(painter->font());
    QString body;
    if (special)
        body = text;
    else if (debug)
        body = metrics.elidedText(text, Qt::ElideRight, textRect.width()).toHtmlEscaped();
    else
        body = m_highlighter->highlightPlainText(
            metrics.elidedText(text, Qt::ElideRight, textRect.width() - 2 * m_highlighter->searchText().size()));
    const QString html = "<span style='color:" + brush.color().name() + "'>" + body + "</span>";

    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &copy, painter, qobject_cast<QWidget*>(parent()));

    QTextDocument document;
    document.setHtml(html);
    painter->save();
    painter->translate(textRect.topLeft());
    painter->setClipRect(textRect.translated(-textRect.topLeft()), Qt::ReplaceClip);
    document.documentLayout()->draw(painter, QAbstractTextDocumentLayout::PaintContext());
    painter->restore();
}
