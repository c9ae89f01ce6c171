// The feature tree's own operations, reached by items, delegate, proxy, view and widget through the model.
#pragma once

#include "orbelt/Export.h"

#include <GenApi/GenApi.h>

#include <QModelIndex>
#include <QString>
#include <QVariant>

class FeatureTreeItem;
class FeatureTreeINodeItem;
class FeatureTreeHighlighter;
class FavoritesData;

class ORBELT_EXPORT IFeatureTreeModelExtension {
public:
    IFeatureTreeModelExtension();
    IFeatureTreeModelExtension(const IFeatureTreeModelExtension&);
    IFeatureTreeModelExtension& operator=(const IFeatureTreeModelExtension&);

    virtual bool IsFavoriteTreeItem(const FeatureTreeItem* item) const = 0;
    virtual bool IsFavoriteTreeRoot(const FeatureTreeItem* item) const = 0;
    virtual QModelIndex indexForItem(FeatureTreeItem* item, int column) = 0;
    virtual QModelIndex GetFavoritesRootIndex() = 0;
    virtual void EnablePolling(bool on) = 0;
    virtual bool GetPolling() const = 0;
    virtual void EnableViewAllFavorites(bool on) = 0;
    virtual bool GetViewAllFavorites() const = 0;
    virtual void SetDeviceAlive(bool alive) = 0;
    virtual QModelIndex findItem(const FeatureTreeItem* item, const FeatureTreeItem* start, int column) = 0;
    virtual QModelIndex findItemByFullName(const QString& fullName, FeatureTreeItem* start, int column) = 0;
    virtual QModelIndex findItemByRole(int role, const QVariant& value, FeatureTreeItem* start, int column) = 0;
    virtual void addNodeMap(GenApi::INodeMap* nodeMap, const QString& rootName, const QString& roleName,
                            bool isUtf8) = 0;
    virtual void rebuildFavoriteItems() = 0;
    virtual void CreateFavoritesRoot() = 0;
    virtual bool RemoveFavorite(QModelIndex index) = 0;
    virtual bool AddFavorite(GenApi::INode* node, int position) = 0;
    virtual FavoritesData& GetFavorites() = 0;
    virtual bool MoveFavorite(QModelIndex index, bool up) = 0;
    virtual bool CanMoveFavorite(QModelIndex index, bool up) const = 0;
    virtual bool CanAddAsFavorite(QModelIndex index) const = 0;
    virtual void refresh() = 0;
    virtual void addChildren(FeatureTreeINodeItem* item, bool valueChildren) = 0;
    virtual void setVisibility(GenApi::EVisibility visibility) = 0;
    virtual GenApi::EVisibility getVisibility() const = 0;
    virtual void setMonitorMode(bool on) = 0;
    virtual void setGenICamCallbacksEnable(bool on) = 0;
    virtual bool getGenICamCallbackEnable() const = 0;
    virtual FeatureTreeItem* getFeatureTreeItem(const QModelIndex& index) const = 0;
    virtual void setHighlighter(FeatureTreeHighlighter* highlighter) = 0;
    virtual FeatureTreeItem* getSearchHelpItem() const = 0;
    virtual void refreshSpecialItems() = 0;
    virtual void clear() = 0;
    virtual void onNodeUpdated(int row, FeatureTreeINodeItem* item) = 0;
    virtual void onTimerPoll() = 0;
    virtual QString GetNodeMapName(GenApi::INodeMap* nodeMap) const = 0;
    virtual void replaceFavoritesZombies(GenApi::INodeMap* nodeMap, const QString& roleName) = 0;
    virtual int getFavoritesIndexFromFeatureTreeItem(const FeatureTreeItem* item) const = 0;
    virtual int getFavoritesIndexFromModelIndex(QModelIndex index) const = 0;

protected:
    virtual ~IFeatureTreeModelExtension();
};
