// The feature tree model: the tree over the node maps, lazy children, polling and drag and drop.
#include "orbelt/FeatureTreeModel.h"

#include "orbelt/Helpers.h"

#include <QDataStream>
#include <QMap>
#include <QMimeData>
#include <QPair>

#include <algorithm>
#include <functional>

namespace {
const char* kDragFormat = "application/x-fti";

bool isReadable(GenApi::EAccessMode mode)
{
    return mode == GenApi::RO || mode == GenApi::RW;
}
bool isWritable(GenApi::EAccessMode mode)
{
    return mode == GenApi::WO || mode == GenApi::RW;
}
} // namespace

FavoritesData FeatureTreeModel::m_favorites;

IFeatureTreeModelExtension::IFeatureTreeModelExtension() = default;
IFeatureTreeModelExtension::IFeatureTreeModelExtension(const IFeatureTreeModelExtension&) = default;
IFeatureTreeModelExtension& IFeatureTreeModelExtension::operator=(const IFeatureTreeModelExtension&) = default;
IFeatureTreeModelExtension::~IFeatureTreeModelExtension() = default;

FeatureTreeModel::FeatureTreeModel(QObject* parent)
    : QAbstractItemModel(parent),
      m_rootItem(new FeatureTreeItem(QString(), this, false, "MasterRoot", QString(), nullptr, false))
{
    // Node debugging shows every link of a node instead of the categories' features.
    m_nodeDebug = isNodeDebugModeEnabled();
    m_pollTimer.setSingleShot(true);
    connect(&m_pollTimer, &QTimer::timeout, this, &FeatureTreeModel::onTimerPoll);
}

FeatureTreeModel::~FeatureTreeModel()
{
    if (m_pollingEnabled)
        m_pollTimer.stop();
    delete m_rootItem;
    forgetNodeMaps();
    m_favorites.save(m_favorites.name());
}

// ---------------------------------------------------------------------------------------------------------------
// Qt model

QModelIndex FeatureTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    FeatureTreeItem* parentItem = parent.isValid() ? getFeatureTreeItem(parent) : m_rootItem;
    if (!parentItem || column < 0 || column >= 2)
        return QModelIndex();
    if (FeatureTreeItem* child = parentItem->child(row))
        return createIndex(row, column, child);
    return QModelIndex();
}

QModelIndex FeatureTreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return QModelIndex();
    FeatureTreeItem* item = getFeatureTreeItem(index);
    FeatureTreeItem* parentItem = item ? item->parent() : nullptr;
    if (!parentItem || parentItem == m_rootItem)
        return QModelIndex();
    return createIndex(parentItem->row(), 0, parentItem);
}

int FeatureTreeModel::rowCount(const QModelIndex& parent) const
{
    FeatureTreeItem* item = parent.isValid() ? getFeatureTreeItem(parent) : m_rootItem;
    if (!item)
        return 0;
    // Asking for the count creates the children on first use. Nobody has seen those rows yet, and a model must
    // not announce changes while it answers a query (a filter proxy would lose a mapping), so they come silently.
    const bool wasCounting = m_counting;
    m_counting = true;
    struct Restore {
        bool& flag;
        bool value;
        ~Restore() { flag = value; }
    } restore{m_counting, wasCounting};
    try {
        return item->childCount();
    } catch (const std::exception&) {
        qWarning("Failed to create the children of a feature");
        warnCurrentException("FeatureTreeModel::rowCount");
    }
    return 0;
}

int FeatureTreeModel::columnCount(const QModelIndex&) const
{
    return 2;
}

bool FeatureTreeModel::hasChildren(const QModelIndex& parent) const
{
    FeatureTreeItem* item = parent.isValid() ? getFeatureTreeItem(parent) : m_rootItem;
    if (!item || item == m_rootItem)
        return true;
    try {
        return item->hasChildren();
    } catch (const std::exception&) {
        warnCurrentException("FeatureTreeModel::hasChildren");
    }
    return false;
}

QVariant FeatureTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    FeatureTreeItem* item = getFeatureTreeItem(index);
    if (!item)
        return QVariant();
    // A node that fails while painting must not take the view down with it.
    try {
        return item->data(index.column(), role);
    } catch (const std::exception&) {
        qWarning("Failed to read a feature's data");
        warnCurrentException("FeatureTreeModel::data");
    }
    return QVariant();
}

bool FeatureTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != 1 || role != Qt::EditRole || !value.isValid() || !m_deviceAlive)
        return false;
    FeatureTreeItem* item = getFeatureTreeItem(index);
    if (!item)
        return false;
    try {
        // A feature the camera locked while the user typed takes nothing.
        if (isWritable(item->getAccessMode())) {
            if (item->data(1, Qt::EditRole) != value)
                item->setData(1, value, Qt::EditRole);
            return true;
        }
    } catch (const std::exception&) {
        qWarning("Failed to write a feature's value");
        warnCurrentException("FeatureTreeModel::setData");
    }
    // Nothing was written, so no node callback follows: the editor is told to show the camera's value and
    // access again instead of the value the user typed.
    emit dataChanged(index, index, {});
    return false;
}

QVariant FeatureTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section == 0)
            return tr("Feature");
        if (section == 1)
            return tr("Value");
    }
    return QVariant();
}

QMimeData* FeatureTreeModel::mimeData(const QModelIndexList& indexes) const
{
    QMimeData* mime = QAbstractItemModel::mimeData(indexes);
    if (!mime)
        mime = new QMimeData;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    // Each row by its address and its full name: the drop trusts the address only while the row there
    // still bears the name, and finds the row again by the name otherwise.
    for (const QModelIndex& index : indexes)
        if (FeatureTreeItem* item = index.isValid() ? getFeatureTreeItem(index) : nullptr)
            stream << static_cast<quint64>(reinterpret_cast<quintptr>(item)) << item->getFullName();
    mime->setData(kDragFormat, bytes);
    return mime;
}

bool FeatureTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int, const QModelIndex&)
{
    if (action == Qt::IgnoreAction)
        return true;
    if (!data || !data->hasFormat(kDragFormat))
        return false;
    // A drop onto the Favorites row itself comes without a row: the dropped items go to the end of the list.
    if (row == -1)
        row = m_favorites.count();
    row = qBound(0, row, m_favorites.count());
    QList<QPair<quint64, QString>> dragged;
    QDataStream stream(data->data(kDragFormat));
    while (!stream.atEnd() && stream.status() == QDataStream::Ok) {
        quint64 value = 0;
        QString fullName;
        stream >> value >> fullName;
        if (stream.status() == QDataStream::Ok)
            dragged.append({value, fullName});
    }
    // What each dragged row brings, in the dragged order: a favourite that moves, or a node to add.
    struct Dropped {
        int favorite = -1;
        GenApi::INode* node = nullptr;
    };
    QList<Dropped> dropped;
    for (const QPair<quint64, QString>& entry : qAsConst(dragged)) {
        // The address comes from this process, but the device may have changed while the drag ran (or
        // the drag began in another feature tree): a row is taken at that address only when it is still
        // in this tree and bears the dragged name, and otherwise the row of that name is taken.
        auto* item = reinterpret_cast<FeatureTreeItem*>(static_cast<quintptr>(entry.first));
        const QString& fullName = entry.second;
        if (!m_rootItem->findShallow(item) || item->getFullName() != fullName)
            item = fullName.isEmpty() ? nullptr : m_rootItem->findByFullNameShallow(fullName);
        if (!item)
            continue;
        Dropped d;
        if (IsFavoriteTreeItem(item))
            d.favorite = getFavoritesIndexFromFeatureTreeItem(item);
        else if (CanAddAsFavorite(indexForItem(item, 0)))
            // More can be dragged than may be a favourite (a category, a register): only these are added.
            d.node = qobject_cast<FeatureTreeINodeItem*>(item)->node();
        if (d.favorite >= 0 || d.node)
            dropped.append(d);
    }
    // The moving favourites leave the list first, the target shifting up by those that stood above it;
    // then everything goes in as one block in the dragged order.
    QList<int> taken;
    for (const Dropped& d : qAsConst(dropped))
        if (d.favorite >= 0 && !taken.contains(d.favorite))
            taken.append(d.favorite);
    QList<int> descending = taken;
    std::sort(descending.begin(), descending.end(), std::greater<int>());
    QMap<int, FavoriteEntry> entries;
    m_favorites.blockUpdates(true);
    for (int index : qAsConst(descending)) {
        FavoriteEntry entry;
        if (m_favorites.takeAt(index, &entry)) {
            entries.insert(index, entry);
            if (index < row)
                --row;
        }
    }
    for (const Dropped& d : qAsConst(dropped)) {
        bool inserted = false;
        if (d.favorite >= 0) {
            if (entries.contains(d.favorite))
                inserted = m_favorites.insert(row, entries.take(d.favorite));
        } else {
            inserted = AddFavorite(d.node, row);
        }
        if (inserted)
            ++row;
    }
    m_favorites.blockUpdates(false);
    return true;
}

Qt::DropActions FeatureTreeModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

Qt::ItemFlags FeatureTreeModel::flags(const QModelIndex& index) const
{
    FeatureTreeItem* item = index.isValid() ? getFeatureTreeItem(index) : nullptr;
    if (!item)
        return Qt::ItemIsEnabled;
    try {
        return item->flags(index.column());
    } catch (const std::exception&) {
        warnCurrentException("FeatureTreeModel::flags");
    }
    return Qt::ItemIsEnabled;
}

// ---------------------------------------------------------------------------------------------------------------
// Tree operations

FeatureTreeItem* FeatureTreeModel::getFeatureTreeItem(const QModelIndex& index) const
{
    return static_cast<FeatureTreeItem*>(index.internalPointer());
}

QModelIndex FeatureTreeModel::indexForItem(FeatureTreeItem* item, int column)
{
    if (!item || item == m_rootItem)
        return QModelIndex();
    return createIndex(item->row(), column, item);
}

QModelIndex FeatureTreeModel::findItem(const FeatureTreeItem* item, const FeatureTreeItem* start, int column)
{
    const FeatureTreeItem* from = start ? start : m_rootItem;
    if (!item || !from->findShallow(item))
        return QModelIndex();
    return indexForItem(const_cast<FeatureTreeItem*>(item), column);
}

QModelIndex FeatureTreeModel::findItemByFullName(const QString& fullName, FeatureTreeItem* start, int column)
{
    FeatureTreeItem* from = start ? start : m_rootItem;
    return indexForItem(from->findByFullNameShallow(fullName), column);
}

QModelIndex FeatureTreeModel::findItemByRole(int role, const QVariant& value, FeatureTreeItem* start, int column)
{
    FeatureTreeItem* from = start ? start : m_rootItem;
    return indexForItem(from->findByRoleShallow(role, value), column);
}

QString FeatureTreeModel::fullNameFor(const QString& roleName, const GenApi::INode* node)
{
    return roleName + "*" + QString::fromLatin1(node->GetName().c_str());
}

FeatureTreeINodeItem* FeatureTreeModel::createNodeRow(GenApi::INode* node, const QString& linkLabel,
                                                      const QString& fullName, FeatureTreeItem* parent, bool isDebug,
                                                      bool isDeadEnd)
{
    auto* item = new FeatureTreeINodeItem(node, this, isDebug, linkLabel, fullName, parent, isDeadEnd, m_isUtf8);
    item->setHighlighter(m_highlighter);
    item->SetIsFullRowItem(false);
    item->SetIsSpecialNode(false);
    connect(item, &FeatureTreeINodeItem::nodeUpdated, this, &FeatureTreeModel::onNodeUpdated);
    return item;
}

void FeatureTreeModel::addNodeMap(GenApi::INodeMap* nodeMap, const QString& rootName, const QString& roleName,
                                  bool isUtf8)
{
    if (!nodeMap)
        return;
    m_isUtf8 = isUtf8;
    GenApi::INode* rootNode = nodeMap->GetNode("Root");
    auto* item =
        new FeatureTreeINodeItem(rootNode, rootName, this, false, "Root", roleName + "*Root", m_rootItem, false, false);
    item->setHighlighter(m_highlighter);
    item->SetIsFullRowItem(true);
    item->SetIsSpecialNode(false);
    connect(item, &FeatureTreeINodeItem::nodeUpdated, this, &FeatureTreeModel::onNodeUpdated);

    // Announced as an insertion rather than a layout change, which filter proxies handle correctly.
    const int row = m_rootItem->childCount();
    beginInsertRows(QModelIndex(), row, row);
    m_rootItem->appendChild(item);
    endInsertRows();

    // Known before any row below is built (the favourites refresh builds three levels), so that every row
    // gets the role name in its full name.
    auto guard = std::make_shared<std::atomic<GenApi::INodeMap*>>(nodeMap);
    const GenApi::CallbackHandleType handle =
        GenApi::RegisterDestructionCallback(nodeMap, [guard] { guard->store(nullptr); });
    m_nodeMaps.append({roleName, guard, handle});
    replaceFavoritesZombies(nodeMap, roleName);
    rowCount(indexForItem(item, 0));
    nodeMap->InvalidateNodes();
    refreshSpecialItems();
}

void FeatureTreeModel::addChildren(FeatureTreeINodeItem* item, bool valueChildren)
{
    if (!item || !item->node())
        return;
    GenApi::INode* node = item->node();
    const QString roleName = GetNodeMapName(node->GetNodeMap());
    QList<FeatureTreeINodeItem*> created;
    if (!m_nodeDebug) {
        GenApi::CCategoryPtr category(node);
        if (!category || !isReadable(node->GetAccessMode()))
            return;
        GenApi::FeatureList_t features;
        category->GetFeatures(features);
        for (GenApi::IValue* feature : features) {
            GenApi::INode* child = feature ? feature->GetNode() : nullptr;
            if (!child || !child->IsFeature())
                continue;
            created.append(createNodeRow(child, "<pFeature>", fullNameFor(roleName, child), item, false, false));
        }
    } else {
        GenApi::INodeMap* nodeMap = node->GetNodeMap();
        GenICam::gcstring_vector properties;
        node->GetPropertyNames(properties);
        for (const GenICam::gcstring& property : properties) {
            if (property.empty() || property.c_str()[0] != 'p')
                continue;
            GenICam::gcstring valueText, attributeText;
            if (!node->GetProperty(property, valueText, attributeText))
                continue;
            const QString name = QString::fromLatin1(property.c_str());
            const QStringList values = QString::fromLatin1(valueText.c_str()).split('\t', Qt::SkipEmptyParts);
            const QStringList attributes = QString::fromLatin1(attributeText.c_str()).split('\t', Qt::SkipEmptyParts);
            const bool deadEnd = valueChildren || name == "pDependent" || name == "pTerminal" || name == "pSelecting";
            for (int i = 0; i < values.count(); ++i) {
                // A link may name a node the map does not hold; such a link is left out.
                GenApi::INode* target = nodeMap ? nodeMap->GetNode(values[i].toLatin1().constData()) : nullptr;
                if (!target)
                    continue;
                const QString label =
                    i < attributes.count() ? QString("<%1 [%2]>").arg(name, attributes[i]) : QString("<%1>").arg(name);
                created.append(
                    createNodeRow(target, label, fullNameFor(roleName, target), item, name != "pFeature", deadEnd));
            }
        }
    }
    if (created.isEmpty())
        return;
    if (m_counting) {
        for (FeatureTreeINodeItem* child : qAsConst(created))
            item->appendChild(child);
        return;
    }
    beginInsertRows(indexForItem(item, 0), 0, created.count() - 1);
    for (FeatureTreeINodeItem* child : qAsConst(created))
        item->appendChild(child);
    endInsertRows();
}

void FeatureTreeModel::refresh()
{
    for (const NodeMapEntry& entry : qAsConst(m_nodeMaps))
        if (GenApi::INodeMap* nodeMap = entry.nodeMap->load())
            nodeMap->InvalidateNodes();
}

void FeatureTreeModel::EnablePolling(bool on)
{
    const bool wasOn = m_pollingEnabled;
    m_pollingEnabled = on;
    if (on && !wasOn)
        m_pollTimer.start(m_pollingInterval);
}

void FeatureTreeModel::onTimerPoll()
{
    if (!m_deviceAlive)
        return;
    for (const NodeMapEntry& entry : qAsConst(m_nodeMaps)) {
        GenApi::INodeMap* nodeMap = entry.nodeMap->load();
        if (!nodeMap)
            continue;
        try {
            if (m_monitorMode)
                nodeMap->InvalidateNodes();
            else
                nodeMap->Poll(m_pollingInterval);
        } catch (const std::exception&) {
            qWarning("Failed to poll a node map");
            warnCurrentException("FeatureTreeModel::onTimerPoll");
        }
    }
    if (m_pollingEnabled)
        m_pollTimer.start(m_pollingInterval);
}

void FeatureTreeModel::onNodeUpdated(int row, FeatureTreeINodeItem* item)
{
    // The item may have gone while the notice was queued; only items still in the tree are reported.
    if (!m_deviceAlive || !item || !m_rootItem->findShallow(item))
        return;
    row = item->row();
    const QModelIndex first = createIndex(row, 0, item);
    const QModelIndex second = createIndex(row, 1, item);
    emit dataChanged(first, first, {});
    emit dataChanged(second, second, {});
}

void FeatureTreeModel::refreshSpecialItems()
{
    const int top = m_rootItem->childCount();
    for (int i = 0; i < top; ++i) {
        FeatureTreeItem* level1 = m_rootItem->child(i);
        QList<FeatureTreeItem*> items{level1};
        const int n1 = rowCount(indexForItem(level1, 0));
        for (int j = 0; j < n1; ++j) {
            FeatureTreeItem* level2 = level1->child(j);
            items.append(level2);
            const int n2 = rowCount(indexForItem(level2, 0));
            for (int k = 0; k < n2; ++k)
                items.append(level2->child(k));
        }
        for (FeatureTreeItem* item : qAsConst(items)) {
            if (!item)
                continue;
            const QModelIndex index = indexForItem(item, 0);
            if (data(index, FeatureTreeItem::IsFullRowItem).toBool())
                emit dataChanged(index, index);
        }
    }
}

void FeatureTreeModel::clear()
{
    // The node maps' rows go, without a model reset, as the view keeps its own state. The search-help
    // row and the favourites branch stay for the next node map.
    const auto special = [this](int row) {
        const FeatureTreeItem* child = m_rootItem->child(row);
        return child == m_favoritesRoot || child == m_searchHelpItem;
    };
    for (int last = m_rootItem->childCount() - 1; last >= 0; --last) {
        if (special(last))
            continue;
        int first = last;
        while (first > 0 && !special(first - 1))
            --first;
        beginRemoveRows(QModelIndex(), first, last);
        for (int row = last; row >= first; --row)
            delete m_rootItem->removeChild(row);
        endRemoveRows();
        last = first;
    }
    // Without their rows the node maps are not polled any more: they may be gone soon.
    forgetNodeMaps();
    // The search results it counted went with those rows; the next search counts the next node map's.
    if (m_searchHelpItem) {
        resetSearchHelpItem();
        const QModelIndex help = indexForItem(m_searchHelpItem, 0);
        emit dataChanged(help, help);
    }
    // The live favourites hold nodes of those node maps: they become placeholders again.
    if (m_favoritesRoot) {
        rebuildFavoriteItems();
        updateFavoritesToolTip();
    }
}

void FeatureTreeModel::forgetNodeMaps()
{
    for (const NodeMapEntry& entry : qAsConst(m_nodeMaps))
        if (entry.destructionHandle)
            GenApi::DeregisterDestructionCallback(entry.destructionHandle);
    m_nodeMaps.clear();
}

QString FeatureTreeModel::GetNodeMapName(GenApi::INodeMap* nodeMap) const
{
    for (const NodeMapEntry& entry : m_nodeMaps)
        if (nodeMap && entry.nodeMap->load() == nodeMap)
            return entry.roleName;
    return QString();
}
