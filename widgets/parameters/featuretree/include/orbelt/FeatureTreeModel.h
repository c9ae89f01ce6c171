// The item model behind the feature tree: node maps as a lazily built tree, polling, favourites, drag and drop.
// GUI thread only; node callbacks reach onNodeUpdated through automatic (so, from other threads, queued)
// connections. The favourites object is shared by every model of the process without a lock.
#pragma once

#include "orbelt/Export.h"

#include "orbelt/FavoritesData.h"
#include "orbelt/FeatureTreeItem.h"
#include "orbelt/FeatureTreeModelExtension.h"

#include <GenApi/GenApi.h>

#include <QAbstractItemModel>
#include <QList>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <memory>

class ORBELT_EXPORT FeatureTreeModel : public QAbstractItemModel, public IFeatureTreeModelExtension {
    Q_OBJECT
public:
    explicit FeatureTreeModel(QObject* parent = nullptr);
    ~FeatureTreeModel() override;

    // Qt model
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // IFeatureTreeModelExtension
    bool IsFavoriteTreeItem(const FeatureTreeItem* item) const override;
    bool IsFavoriteTreeRoot(const FeatureTreeItem* item) const override;
    QModelIndex indexForItem(FeatureTreeItem* item, int column) override;
    QModelIndex GetFavoritesRootIndex() override;
    void EnablePolling(bool on) override;
    bool GetPolling() const override { return m_pollingEnabled; }
    void EnableViewAllFavorites(bool on) override { m_favorites.setViewAll(on); }
    bool GetViewAllFavorites() const override { return m_favorites.viewAll(); }
    void SetDeviceAlive(bool alive) override { m_deviceAlive = alive; }
    QModelIndex findItem(const FeatureTreeItem* item, const FeatureTreeItem* start, int column) override;
    QModelIndex findItemByFullName(const QString& fullName, FeatureTreeItem* start, int column) override;
    QModelIndex findItemByRole(int role, const QVariant& value, FeatureTreeItem* start, int column) override;
    void addNodeMap(GenApi::INodeMap* nodeMap, const QString& rootName, const QString& roleName, bool isUtf8) override;
    void rebuildFavoriteItems() override;
    void CreateFavoritesRoot() override;
    bool RemoveFavorite(QModelIndex index) override;
    bool AddFavorite(GenApi::INode* node, int position) override;
    FavoritesData& GetFavorites() override { return m_favorites; }
    bool MoveFavorite(QModelIndex index, bool up) override;
    bool CanMoveFavorite(QModelIndex index, bool up) const override;
    bool CanAddAsFavorite(QModelIndex index) const override;
    void refresh() override;
    void addChildren(FeatureTreeINodeItem* item, bool valueChildren) override;
    void setVisibility(GenApi::EVisibility visibility) override { m_visibility = visibility; }
    GenApi::EVisibility getVisibility() const override { return static_cast<GenApi::EVisibility>(m_visibility); }
    void setMonitorMode(bool on) override { m_monitorMode = on; }
    void setGenICamCallbacksEnable(bool on) override { m_callbacksEnabled = on; }
    bool getGenICamCallbackEnable() const override { return m_callbacksEnabled; }
    FeatureTreeItem* getFeatureTreeItem(const QModelIndex& index) const override;
    void setHighlighter(FeatureTreeHighlighter* highlighter) override { m_highlighter = highlighter; }
    FeatureTreeItem* getSearchHelpItem() const override { return m_searchHelpItem; }
    void refreshSpecialItems() override;
    QString GetNodeMapName(GenApi::INodeMap* nodeMap) const override;
    void replaceFavoritesZombies(GenApi::INodeMap* nodeMap, const QString& roleName) override;
    int getFavoritesIndexFromFeatureTreeItem(const FeatureTreeItem* item) const override;
    int getFavoritesIndexFromModelIndex(QModelIndex index) const override;

public slots:
    void clear() override;
    void onNodeUpdated(int row, FeatureTreeINodeItem* item) override;
    void onTimerPoll() override;

protected:
    static FavoritesData m_favorites;

private:
    // The node map pointer is cleared by the node map's destruction notice (which may come from any thread).
    struct NodeMapEntry {
        QString roleName;
        std::shared_ptr<std::atomic<GenApi::INodeMap*>> nodeMap;
        GenApi::CallbackHandleType destructionHandle;
    };
    void forgetNodeMaps();

    FeatureTreeINodeItem* createNodeRow(GenApi::INode* node, const QString& linkLabel, const QString& fullName,
                                        FeatureTreeItem* parent, bool isDebug, bool isDeadEnd);
    FeatureTreeItem* createPlaceholder(const FavoriteEntry& entry);
    // The search-help row as it is before any search: counting nothing, not shown.
    void resetSearchHelpItem();
    // "N Favorites", with how many are unavailable; left as it is without favourites.
    void updateFavoritesToolTip();
    static QString fullNameFor(const QString& roleName, const GenApi::INode* node);

    FeatureTreeItem* m_rootItem;
    FeatureTreeFavoritesItem* m_favoritesRoot = nullptr;
    FeatureTreeItem* m_searchHelpItem = nullptr;
    QList<NodeMapEntry> m_nodeMaps;
    int m_reserved = 0;
    int m_visibility = GenApi::Expert;
    int m_pollingInterval = 300;
    QTimer m_pollTimer;
    bool m_pollingEnabled = false;
    bool m_deviceAlive = true;
    bool m_monitorMode = false;
    bool m_callbacksEnabled = true;
    bool m_isUtf8 = false;
    bool m_nodeDebug = false;
    mutable bool m_counting = false; // inside rowCount, where lazily built children are not announced
    QString m_reservedText;
    FeatureTreeHighlighter* m_highlighter = nullptr;
};
