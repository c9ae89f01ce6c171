// Favourites: the settings format, list editing, and the favourites rows of the model.
#include "FeatureTreeFixtures.h"

#include <orbelt/FavoritesData.h>
#include <orbelt/FeatureTreeModel.h>

#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <climits>

using namespace featuretreetest;

namespace {

FavoriteEntry entry(const char* name, const char* nodeMap = "Cam")
{
    return {name, name, nodeMap};
}

QStringList names(const FavoritesData& favorites)
{
    QStringList result;
    for (int i = 0; i < favorites.count(); ++i)
        result << favorites.at(i)->name.c_str();
    return result;
}

TEST(FavoritesDataTest, SavingFewerEntriesRemovesTheStaleKeys)
{
    FavoritesData data;
    for (const char* name : {"A", "B", "C", "D", "E"})
        data.append(entry(name));
    ASSERT_TRUE(data.save("FavTestShrink"));
    for (int i = 0; i < 2; ++i)
        data.removeAt(data.count() - 1);
    ASSERT_TRUE(data.save("FavTestShrink"));
    QSettings settings;
    settings.beginGroup("FavTestShrink");
    EXPECT_EQ(settings.value("NumberOfEntries").toInt(), 3);
    EXPECT_EQ(settings.value("Version").toInt(), 3);
    EXPECT_EQ(settings.value("2").toString(), "C*C*Cam");
    EXPECT_FALSE(settings.contains("3"));
    EXPECT_FALSE(settings.contains("4"));
}

// An entry that cannot be stored leaves its key out; a value stored there earlier must not come back
// at the next load as the entry it was.
TEST(FavoritesDataTest, AnEntrySkippedWhenSavingLeavesNoStaleKey)
{
    FavoritesData data;
    for (const char* name : {"A", "B", "C"})
        data.append(entry(name));
    ASSERT_TRUE(data.save("FavTestSkip"));
    FavoritesData next;
    for (const FavoriteEntry& e : {entry("A"), entry("X", ""), entry("C")})
        next.append(e);
    ASSERT_TRUE(next.save("FavTestSkip"));
    {
        QSettings settings;
        settings.beginGroup("FavTestSkip");
        EXPECT_EQ(settings.value("NumberOfEntries").toInt(), 3);
        EXPECT_FALSE(settings.contains("1"));
        EXPECT_EQ(settings.value("2").toString(), "C*C*Cam");
    }
    FavoritesData loaded;
    ASSERT_TRUE(loaded.load("FavTestSkip"));
    EXPECT_EQ(names(loaded), QStringList({"A", "C"}));
}

TEST(FavoritesDataTest, LoadSkipsMalformedValuesAndDefaultsTheFlags)
{
    {
        QSettings settings;
        settings.beginGroup("FavTestLoad");
        settings.setValue("NumberOfEntries", 4);
        settings.setValue("0", "Width*Width*Cam");
        settings.setValue("1", "Gain*Cam");
        settings.setValue("2", "");
        settings.setValue("3", "Mode**Mode*Cam");
    }
    FavoritesData data;
    QSignalSpy updated(&data, &FavoritesData::dataUpdated);
    ASSERT_TRUE(data.load("FavTestLoad"));
    EXPECT_EQ(names(data), QStringList({"Width", "Mode"}));
    EXPECT_EQ(updated.count(), 1);
    EXPECT_FALSE(data.viewAll());
    EXPECT_TRUE(data.isExpanded());
    EXPECT_FALSE(data.load(""));
    EXPECT_FALSE(data.save(""));
}

// A damaged settings file may claim far more entries than it holds: only the keys that are there are read,
// in their order, and a save clears the stale ones among them, without walking the count it claimed.
TEST(FavoritesDataTest, ACountFarBeyondTheStoredKeysReadsOnlyTheKeysThere)
{
    {
        QSettings settings;
        settings.beginGroup("FavTestHugeCount");
        settings.setValue("NumberOfEntries", INT_MAX);
        settings.setValue("2147483646", "C*C*Cam");
        settings.setValue("5", "B*B*Cam");
        settings.setValue("0", "A*A*Cam");
        settings.setValue("05", "X*X*Cam"); // not a key the format writes
    }
    FavoritesData data;
    ASSERT_TRUE(data.load("FavTestHugeCount"));
    EXPECT_EQ(names(data), QStringList({"A", "B", "C"}));
    ASSERT_TRUE(data.save("FavTestHugeCount"));
    QSettings settings;
    settings.beginGroup("FavTestHugeCount");
    EXPECT_EQ(settings.value("NumberOfEntries").toInt(), 3);
    EXPECT_EQ(settings.value("2").toString(), "C*C*Cam");
    EXPECT_FALSE(settings.contains("5"));
    EXPECT_FALSE(settings.contains("2147483646"));
    settings.endGroup();
    settings.remove("FavTestHugeCount");
}

TEST(FavoritesDataTest, InsertRefusesDuplicatesEmptyNamesAndImpossiblePositions)
{
    FavoritesData data;
    EXPECT_TRUE(data.append(entry("A")));
    EXPECT_TRUE(data.insert(-1, entry("B"))) << "a negative position counts from the end";
    EXPECT_EQ(names(data), QStringList({"B", "A"}));
    EXPECT_FALSE(data.append({"A", "other display name", "Cam"}));
    EXPECT_TRUE(data.append(entry("A", "Other")));
    EXPECT_FALSE(data.append(entry("")));
    EXPECT_FALSE(data.insert(5, entry("C")));
    EXPECT_FALSE(data.insert(-9, entry("C")));
    EXPECT_EQ(data.count(), 3);
    EXPECT_EQ(data.at(3), nullptr);
    EXPECT_EQ(data.indexOf(entry("A", "Other"), -1), 2);
}

TEST(FavoritesDataTest, MoveKeepsEveryEntry)
{
    struct Case {
        int from, to;
        QStringList expected;
    } cases[] = {
        {0, 2, {"B", "A", "C"}}, // down by one is written as i + 2
        {2, 1, {"A", "C", "B"}}, {1, 1, {"A", "B", "C"}},
        {0, 9, {"B", "C", "A"}}, // past the end lands at the end instead of getting lost
        {5, 0, {"A", "B", "C"}},
    };
    for (const Case& c : cases) {
        FavoritesData data;
        for (const char* name : {"A", "B", "C"})
            data.append(entry(name));
        data.move(c.from, c.to);
        EXPECT_EQ(names(data), c.expected) << c.from << " -> " << c.to;
    }
}

TEST(FavoritesDataTest, BlockedUpdatesCollapseIntoOne)
{
    FavoritesData data;
    QSignalSpy updated(&data, &FavoritesData::dataUpdated);
    QSignalSpy expanded(&data, &FavoritesData::expanded);
    data.blockUpdates(true);
    data.append(entry("A"));
    data.append(entry("B"));
    data.setViewAll(false);
    EXPECT_EQ(updated.count(), 0);
    data.blockUpdates(false);
    EXPECT_EQ(updated.count(), 1);
    data.blockUpdates(false);
    EXPECT_EQ(updated.count(), 1);
    data.setExpanded(true);
    data.setExpanded(true);
    EXPECT_EQ(expanded.count(), 1);
}

class FavoritesModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearFavorites(model.GetFavorites());
        model.GetFavorites().setViewAll(true);
        model.rebuildFavoriteItems();
    }
    void TearDown() override { clearFavorites(model.GetFavorites()); }

    QModelIndex favorite(int row) { return model.index(row, 0, model.GetFavoritesRootIndex()); }
    QString rootToolTip() { return model.data(model.GetFavoritesRootIndex(), Qt::ToolTipRole).toString(); }

    NodeMapPtr map = createCamera();
    FeatureTreeModel model;
};

TEST_F(FavoritesModelTest, EmptyListShowsTheDummyRow)
{
    ASSERT_EQ(model.rowCount(model.GetFavoritesRootIndex()), 1);
    EXPECT_EQ(model.data(favorite(0), FeatureTreeItem::FullNodeNameRole).toString(), "Dummy");
    EXPECT_EQ(model.flags(favorite(0)), Qt::NoItemFlags);
    EXPECT_FALSE(model.IsFavoriteTreeItem(nullptr));
}

TEST_F(FavoritesModelTest, PlaceholderBecomesALiveRowWhenItsNodeMapArrives)
{
    NodeMapPtr transportLayer = createCamera();
    model.addNodeMap(transportLayer.get(), "Transport layer", "Tl", false);
    model.GetFavorites().append({"Width", "Width", "Cam"});
    model.rebuildFavoriteItems();
    EXPECT_EQ(model.data(favorite(0), FeatureTreeItem::FullNodeNameRole).toString(), "Fav*Cam*Width");
    EXPECT_EQ(rootToolTip(), "1 Favorite (1 is unavailable for the current camera)");

    model.addNodeMap(map.get(), "Camera", "Cam", false);
    EXPECT_EQ(model.data(favorite(0).sibling(0, 1), Qt::DisplayRole).toString(), "640");
    EXPECT_EQ(model.data(favorite(0), FeatureTreeItem::FullNodeNameRole).toString(), "Fav*Cam*Width");
    EXPECT_EQ(rootToolTip(), "1 Favorite");
    EXPECT_TRUE(model.IsFavoriteTreeItem(model.getFeatureTreeItem(favorite(0))));
}

TEST_F(FavoritesModelTest, AddMoveAndRemoveThroughTheModel)
{
    model.addNodeMap(map.get(), "Camera", "Cam", false);
    const QModelIndex width = findNode(model, "Width");
    const QModelIndex gain = findNode(model, "Gain");
    const QModelIndex category = findNode(model, "ImageFormatControl");
    EXPECT_TRUE(model.CanAddAsFavorite(width));
    EXPECT_FALSE(model.CanAddAsFavorite(category));
    EXPECT_FALSE(model.CanAddAsFavorite(QModelIndex()));
    EXPECT_FALSE(model.AddFavorite(nullptr, 0));
    EXPECT_FALSE(model.AddFavorite(map->GetNode("Gain"), -1));

    // The views rebuild on every update; here the test does it.
    QObject::connect(&model.GetFavorites(), &FavoritesData::dataUpdated, &model,
                     &FeatureTreeModel::rebuildFavoriteItems);
    EXPECT_TRUE(model.AddFavorite(map->GetNode("Width"), 0));
    EXPECT_TRUE(model.AddFavorite(map->GetNode("Gain"), 7));
    EXPECT_FALSE(model.CanAddAsFavorite(width)) << "already a favourite";
    EXPECT_EQ(rootToolTip(), "2 Favorites");
    EXPECT_EQ(model.getFavoritesIndexFromModelIndex(gain), 1);

    EXPECT_FALSE(model.CanMoveFavorite(favorite(0), true));
    EXPECT_TRUE(model.CanMoveFavorite(favorite(0), false));
    EXPECT_FALSE(model.CanMoveFavorite(favorite(1), false));
    EXPECT_FALSE(model.CanMoveFavorite(width, true)) << "a tree row is not a favourites row";
    EXPECT_TRUE(model.MoveFavorite(favorite(0), false));
    EXPECT_EQ(names(model.GetFavorites()), QStringList({"Gain", "Width"}));
    EXPECT_EQ(model.data(favorite(0), FeatureTreeItem::FullNodeNameRole).toString(), "Fav*Cam*Gain");

    EXPECT_FALSE(model.RemoveFavorite(width));
    EXPECT_TRUE(model.RemoveFavorite(favorite(0)));
    EXPECT_EQ(names(model.GetFavorites()), QStringList({"Width"}));
    QObject::disconnect(&model.GetFavorites(), nullptr, &model, nullptr);
}

// Rows that "Add to Favorites" refuses can still be dragged (an unavailable category, a register); a drop
// adds only what that action would add.
TEST_F(FavoritesModelTest, DropAddsOnlyRowsThatCanBeFavourites)
{
    NodeMapPtr local = createCamera(R"(
      <Category Name="Root" NameSpace="Standard"><pFeature>Closed</pFeature><pFeature>Table</pFeature>
        <pFeature>Width</pFeature></Category>
      <Category Name="Closed" NameSpace="Custom"><pIsAvailable>Zero</pIsAvailable><pFeature>Zero</pFeature></Category>
      <Register Name="Table" NameSpace="Custom"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort></Register>
      <Port Name="Device"/>
      <Integer Name="Width" NameSpace="Standard"><Value>640</Value></Integer>
      <Integer Name="Zero" NameSpace="Custom"><Value>0</Value></Integer>)");
    model.addNodeMap(local.get(), "Camera", "Cam", false);
    const QModelIndex root = model.GetFavoritesRootIndex();
    for (const char* name : {"Closed", "Table"}) {
        SCOPED_TRACE(name);
        const QModelIndex row = findNode(model, name);
        ASSERT_TRUE(model.flags(row) & Qt::ItemIsDragEnabled);
        EXPECT_FALSE(model.CanAddAsFavorite(row));
        std::unique_ptr<QMimeData> mime(model.mimeData({row}));
        EXPECT_TRUE(model.dropMimeData(mime.get(), Qt::MoveAction, -1, 0, root));
        EXPECT_EQ(model.GetFavorites().count(), 0);
    }
    std::unique_ptr<QMimeData> mime(model.mimeData({findNode(model, "Width")}));
    model.dropMimeData(mime.get(), Qt::MoveAction, -1, 0, root);
    EXPECT_EQ(names(model.GetFavorites()).join(' ').toStdString(), "Width");
}

// The device changes while a drag runs: its rows go and the new node map's come, perhaps where the old
// ones were in memory. The drop adds the feature that was dragged, found again by its name, and moves
// the favourite that was dragged; never a row that took a dragged row's place.
TEST_F(FavoritesModelTest, ADropAfterTheDeviceChangedTakesWhatWasDragged)
{
    model.addNodeMap(map.get(), "Camera", "Cam", false);
    for (const char* name : {"Width", "Mode"})
        model.AddFavorite(map->GetNode(name), 99);
    model.rebuildFavoriteItems();
    std::unique_ptr<QMimeData> feature(model.mimeData({findNode(model, "Gain")}));
    std::unique_ptr<QMimeData> favourite(model.mimeData({favorite(1)}));

    model.clear();
    map.reset();
    NodeMapPtr next = createCamera();
    model.addNodeMap(next.get(), "Camera", "Cam", false);
    model.rebuildFavoriteItems();
    const QModelIndex root = model.GetFavoritesRootIndex();
    EXPECT_TRUE(model.dropMimeData(feature.get(), Qt::MoveAction, -1, 0, root));
    EXPECT_EQ(names(model.GetFavorites()), QStringList({"Width", "Mode", "Gain"}));
    model.rebuildFavoriteItems();
    EXPECT_TRUE(model.dropMimeData(favourite.get(), Qt::MoveAction, 0, 0, root));
    EXPECT_EQ(names(model.GetFavorites()), QStringList({"Mode", "Width", "Gain"}));
    model.clear();
}

// Clearing takes the node maps' rows only: the favourites branch stays, its rows made placeholders
// again (their nodes go with the node maps), and the next node map brings them back to life.
TEST_F(FavoritesModelTest, ClearKeepsTheFavoritesBranchAndTheSearchRowForTheNextNodeMap)
{
    model.addNodeMap(map.get(), "Camera", "Cam", false);
    model.AddFavorite(map->GetNode("Width"), 0);
    model.rebuildFavoriteItems();
    ASSERT_NE(qobject_cast<FeatureTreeINodeItem*>(model.getFeatureTreeItem(favorite(0))), nullptr);
    FeatureTreeItem* searchHelp = model.getSearchHelpItem();
    ASSERT_NE(searchHelp, nullptr);

    QSignalSpy removed(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
    model.clear();
    map.reset();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.getSearchHelpItem(), searchHelp);
    EXPECT_EQ(model.getFeatureTreeItem(model.index(0, 0)), searchHelp);
    EXPECT_EQ(model.GetFavoritesRootIndex(), model.index(1, 0));
    ASSERT_EQ(model.rowCount(model.GetFavoritesRootIndex()), 1);
    EXPECT_EQ(qobject_cast<FeatureTreeINodeItem*>(model.getFeatureTreeItem(favorite(0))), nullptr);
    EXPECT_EQ(model.data(favorite(0), Qt::DisplayRole).toString(), "Width");
    EXPECT_EQ(model.data(favorite(0), FeatureTreeItem::FullNodeNameRole).toString(), "Fav*Cam*Width");
    EXPECT_EQ(rootToolTip(), "1 Favorite (1 is unavailable for the current camera)");
    EXPECT_EQ(model.GetFavorites().count(), 1);
    // The top-level rows that went were the node map's only.
    for (const QList<QVariant>& args : removed)
        if (!args.at(0).value<QModelIndex>().isValid())
            EXPECT_GE(args.at(1).toInt(), 2);

    NodeMapPtr next = createCamera();
    model.addNodeMap(next.get(), "Camera", "Cam", false);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(favorite(0).sibling(0, 1), Qt::DisplayRole).toString(), "640");
    EXPECT_EQ(rootToolTip(), "1 Favorite");
    model.clear();
}

TEST_F(FavoritesModelTest, DroppingKeepsTheDraggedOrder)
{
    model.addNodeMap(map.get(), "Camera", "Cam", false);
    for (const char* name : {"Width", "Gain", "Mode"})
        model.AddFavorite(map->GetNode(name), 99);
    model.rebuildFavoriteItems();

    const QModelIndex root = model.GetFavoritesRootIndex();
    std::unique_ptr<QMimeData> mime(model.mimeData({favorite(1), favorite(2)}));
    QSignalSpy updated(&model.GetFavorites(), &FavoritesData::dataUpdated);
    EXPECT_TRUE(model.dropMimeData(mime.get(), Qt::MoveAction, 0, 0, root));
    EXPECT_EQ(names(model.GetFavorites()), QStringList({"Gain", "Mode", "Width"}));
    EXPECT_EQ(updated.count(), 1);

    model.rebuildFavoriteItems();
    mime.reset(model.mimeData({favorite(1)}));
    model.dropMimeData(mime.get(), Qt::MoveAction, 1, 0, root);
    EXPECT_EQ(names(model.GetFavorites()), QStringList({"Gain", "Mode", "Width"})) << "dropped onto its own place";

    mime.reset(model.mimeData({findNode(model, "Flag")}));
    model.dropMimeData(mime.get(), Qt::MoveAction, 1, 0, root);
    EXPECT_EQ(names(model.GetFavorites()), QStringList({"Gain", "Flag", "Mode", "Width"}));

    // Downwards, onto a row below them and onto the Favorites row itself (row -1: the end).
    const struct {
        QList<int> dragged;
        int row;
        QStringList expected;
    } cases[] = {
        {{0, 1}, 3, {"Mode", "Gain", "Flag", "Width"}},
        {{0, 1}, -1, {"Flag", "Width", "Mode", "Gain"}},
        {{1, 3}, 0, {"Width", "Gain", "Flag", "Mode"}}, // upwards from rows that are not adjacent
        {{0, 2}, 2, {"Gain", "Width", "Flag", "Mode"}}, // one above the target, one at it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.join(' ').toStdString());
        model.rebuildFavoriteItems();
        QModelIndexList rows;
        for (int i : c.dragged)
            rows << favorite(i);
        mime.reset(model.mimeData(rows));
        QSignalSpy once(&model.GetFavorites(), &FavoritesData::dataUpdated);
        EXPECT_TRUE(model.dropMimeData(mime.get(), Qt::MoveAction, c.row, 0, root));
        EXPECT_EQ(names(model.GetFavorites()), c.expected);
        EXPECT_EQ(once.count(), 1);
    }
    // Dragged from the tree and from the favourites at once: the new one takes its place in the block.
    model.GetFavorites().removeAt(1);
    model.rebuildFavoriteItems();
    ASSERT_EQ(names(model.GetFavorites()), QStringList({"Gain", "Flag", "Mode"}));
    mime.reset(model.mimeData({favorite(2), findNode(model, "Width"), favorite(0)}));
    EXPECT_TRUE(model.dropMimeData(mime.get(), Qt::MoveAction, -1, 0, root));
    EXPECT_EQ(names(model.GetFavorites()), QStringList({"Flag", "Mode", "Width", "Gain"}));

    QMimeData foreign;
    EXPECT_FALSE(model.dropMimeData(&foreign, Qt::MoveAction, 0, 0, root));
    EXPECT_TRUE(model.dropMimeData(&foreign, Qt::IgnoreAction, 0, 0, root));
}

} // namespace
