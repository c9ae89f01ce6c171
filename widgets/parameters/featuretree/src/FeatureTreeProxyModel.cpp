// The feature tree's filter proxy: level and search filtering, match counting, forwarding to the source.
#include "orbelt/FeatureTreeProxyModel.h"

#include "orbelt/FeatureTreeItem.h"

FeatureTreeProxyModel::FeatureTreeProxyModel(QObject* parent) : QSortFilterProxyModel(parent) {}

IFeatureTreeModelExtension* FeatureTreeProxyModel::source() const
{
    return dynamic_cast<IFeatureTreeModelExtension*>(sourceModel());
}

bool FeatureTreeProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (sourceRow == 0 && !sourceParent.isValid()) {
        m_visibleMatches.clear();
        m_higherLevelMatches.clear();
    }
    if (m_adding)
        return true;
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    return matches(index) || ancestorMatches(index) || descendantMatches(index);
}

bool FeatureTreeProxyModel::matches(const QModelIndex& index) const
{
    if (!index.isValid())
        return false;
    const QString pattern = filterRegExp().pattern();
    if (!pattern.isEmpty() && index.data(FeatureTreeItem::IsDebugNode).toBool())
        return false;
    const QString name = index.data(FeatureTreeItem::GenicamNameRole).toString();
    if (name == "Root")
        return false;
    if (!index.data(FeatureTreeItem::IsShownAtAll).toBool() && m_level != GenApi::Invisible)
        return false;
    const int visibility = index.data(FeatureTreeItem::GenicamVisibility).toInt();
    bool textMatch = false;
    if (!index.data(FeatureTreeItem::GenicamCategory).toBool()) {
        const QRegExp expression = filterRegExp();
        textMatch = pattern.isEmpty() || index.data(Qt::DisplayRole).toString().contains(expression) ||
                    name.contains(expression);
        // Only rows that show a feature are results: not the hint under an empty Favorites, the search-help
        // row or a favourite whose node map is not loaded, which match by their texts all the same.
        if (textMatch && isFeatureRow(index)) {
            if (visibility <= m_level)
                m_visibleMatches.insert(name, true);
            else if (visibility <= GenApi::Guru)
                m_higherLevelMatches.insert(name, true);
        }
    }
    const bool searchHelp = index.data(FeatureTreeItem::FullNodeNameRole).toString() == "Search";
    return (textMatch || searchHelp) && visibility <= m_level;
}

bool FeatureTreeProxyModel::isFeatureRow(const QModelIndex& sourceIndex) const
{
    IFeatureTreeModelExtension* extension = source();
    auto* item = extension ? qobject_cast<FeatureTreeINodeItem*>(extension->getFeatureTreeItem(sourceIndex)) : nullptr;
    return item && item->node();
}

bool FeatureTreeProxyModel::ancestorMatches(const QModelIndex& index) const
{
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        if (matches(parent))
            return true;
    return false;
}

bool FeatureTreeProxyModel::descendantMatches(const QModelIndex& index) const
{
    // Every descendant is visited, not only up to the first match, so that the match counts are complete.
    bool found = false;
    const int rows = sourceModel()->rowCount(index);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex child = sourceModel()->index(row, 0, index);
        const bool own = matches(child);
        const bool below = descendantMatches(child);
        found = found || own || below;
    }
    return found;
}

// Forwarding: indexes are mapped to the source before the call and back after it.

bool FeatureTreeProxyModel::IsFavoriteTreeItem(const FeatureTreeItem* item) const
{
    return source() && source()->IsFavoriteTreeItem(item);
}
bool FeatureTreeProxyModel::IsFavoriteTreeRoot(const FeatureTreeItem* item) const
{
    return source() && source()->IsFavoriteTreeRoot(item);
}
QModelIndex FeatureTreeProxyModel::indexForItem(FeatureTreeItem* item, int column)
{
    return source() ? mapFromSource(source()->indexForItem(item, column)) : QModelIndex();
}
QModelIndex FeatureTreeProxyModel::GetFavoritesRootIndex()
{
    return source() ? mapFromSource(source()->GetFavoritesRootIndex()) : QModelIndex();
}
void FeatureTreeProxyModel::EnablePolling(bool on)
{
    if (source())
        source()->EnablePolling(on);
}
bool FeatureTreeProxyModel::GetPolling() const
{
    return source() && source()->GetPolling();
}
void FeatureTreeProxyModel::EnableViewAllFavorites(bool on)
{
    if (source())
        source()->EnableViewAllFavorites(on);
}
bool FeatureTreeProxyModel::GetViewAllFavorites() const
{
    return source() && source()->GetViewAllFavorites();
}
void FeatureTreeProxyModel::SetDeviceAlive(bool alive)
{
    if (source())
        source()->SetDeviceAlive(alive);
}
QModelIndex FeatureTreeProxyModel::findItem(const FeatureTreeItem* item, const FeatureTreeItem* start, int column)
{
    return source() ? mapFromSource(source()->findItem(item, start, column)) : QModelIndex();
}
QModelIndex FeatureTreeProxyModel::findItemByFullName(const QString& fullName, FeatureTreeItem* start, int column)
{
    return source() ? mapFromSource(source()->findItemByFullName(fullName, start, column)) : QModelIndex();
}
QModelIndex FeatureTreeProxyModel::findItemByRole(int role, const QVariant& value, FeatureTreeItem* start, int column)
{
    return source() ? mapFromSource(source()->findItemByRole(role, value, start, column)) : QModelIndex();
}
void FeatureTreeProxyModel::addNodeMap(GenApi::INodeMap* nodeMap, const QString& rootName, const QString& roleName,
                                       bool isUtf8)
{
    if (!source())
        return;
    m_adding = true;
    source()->addNodeMap(nodeMap, rootName, roleName, isUtf8);
    m_adding = false;
}
void FeatureTreeProxyModel::rebuildFavoriteItems()
{
    if (source())
        source()->rebuildFavoriteItems();
}
void FeatureTreeProxyModel::CreateFavoritesRoot()
{
    if (source())
        source()->CreateFavoritesRoot();
}
bool FeatureTreeProxyModel::RemoveFavorite(QModelIndex index)
{
    return source() && source()->RemoveFavorite(mapToSource(index));
}
bool FeatureTreeProxyModel::AddFavorite(GenApi::INode* node, int position)
{
    return source() && source()->AddFavorite(node, position);
}
FavoritesData& FeatureTreeProxyModel::GetFavorites()
{
    return source() ? source()->GetFavorites() : m_fallbackFavorites;
}
bool FeatureTreeProxyModel::MoveFavorite(QModelIndex index, bool up)
{
    return source() && source()->MoveFavorite(mapToSource(index), up);
}
bool FeatureTreeProxyModel::CanMoveFavorite(QModelIndex index, bool up) const
{
    return source() && source()->CanMoveFavorite(mapToSource(index), up);
}
bool FeatureTreeProxyModel::CanAddAsFavorite(QModelIndex index) const
{
    return source() && source()->CanAddAsFavorite(mapToSource(index));
}
void FeatureTreeProxyModel::refresh()
{
    if (source())
        source()->refresh();
}
void FeatureTreeProxyModel::addChildren(FeatureTreeINodeItem* item, bool valueChildren)
{
    if (source())
        source()->addChildren(item, valueChildren);
}
void FeatureTreeProxyModel::setVisibility(GenApi::EVisibility visibility)
{
    m_level = visibility;
    if (source())
        source()->setVisibility(visibility);
}
GenApi::EVisibility FeatureTreeProxyModel::getVisibility() const
{
    return source() ? source()->getVisibility() : static_cast<GenApi::EVisibility>(m_level);
}
void FeatureTreeProxyModel::setMonitorMode(bool on)
{
    if (source())
        source()->setMonitorMode(on);
}
void FeatureTreeProxyModel::setGenICamCallbacksEnable(bool on)
{
    if (source())
        source()->setGenICamCallbacksEnable(on);
}
bool FeatureTreeProxyModel::getGenICamCallbackEnable() const
{
    return source() && source()->getGenICamCallbackEnable();
}
FeatureTreeItem* FeatureTreeProxyModel::getFeatureTreeItem(const QModelIndex& index) const
{
    return source() ? source()->getFeatureTreeItem(mapToSource(index)) : nullptr;
}
void FeatureTreeProxyModel::setHighlighter(FeatureTreeHighlighter* highlighter)
{
    if (source())
        source()->setHighlighter(highlighter);
}
FeatureTreeItem* FeatureTreeProxyModel::getSearchHelpItem() const
{
    return source() ? source()->getSearchHelpItem() : nullptr;
}
void FeatureTreeProxyModel::refreshSpecialItems()
{
    if (source())
        source()->refreshSpecialItems();
}
void FeatureTreeProxyModel::clear()
{
    if (source())
        source()->clear();
}
void FeatureTreeProxyModel::onNodeUpdated(int row, FeatureTreeINodeItem* item)
{
    if (source())
        source()->onNodeUpdated(row, item);
}
void FeatureTreeProxyModel::onTimerPoll()
{
    if (source())
        source()->onTimerPoll();
}
QString FeatureTreeProxyModel::GetNodeMapName(GenApi::INodeMap* nodeMap) const
{
    return source() ? source()->GetNodeMapName(nodeMap) : QString("unknown NodeMap name");
}
void FeatureTreeProxyModel::replaceFavoritesZombies(GenApi::INodeMap* nodeMap, const QString& roleName)
{
    if (source())
        source()->replaceFavoritesZombies(nodeMap, roleName);
}
int FeatureTreeProxyModel::getFavoritesIndexFromFeatureTreeItem(const FeatureTreeItem* item) const
{
    return source() ? source()->getFavoritesIndexFromFeatureTreeItem(item) : -1;
}
int FeatureTreeProxyModel::getFavoritesIndexFromModelIndex(QModelIndex index) const
{
    return source() ? source()->getFavoritesIndexFromModelIndex(mapToSource(index)) : -1;
}
