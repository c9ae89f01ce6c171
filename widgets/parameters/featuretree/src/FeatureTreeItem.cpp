// The feature tree's rows: texts, flags, editor types, visibility and the node callback.
#include "orbelt/FeatureTreeItem.h"

#include "orbelt/FeatureTreeHighlighter.h"
#include "orbelt/FeatureTreeModelExtension.h"
#include "orbelt/Helpers.h"

#include <QApplication>
#include <QBrush>
#include <QPalette>
#include <QThread>

const int FeatureTreeItem::GenicamNameRole = 257;
const int FeatureTreeItem::GenicamTooltipRole = 258;
const int FeatureTreeItem::GenicamDescription = 259;
const int FeatureTreeItem::GenicamDocuURL = 260;
const int FeatureTreeItem::GenicamCategory = 261;
const int FeatureTreeItem::GenicamVisibility = 262;
const int FeatureTreeItem::UniqueID = 266;
const int FeatureTreeItem::IsDebugNode = 267;
const int FeatureTreeItem::IsFullRowItem = 268;
const int FeatureTreeItem::IsSpecialNode = 269;
const int FeatureTreeItem::IsShownAtAll = 270;
const int FeatureTreeItem::FullNodeNameRole = 288;

namespace {
const char* kAlreadyDisplayed = "<already displayed elsewhere>";

bool isImplemented(GenApi::EAccessMode mode)
{
    return mode != GenApi::NI;
}
bool isAvailable(GenApi::EAccessMode mode)
{
    return mode != GenApi::NI && mode != GenApi::NA;
}
bool isReadable(GenApi::EAccessMode mode)
{
    return mode == GenApi::RO || mode == GenApi::RW;
}
bool isWritable(GenApi::EAccessMode mode)
{
    return mode == GenApi::WO || mode == GenApi::RW;
}

bool isCategory(GenApi::INode* node)
{
    return GenApi::CCategoryPtr(node).IsValid();
}
} // namespace

QString translateFeatureText(const QString& key, const QString& fallback)
{
    const QByteArray latin = key.toLatin1();
    const QString translation = QCoreApplication::translate("GenICam", latin.constData());
    if (translation.toLatin1() == latin)
        return fallback;
    return translation;
}

// ---------------------------------------------------------------------------------------------------------------
// FeatureTreeItem

FeatureTreeItem::FeatureTreeItem(const QString& name, IFeatureTreeModelExtension* extension, bool isDebugNode,
                                 const QString& linkLabel, const QString& fullName, FeatureTreeItem* parent,
                                 bool isDeadEnd)
    : QObject(parent), m_name(name), m_linkLabel(linkLabel), m_fullName(fullName), m_parent(parent),
      m_isDebugNode(isDebugNode), m_isDeadEnd(isDeadEnd), m_extension(extension)
{
}

FeatureTreeItem::~FeatureTreeItem()
{
    clearChildren();
    delete m_pDescription;
    delete m_pToolTip;
}

void FeatureTreeItem::clearChildren()
{
    // Taken out first so that a child's destructor never sees itself in the list.
    const QList<FeatureTreeItem*> children = m_children;
    m_children.clear();
    qDeleteAll(children);
}

int FeatureTreeItem::childCount()
{
    return m_children.count();
}

QVariant FeatureTreeItem::data(int column, int role)
{
    if (column == 0 && role == Qt::DisplayRole)
        return m_isDebugNode ? QString("%1 %2").arg(m_linkLabel, m_name) : m_name;
    if (column == 1 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        if (m_fullName == "Dummy")
            return QVariant();
        if (m_isDeadEnd)
            return QString(kAlreadyDisplayed);
        return QVariant();
    }
    if ((column == 0 || column == 1) && role == Qt::ForegroundRole)
        return GetForegroundRole();
    switch (role) {
    case Qt::ToolTipRole: return GetToolTip();
    case 257:
    case 288: return m_fullName;
    case 261: return false;
    case 262: return m_visibility;
    case 266: return static_cast<uint>(qHash(m_fullName));
    case 267: return m_isDebugNode;
    case 268: return m_isFullRowItem;
    case 269: return m_isSpecialNode;
    case 270: return ShowMe(GenApi::Guru);
    default: return QVariant();
    }
}

void FeatureTreeItem::setData(int, const QVariant&, int) {}

int FeatureTreeItem::row() const
{
    if (!m_parent)
        return 0;
    return m_parent->m_children.indexOf(const_cast<FeatureTreeItem*>(this));
}

FeatureTreeItem* FeatureTreeItem::parent() const
{
    return m_parent;
}
FeatureTreeItem* FeatureTreeItem::parent()
{
    return m_parent;
}
IFeatureTreeModelExtension* FeatureTreeItem::getExtension() const
{
    return m_extension;
}
IFeatureTreeModelExtension* FeatureTreeItem::getExtension()
{
    return m_extension;
}
// A plain row (a placeholder, the search help) has no node and so nothing to edit.
FeatureTreeItem::EditorType FeatureTreeItem::editorType() const
{
    return EditNone;
}

bool FeatureTreeItem::hasChildren()
{
    if (m_isDeadEnd)
        return false;
    return !m_children.isEmpty();
}

bool FeatureTreeItem::ShowMe(GenApi::EVisibility visibility)
{
    return m_visibility <= visibility;
}
GenApi::EAccessMode FeatureTreeItem::getAccessMode() const
{
    return GenApi::_UndefinedAccesMode;
}
GenApi::EVisibility FeatureTreeItem::getVisibility() const
{
    return static_cast<GenApi::EVisibility>(m_visibility);
}
void FeatureTreeItem::setVisibility(GenApi::EVisibility visibility)
{
    m_visibility = visibility;
}

Qt::ItemFlags FeatureTreeItem::flags(int column)
{
    if (m_fullName == "Dummy")
        return Qt::NoItemFlags;
    if (m_isDeadEnd)
        return Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (column == 0)
        return Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled;
    if (column == 1) {
        if (usePersistentEditor() || isWritable(getAccessMode()))
            return Qt::ItemIsEnabled | Qt::ItemIsEditable;
        return Qt::ItemIsEnabled;
    }
    return Qt::ItemIsEnabled;
}

void FeatureTreeItem::appendChild(FeatureTreeItem* child)
{
    m_children.append(child);
}

void FeatureTreeItem::insertChild(FeatureTreeItem* child, int position)
{
    m_children.insert(position, child);
}

FeatureTreeItem* FeatureTreeItem::child(int row) const
{
    return m_children.value(row, nullptr);
}

FeatureTreeItem* FeatureTreeItem::removeChild(int row)
{
    if (row < 0 || row >= m_children.count())
        return nullptr;
    return m_children.takeAt(row);
}

QString FeatureTreeItem::GetDescription() const
{
    return m_pDescription ? *m_pDescription : QString();
}
bool FeatureTreeItem::HasDescription() const
{
    return m_pDescription && !m_pDescription->isEmpty();
}

void FeatureTreeItem::SetDescription(QString description)
{
    if (!m_pDescription)
        m_pDescription = new QString;
    *m_pDescription = description;
}

QString FeatureTreeItem::GetToolTip() const
{
    return m_pToolTip ? *m_pToolTip : QString();
}

void FeatureTreeItem::SetToolTip(const QString& toolTip)
{
    if (!m_pToolTip)
        m_pToolTip = new QString;
    *m_pToolTip = toolTip;
}

bool FeatureTreeItem::usePersistentEditor() const
{
    const EditorType type = editorType();
    return type != EditInteger && type != EditString && type != EditNone;
}

FeatureTreeItem::EditorType FeatureTreeItem::editorType(const QModelIndex& index)
{
    if (!index.isValid())
        return EditUnknown;
    return editorType(static_cast<const FeatureTreeItem*>(index.internalPointer()));
}

FeatureTreeItem::EditorType FeatureTreeItem::editorType(const FeatureTreeItem* item)
{
    if (!item)
        return EditUnknown;
    return item->m_isDeadEnd ? EditNone : item->editorType();
}

FeatureTreeItem* FeatureTreeItem::findByFullNameShallow(const QString& fullName)
{
    if (m_fullName == fullName)
        return this;
    for (FeatureTreeItem* child : qAsConst(m_children))
        if (FeatureTreeItem* hit = child->findByFullNameShallow(fullName))
            return hit;
    return nullptr;
}

FeatureTreeItem* FeatureTreeItem::findByRoleShallow(int role, const QVariant& value)
{
    if (data(0, role) == value)
        return this;
    for (FeatureTreeItem* child : qAsConst(m_children))
        if (FeatureTreeItem* hit = child->findByRoleShallow(role, value))
            return hit;
    return nullptr;
}

bool FeatureTreeItem::findShallow(const FeatureTreeItem* item) const
{
    if (this == item)
        return true;
    for (const FeatureTreeItem* child : m_children)
        if (child->findShallow(item))
            return true;
    return false;
}

QVariant FeatureTreeItem::greyBrush()
{
    static const QBrush brush = QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    return brush;
}

QVariant FeatureTreeItem::GetForegroundRole()
{
    return greyBrush();
}

// ---------------------------------------------------------------------------------------------------------------
// FeatureTreeINodeItem

FeatureTreeINodeItem::FeatureTreeINodeItem(GenApi::INode* node, const QString& name,
                                           IFeatureTreeModelExtension* extension, bool isDebugNode,
                                           const QString& linkLabel, const QString& fullName, FeatureTreeItem* parent,
                                           bool isDeadEnd, bool isUtf8)
    : FeatureTreeItem(name, extension, isDebugNode, linkLabel, fullName, parent, isDeadEnd), m_node(node),
      m_value(node), m_isUtf8(isUtf8)
{
    init();
    if (!isDeadEnd)
        m_editorType = editorType(node);
}

FeatureTreeINodeItem::FeatureTreeINodeItem(GenApi::INode* node, IFeatureTreeModelExtension* extension, bool isDebugNode,
                                           const QString& linkLabel, const QString& fullName, FeatureTreeItem* parent,
                                           bool isDeadEnd, bool isUtf8)
    : FeatureTreeItem(QString(), extension, isDebugNode, linkLabel, fullName, parent, isDeadEnd), m_node(node),
      m_value(node), m_isUtf8(isUtf8)
{
    if (node)
        m_name = fromNodeText(node->GetDisplayName());
    init();
    if (!isDeadEnd) {
        m_editorType = editorType(node);
        if (node)
            m_callback = GenApi::Register(node, *this, &FeatureTreeINodeItem::onUpdateNode, GenApi::cbPostInsideLock);
    }
}

FeatureTreeINodeItem::~FeatureTreeINodeItem()
{
    if (m_node && m_callback)
        GenApi::Deregister(m_callback);
    clearChildren();
}

void FeatureTreeINodeItem::init()
{
    if (m_isDeadEnd)
        m_childrenLoaded = true;
    if (!m_node)
        return;
    switch (m_node->GetPrincipalInterfaceType()) {
    case GenApi::intfIInteger:
    case GenApi::intfIBoolean:
    case GenApi::intfICommand:
    case GenApi::intfIFloat:
    case GenApi::intfIString:
    case GenApi::intfIRegister:
    case GenApi::intfIEnumeration:
    case GenApi::intfIEnumEntry:
        m_valueChildren = true;
        m_childrenLoaded = false;
        break;
    default: break;
    }
    GenApi::NodeList_t children;
    m_node->GetChildren(children, GenApi::ctReadingChildren);
    if (children.empty())
        m_childrenLoaded = true;
}

QString FeatureTreeINodeItem::fromNodeText(const GenICam::gcstring& text) const
{
    return m_isUtf8 ? QString::fromUtf8(text.c_str()) : QString::fromLatin1(text.c_str());
}

int FeatureTreeINodeItem::childCount()
{
    if (m_node && !m_childrenLoaded) {
        m_childrenLoaded = true;
        if (!m_isDeadEnd && m_extension)
            m_extension->addChildren(this, m_valueChildren);
    }
    return m_children.count();
}

QString FeatureTreeINodeItem::valueText()
{
    return fromNodeText(m_value->ToString(false, false));
}

QVariant FeatureTreeINodeItem::data(int column, int role)
{
    if (column == 0 && role == Qt::DisplayRole) {
        if (m_isDebugNode)
            return QString("%1 %2").arg(m_linkLabel, m_name);
        if (m_node) {
            GenICam::gcstring unit;
            if (GenApi::CFloatPtr f = GenApi::CFloatPtr(m_node.get()))
                unit = f->GetUnit();
            else if (GenApi::CIntegerPtr i = GenApi::CIntegerPtr(m_node.get()))
                unit = i->GetUnit();
            if (!unit.empty())
                return QString("%1 [%2]").arg(m_name, fromNodeText(unit));
        }
        return m_name;
    }
    if ((column == 0 || column == 1) && role == Qt::ForegroundRole)
        return GetForegroundRole();
    if (column == 1 && role == Qt::DisplayRole) {
        if (!m_node)
            return QString();
        if (m_isDebugNode && isCategory(m_node))
            return QString(kAlreadyDisplayed);
        if (!isCategory(m_node) && m_value) {
            const GenApi::EAccessMode mode = m_node->GetAccessMode();
            if (!isImplemented(mode))
                return QString("<not implemented>");
            if (!isAvailable(mode))
                return QString("<not available>");
            if (!isReadable(mode))
                return QString("<not readable>");
            return valueText();
        }
        return QString();
    }
    if (column == 1 && role == Qt::EditRole) {
        if (!m_isDeadEnd && m_node && !isCategory(m_node) && m_value && isReadable(m_node->GetAccessMode()))
            return valueText();
        return QVariant();
    }
    if (column == 0 && m_node) {
        switch (role) {
        case Qt::ToolTipRole: {
            const QString name = QString::fromUtf8(m_node->GetName().c_str());
            const QString toolTip =
                translateFeatureText(QString("%1_Tooltip").arg(name), fromNodeText(m_node->GetToolTip()));
            const bool category = isCategory(m_node);
            // Names are plain text inside rich text; the search highlight marks them, never the markup.
            const auto shown = [&](const QString& text) {
                return m_highlighter && !category ? m_highlighter->highlightPlainText(text) : text.toHtmlEscaped();
            };
            QString heading = name.contains("Root", Qt::CaseInsensitive) || category
                                  ? QString("<nobr><b>%1</b></nobr>").arg(shown(m_name))
                                  : QString("<nobr><b>%1 (%2)</b></nobr>").arg(shown(m_name), shown(name));
            if (!toolTip.isEmpty())
                heading += QString("<br><nobr>%1</nobr>").arg(toolTip);
            return heading;
        }
        case 257: return QString::fromLatin1(m_node->GetName().c_str());
        case 258: return QString::fromLatin1(m_node->GetToolTip().c_str());
        case 259: return QString::fromLatin1(m_node->GetDescription().c_str());
        case 260: return QString::fromLatin1(m_node->GetDocuURL().c_str());
        case 261:
        case 268: return isCategory(m_node);
        case 262: return static_cast<int>(m_node->GetVisibility());
        case 266: return static_cast<qulonglong>(reinterpret_cast<quintptr>(m_node.get()));
        default: break;
        }
    }
    return FeatureTreeItem::data(column, role);
}

void FeatureTreeINodeItem::setData(int column, const QVariant& value, int role)
{
    if (column != 1 || role != Qt::EditRole || !m_value || !isWritable(m_value->GetAccessMode()))
        return;
    const QByteArray nodeName = m_node ? QByteArray(m_node->GetName().c_str()) : QByteArray();
    if (m_editorType == EditFloat || m_editorType == EditFloatSlider) {
        if (value.userType() != QMetaType::Double)
            qWarning("FeatureTreeItem::setData() float editor, but no double in variant()  (node name = %s )",
                     nodeName.constData());
        if (GenApi::CFloatPtr f = GenApi::CFloatPtr(m_node.get())) {
            f->SetValue(value.toDouble(), true);
            return;
        }
        qWarning("Floateditor for node %s, but no GenApi float node??", nodeName.constData());
    }
    const QString text = value.toString();
    m_value->FromString(m_isUtf8 ? text.toUtf8().constData() : text.toLatin1().constData(), true);
}

bool FeatureTreeINodeItem::hasChildren()
{
    if (!m_node || m_isDeadEnd)
        return false;
    if (m_extension && m_extension->getVisibility() == GenApi::Invisible) {
        GenICam::gcstring_vector names;
        m_node->GetPropertyNames(names);
        for (const auto& name : names)
            if (name.size() > 1 && name.c_str()[0] == 'p')
                return true;
        return false;
    }
    return isCategory(m_node);
}

bool FeatureTreeINodeItem::ShowMe(GenApi::EVisibility visibility)
{
    try {
        if (visibility == GenApi::Invisible)
            return true;
        if (getAccessMode() == GenApi::NI || m_isDebugNode)
            return false;
        return getVisibility() <= visibility;
    } catch (...) {
        qWarning("Exception fired when trying to determine whether item is visible");
        warnCurrentException("FeatureTreeINodeItem::ShowMe");
    }
    return false;
}

GenApi::EAccessMode FeatureTreeINodeItem::getAccessMode() const
{
    return m_node ? m_node->GetAccessMode() : GenApi::_UndefinedAccesMode;
}

GenApi::EVisibility FeatureTreeINodeItem::getVisibility() const
{
    return m_node ? m_node->GetVisibility() : GenApi::_UndefinedVisibility;
}

Qt::ItemFlags FeatureTreeINodeItem::flags(int column)
{
    Qt::ItemFlags result = FeatureTreeItem::flags(column);
    if (!m_node)
        return Qt::NoItemFlags;
    const GenApi::EAccessMode mode = m_node->GetAccessMode();
    const bool category = isCategory(m_node);
    const bool writable = isWritable(mode) && !m_isDeadEnd;
    if (writable || category) {
        if (column == 0)
            result |= Qt::ItemIsEnabled;
        if (column == 1 && writable)
            result |= Qt::ItemIsEnabled | Qt::ItemIsEditable;
    }
    if (isReadable(mode)) {
        if (column == 0) {
            if (category)
                result &= ~Qt::ItemIsDragEnabled;
            else
                result |= Qt::ItemIsDragEnabled;
        }
        if (m_isDebugNode && category)
            result &= Qt::ItemIsEditable;
        if (!(isImplemented(mode) && isAvailable(mode) && isReadable(mode)))
            result &= ~(Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
    }
    return result;
}

QVariant FeatureTreeINodeItem::GetForegroundRole()
{
    if (!m_node)
        return m_isDebugNode ? greyBrush() : QVariant();
    if (!m_isDeadEnd && m_editorType != EditNone && m_editorType != EditUnknown && isWritable(m_node->GetAccessMode()))
        return m_isDebugNode ? greyBrush() : QVariant();
    if (!isCategory(m_node))
        return greyBrush();
    return m_isDebugNode ? greyBrush() : QVariant();
}

bool FeatureTreeINodeItem::isEditable() const
{
    return m_node && !m_isDeadEnd && m_editorType != EditNone && m_editorType != EditUnknown &&
           isWritable(m_node->GetAccessMode());
}

FeatureTreeItem::EditorType FeatureTreeINodeItem::editorType(const GenApi::INode* constNode)
{
    if (!constNode)
        return EditUnknown;
    GenApi::INode* node = const_cast<GenApi::INode*>(constNode);
    try {
        if (GenApi::CIntegerPtr i = GenApi::CIntegerPtr(node)) {
            const GenApi::ERepresentation r = i->GetRepresentation();
            return r == GenApi::Linear || r == GenApi::Logarithmic ? EditIntegerSlider : EditInteger;
        }
        if (GenApi::CFloatPtr f = GenApi::CFloatPtr(node)) {
            const GenApi::ERepresentation r = f->GetRepresentation();
            return r == GenApi::Linear || r == GenApi::Logarithmic ? EditFloatSlider : EditFloat;
        }
        if (GenApi::CEnumerationPtr(node))
            return EditEnumeration;
        if (GenApi::CCommandPtr(node))
            return EditCommand;
        if (GenApi::CBooleanPtr(node))
            return EditBoolean;
        if (GenApi::CStringPtr(node))
            return EditString;
        return EditNone;
    } catch (...) {
        qWarning("Error getting editor type for node: '%s'", node->GetName().c_str());
        warnCurrentException("FeatureTreeINodeItem::editorType");
    }
    return EditUnknown;
}

FeatureTreeItem::EditorType FeatureTreeINodeItem::editorType(const FeatureTreeINodeItem* item)
{
    if (!item)
        return EditUnknown;
    if (item->m_isDeadEnd)
        return EditNone;
    return editorType(item->m_node.get());
}

void FeatureTreeINodeItem::onUpdateNode(GenApi::INode* changed)
{
    if (changed != m_node.get() || !m_extension || !m_extension->getGenICamCallbackEnable() || m_adjusting)
        return;
    bool written = false;
    try {
        if (isWritable(m_node->GetAccessMode())) {
            if (GenApi::CIntegerPtr i = GenApi::CIntegerPtr(m_node.get())) {
                const int64_t value = i->GetValue();
                if (value < i->GetMin()) {
                    m_adjusting = true;
                    i->SetValue(i->GetMin(), true);
                    written = true;
                } else if (value > i->GetMax()) {
                    m_adjusting = true;
                    i->SetValue(i->GetMax(), true);
                    written = true;
                }
            } else if (GenApi::CFloatPtr f = GenApi::CFloatPtr(m_node.get())) {
                const double value = f->GetValue();
                if (value < f->GetMin()) {
                    m_adjusting = true;
                    f->SetValue(f->GetMin(), true);
                    written = true;
                } else if (value > f->GetMax()) {
                    m_adjusting = true;
                    f->SetValue(f->GetMax(), true);
                    written = true;
                }
            }
        }
    } catch (...) {
        qWarning("Failed to adjust a node: %s", m_node->GetName().c_str());
        warnCurrentException("FeatureTreeINodeItem::onUpdateNode");
    }
    // The row is looked up where the parent's child list lives: the model finds it again on the GUI
    // thread, so a callback from any other thread reports none.
    if (!written)
        emit nodeUpdated(QThread::currentThread() == thread() ? row() : -1, this);
    m_adjusting = false;
}

// ---------------------------------------------------------------------------------------------------------------
// FeatureTreeFavoritesItem

FeatureTreeFavoritesItem::FeatureTreeFavoritesItem(const QString& name, IFeatureTreeModelExtension* extension,
                                                   const QString& linkLabel, FeatureTreeItem* parent)
    : FeatureTreeItem(name, extension, false, linkLabel, "FavoritesTopLevel", parent, false)
{
}

QVariant FeatureTreeFavoritesItem::data(int column, int role)
{
    if (column == 0 && role == GenicamCategory)
        return true;
    return FeatureTreeItem::data(column, role);
}

Qt::ItemFlags FeatureTreeFavoritesItem::flags(int column)
{
    Qt::ItemFlags result = FeatureTreeItem::flags(column) | Qt::ItemIsEnabled;
    if (column == 0)
        result |= Qt::ItemIsDropEnabled;
    return result;
}
