// Filters the feature tree by user level and search text, counts the matches, and forwards the tree's own
// operations to the source model. GUI thread only.
#pragma once

#include "orbelt/Export.h"

#include "orbelt/FavoritesData.h"
#include "orbelt/FeatureTreeModelExtension.h"

#include <QHash>
#include <QSortFilterProxyModel>

class ORBELT_EXPORT FeatureTreeProxyModel : public QSortFilterProxyModel, public IFeatureTreeModelExtension {
    Q_OBJECT
public:
    explicit FeatureTreeProxyModel(QObject* parent = nullptr);

    int visibleMatchCount() const { return m_visibleMatches.size(); }
    int higherLevelMatchCount() const { return m_higherLevelMatches.size(); }

    bool IsFavoriteTreeItem(const FeatureTreeItem* item) const override;
    bool IsFavoriteTreeRoot(const FeatureTreeItem* item) const override;
    QModelIndex indexForItem(FeatureTreeItem* item, int column) override;
    QModelIndex GetFavoritesRootIndex() override;
    void EnablePolling(bool on) override;
    bool GetPolling() const override;
    void EnableViewAllFavorites(bool on) override;
    bool GetViewAllFavorites() const override;
    void SetDeviceAlive(bool alive) override;
    QModelIndex findItem(const FeatureTreeItem* item, const FeatureTreeItem* start, int column) override;
    QModelIndex findItemByFullName(const QString& fullName, FeatureTreeItem* start, int column) override;
    QModelIndex findItemByRole(int role, const QVariant& value, FeatureTreeItem* start, int column) override;
    void addNodeMap(GenApi::INodeMap* nodeMap, const QString& rootName, const QString& roleName, bool isUtf8) override;
    void rebuildFavoriteItems() override;
    void CreateFavoritesRoot() override;
    bool RemoveFavorite(QModelIndex index) override;
    bool AddFavorite(GenApi::INode* node, int position) override;
    FavoritesData& GetFavorites() override;
    bool MoveFavorite(QModelIndex index, bool up) override;
    bool CanMoveFavorite(QModelIndex index, bool up) const override;
    bool CanAddAsFavorite(QModelIndex index) const override;
    void refresh() override;
    void addChildren(FeatureTreeINodeItem* item, bool valueChildren) override;
    void setVisibility(GenApi::EVisibility visibility) override;
    GenApi::EVisibility getVisibility() const override;
    void setMonitorMode(bool on) override;
    void setGenICamCallbacksEnable(bool on) override;
    bool getGenICamCallbackEnable() const override;
    FeatureTreeItem* getFeatureTreeItem(const QModelIndex& index) const override;
    void setHighlighter(FeatureTreeHighlighter* highlighter) override;
    FeatureTreeItem* getSearchHelpItem() const override;
    void refreshSpecialItems() override;
    void clear() override;
    void onNodeUpdated(int row, FeatureTreeINodeItem* item) override;
    void onTimerPoll() override;
    QString GetNodeMapName(GenApi::INodeMap* nodeMap) const override;
    void replaceFavoritesZombies(GenApi::INodeMap* nodeMap, const QString& roleName) override;
    int getFavoritesIndexFromFeatureTreeItem(const FeatureTreeItem* item) const override;
    int getFavoritesIndexFromModelIndex(QModelIndex index) const override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    IFeatureTreeModelExtension* source() const;
    bool matches(const QModelIndex& sourceIndex) const;
    bool isFeatureRow(const QModelIndex& sourceIndex) const;
    bool ancestorMatches(const QModelIndex& sourceIndex) const;
    bool descendantMatches(const QModelIndex& sourceIndex) const;

    bool m_adding = false;
    int m_level = GenApi::Guru;
    mutable QHash<QString, bool> m_visibleMatches;
    mutable QHash<QString, bool> m_higherLevelMatches;
    FavoritesData m_fallbackFavorites;
};
