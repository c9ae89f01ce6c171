// The feature tree model's favourites: the favourites root, placeholder and live rows, adding, moving, removing.
#include "orbelt/FeatureTreeModel.h"

#include <QStringList>

namespace {
// Node-map name and node name of a tree row ("role*node") or a favourites row ("Fav*role*node").
bool splitFullName(const QString& fullName, QString& nodeMapName, QString& nodeName)
{
    const QStringList parts = fullName.split('*');
    if (parts.size() < 2)
        return false;
    if (parts.size() > 2 && parts[0] == "Fav") {
        nodeMapName = parts[1];
        nodeName = parts[2];
    } else {
        nodeMapName = parts[0];
        nodeName = parts[1];
    }
    return true;
}
} // namespace

bool FeatureTreeModel::IsFavoriteTreeItem(const FeatureTreeItem* item) const
{
    return item && m_favoritesRoot && item->parent() == m_favoritesRoot;
}

bool FeatureTreeModel::IsFavoriteTreeRoot(const FeatureTreeItem* item) const
{
    return item && item == m_favoritesRoot;
}

QModelIndex FeatureTreeModel::GetFavoritesRootIndex()
{
    return indexForItem(m_favoritesRoot, 0);
}

void FeatureTreeModel::CreateFavoritesRoot()
{
    if (!m_favoritesRoot) {
        // Announced as an insertion, not a layout change: a filter proxy keeps its mappings right only then.
        beginInsertRows(QModelIndex(), 0, 0);
        m_favoritesRoot = new FeatureTreeFavoritesItem(tr("Favorites"), this, "Favorites", m_rootItem);
        m_rootItem->insertChild(m_favoritesRoot, 0);
        m_favoritesRoot->SetDescription(
            tr("<h3>Favorites</h3><b>This node contains a list of features selected by the user</b><br><br>To add a "
               "feature, right-click the feature and choose 'Add to Favorites' from the context menu. You can also use "
               "drag and drop to add features to your favorites.<br>Favorites can be moved up and down within the list "
               "as well as removed from the list by right-clicking an item and choosing the appropriate option from "
               "the context menu."));
        m_favoritesRoot->setVisibility(GenApi::Beginner);
        m_favoritesRoot->SetIsFullRowItem(true);
        m_favoritesRoot->SetIsSpecialNode(true);
        endInsertRows();
        const QModelIndex root = indexForItem(m_favoritesRoot, 0);
        emit dataChanged(root, root);
    }
    if (!m_searchHelpItem) {
        beginInsertRows(QModelIndex(), 0, 0);
        m_searchHelpItem = new FeatureTreeItem(QString(), this, false, "Search", "Search", m_rootItem, false);
        resetSearchHelpItem();
        m_searchHelpItem->SetIsFullRowItem(true);
        m_searchHelpItem->SetIsSpecialNode(true);
        m_rootItem->insertChild(m_searchHelpItem, 0);
        endInsertRows();
        const QModelIndex help = indexForItem(m_searchHelpItem, 0);
        emit dataChanged(help, help);
    }
}

void FeatureTreeModel::resetSearchHelpItem()
{
    m_searchHelpItem->setName("<HTML><B>X search results found (Y of them visible at higher user level)</B>");
    m_searchHelpItem->SetToolTip(QString());
    m_searchHelpItem->setVisibility(GenApi::Invisible);
}

FeatureTreeItem* FeatureTreeModel::createPlaceholder(const FavoriteEntry& entry)
{
    auto* item = new FeatureTreeItem(entry.displayName, this, false, "NAFav",
                                     "Fav*" + entry.nodeMapName + "*" + QString::fromLatin1(entry.name.c_str()),
                                     m_favoritesRoot, false);
    item->setVisibility(m_favorites.viewAll() ? GenApi::Beginner : GenApi::Invisible);
    return item;
}

void FeatureTreeModel::rebuildFavoriteItems()
{
    CreateFavoritesRoot();
    const QModelIndex rootIndex = indexForItem(m_favoritesRoot, 0);
    const int existing = m_favoritesRoot->childCount();
    if (existing > 0) {
        beginRemoveRows(rootIndex, 0, existing - 1);
        m_favoritesRoot->clearChildren();
        endRemoveRows();
    }
    QList<FeatureTreeItem*> placeholders;
    for (int i = 0; i < m_favorites.count(); ++i)
        if (!m_favorites.at(i)->name.empty())
            placeholders.append(createPlaceholder(*m_favorites.at(i)));
    if (placeholders.isEmpty()) {
        auto* dummy = new FeatureTreeItem(tr("Add favorites by right-clicking a feature below."), this, false, "Dummy",
                                          "Dummy", m_favoritesRoot, true);
        dummy->SetDescription("To add a feature, right-click the feature and choose 'Add to Favorites' from the "
                              "context menu. You can also use drag and drop to add features to your favorites.");
        dummy->setVisibility(GenApi::Beginner);
        dummy->SetIsFullRowItem(true);
        dummy->SetIsSpecialNode(true);
        beginInsertRows(rootIndex, 0, 0);
        m_favoritesRoot->appendChild(dummy);
        endInsertRows();
        const QModelIndex index = indexForItem(dummy, 0);
        emit dataChanged(index, index);
    } else {
        beginInsertRows(rootIndex, 0, placeholders.count() - 1);
        for (FeatureTreeItem* item : qAsConst(placeholders))
            m_favoritesRoot->appendChild(item);
        endInsertRows();
    }
    for (const NodeMapEntry& entry : qAsConst(m_nodeMaps))
        if (GenApi::INodeMap* nodeMap = entry.nodeMap->load())
            if (!entry.roleName.isEmpty())
                replaceFavoritesZombies(nodeMap, entry.roleName);
    refreshSpecialItems();
}

void FeatureTreeModel::replaceFavoritesZombies(GenApi::INodeMap* nodeMap, const QString& roleName)
{
    if (!nodeMap || !m_favoritesRoot)
        return;
    const QModelIndex rootIndex = indexForItem(m_favoritesRoot, 0);
    for (int i = 0; i < m_favorites.count(); ++i) {
        const FavoriteEntry* entry = m_favorites.at(i);
        if (entry->nodeMapName != roleName)
            continue;
        GenApi::INode* node = nodeMap->GetNode(entry->name);
        FeatureTreeItem* current = m_favoritesRoot->child(i);
        // Rows stand for the entries by position; a row missing here means the list is ahead of the rows.
        if (!node || !current)
            continue;
        if (qobject_cast<FeatureTreeINodeItem*>(current)) {
            current->SetIsFullRowItem(false);
            current->SetIsSpecialNode(false);
            continue;
        }
        const QString fullName = current->getFullName();
        beginRemoveRows(rootIndex, i, i);
        delete m_favoritesRoot->removeChild(i);
        endRemoveRows();
        auto* live =
            new FeatureTreeINodeItem(node, this, false, "pFeature", fullName, m_favoritesRoot, false, m_isUtf8);
        live->setHighlighter(m_highlighter);
        live->SetIsSpecialNode(false);
        live->SetIsFullRowItem(false);
        beginInsertRows(rootIndex, i, i);
        m_favoritesRoot->insertChild(live, i);
        endInsertRows();
        const QModelIndex first = index(0, 0, rootIndex);
        emit dataChanged(first, first);
        connect(live, &FeatureTreeINodeItem::nodeUpdated, this, &FeatureTreeModel::onNodeUpdated);
    }
    updateFavoritesToolTip();
    refreshSpecialItems();
}

void FeatureTreeModel::updateFavoritesToolTip()
{
    int unavailable = 0;
    for (int i = 0; i < m_favoritesRoot->childCount(); ++i) {
        FeatureTreeItem* child = m_favoritesRoot->child(i);
        if (!qobject_cast<FeatureTreeINodeItem*>(child) && child->getFullName() != "Dummy")
            ++unavailable;
    }
    const int n = m_favorites.count();
    if (unavailable == 0 && n >= 1)
        m_favoritesRoot->SetToolTip(QString("%1 Favorite%2").arg(n).arg(n > 1 ? "s" : ""));
    else if (unavailable >= 1)
        m_favoritesRoot->SetToolTip(QString("%1 Favorite%3 (%2 %4 unavailable for the current camera)")
                                        .arg(n)
                                        .arg(unavailable)
                                        .arg(n > 1 ? "s" : "", unavailable > 1 ? "are" : "is"));
}

int FeatureTreeModel::getFavoritesIndexFromFeatureTreeItem(const FeatureTreeItem* item) const
{
    if (!item)
        return -1;
    QString nodeMapName, nodeName;
    if (!splitFullName(item->getFullName(), nodeMapName, nodeName))
        return -1;
    return m_favorites.indexOf({nodeName.toLatin1().constData(), QString(), nodeMapName});
}

int FeatureTreeModel::getFavoritesIndexFromModelIndex(QModelIndex index) const
{
    if (!index.isValid())
        return -1;
    return getFavoritesIndexFromFeatureTreeItem(getFeatureTreeItem(index));
}

bool FeatureTreeModel::CanAddAsFavorite(QModelIndex index) const
{
    if (!index.isValid())
        return false;
    auto* item = qobject_cast<FeatureTreeINodeItem*>(getFeatureTreeItem(index));
    if (!item || item->isDeadEnd() || item->isDebugNode() || !item->node())
        return false;
    switch (item->node()->GetPrincipalInterfaceType()) {
    case GenApi::intfIValue:
    case GenApi::intfIBase:
    case GenApi::intfIRegister:
    case GenApi::intfICategory:
    case GenApi::intfIEnumEntry:
    case GenApi::intfIPort: return false;
    default: break;
    }
    return getFavoritesIndexFromFeatureTreeItem(item) < 0;
}

bool FeatureTreeModel::AddFavorite(GenApi::INode* node, int position)
{
    if (!node || !node->GetNodeMap() || position < 0)
        return false;
    const QString nodeMapName = QString::fromLocal8Bit(GetNodeMapName(node->GetNodeMap()).toLocal8Bit().constData());
    const FavoriteEntry entry{node->GetName(), QString::fromLatin1(node->GetDisplayName().c_str()), nodeMapName};
    if (position < m_favorites.count())
        return m_favorites.insert(position, entry);
    return m_favorites.append(entry);
}

bool FeatureTreeModel::RemoveFavorite(QModelIndex index)
{
    const int i = getFavoritesIndexFromModelIndex(index);
    if (i < 0 || !IsFavoriteTreeItem(getFeatureTreeItem(index)))
        return false;
    return m_favorites.removeAt(i);
}

bool FeatureTreeModel::CanMoveFavorite(QModelIndex index, bool up) const
{
    if (!index.isValid() || !IsFavoriteTreeItem(getFeatureTreeItem(index)))
        return false;
    const int i = getFavoritesIndexFromModelIndex(index);
    if (i < 0)
        return false;
    return up ? i > 0 : i < m_favorites.count() - 1;
}

bool FeatureTreeModel::MoveFavorite(QModelIndex index, bool up)
{
    if (!index.isValid() || !IsFavoriteTreeItem(getFeatureTreeItem(index)))
        return false;
    const int i = getFavoritesIndexFromModelIndex(index);
    if (i < 0)
        return false;
    m_favorites.move(i, up ? i - 1 : i + 2);
    return true;
}
