// The feature tree model: rows over node maps, lazy children, setData, drag data, polling notices.
#include "FeatureTreeFixtures.h"

#include <orbelt/FeatureTreeModel.h>
#include <orbelt/Helpers.h>

#include <QDataStream>
#include <QMimeData>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace featuretreetest;

namespace {

class FeatureTreeModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearFavorites(model.GetFavorites());
        model.rebuildFavoriteItems();
        model.addNodeMap(map.get(), "Camera", "Cam", false);
    }
    void TearDown() override { clearFavorites(model.GetFavorites()); }

    NodeMapPtr map = createCamera();
    FeatureTreeModel model;
};

TEST_F(FeatureTreeModelTest, TopLevelRowsAreSearchHelpFavoritesThenNodeMaps)
{
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.getFeatureTreeItem(model.index(0, 0)), model.getSearchHelpItem());
    EXPECT_EQ(model.index(1, 0), model.GetFavoritesRootIndex());
    EXPECT_EQ(model.data(model.index(2, 0), Qt::DisplayRole).toString(), "Camera");
    EXPECT_EQ(model.data(model.index(2, 0), FeatureTreeItem::FullNodeNameRole).toString(), "Cam*Root");
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_FALSE(model.index(3, 0).isValid());
    EXPECT_FALSE(model.parent(model.index(2, 0)).isValid());
}

TEST_F(FeatureTreeModelTest, ChildrenAreBuiltOnDemandWithRoleQualifiedNames)
{
    const QModelIndex cameraRoot = model.index(2, 0);
    ASSERT_EQ(model.rowCount(cameraRoot), 2);
    const QModelIndex category = model.index(0, 0, cameraRoot);
    EXPECT_EQ(model.data(category, FeatureTreeItem::FullNodeNameRole).toString(), "Cam*ImageFormatControl");
    EXPECT_EQ(model.parent(category), cameraRoot);
    const QModelIndex width = findNode(model, "Width");
    ASSERT_TRUE(width.isValid());
    EXPECT_EQ(model.data(width, FeatureTreeItem::FullNodeNameRole).toString(), "Cam*Width");
    EXPECT_EQ(model.rowCount(width), 0) << "value nodes get no children outside node debugging";
    EXPECT_FALSE(model.hasChildren(width));
    EXPECT_TRUE(model.hasChildren(category));
    EXPECT_EQ(model.findItemByFullName("Cam*Width", nullptr, 1), width.sibling(width.row(), 1));
}

TEST_F(FeatureTreeModelTest, HeaderNamesTwoColumnsOnly)
{
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Feature");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Value");
    EXPECT_FALSE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
}

TEST_F(FeatureTreeModelTest, SetDataOnlyWritesChangedValuesOfTheValueColumn)
{
    const QModelIndex width = findNode(model, "Width", 1);
    GenApi::CIntegerPtr node(map->GetNode("Width"));
    EXPECT_FALSE(model.setData(width.sibling(width.row(), 0), "800", Qt::EditRole));
    EXPECT_FALSE(model.setData(width, "800", Qt::DisplayRole));
    EXPECT_FALSE(model.setData(width, QVariant(), Qt::EditRole));
    EXPECT_EQ(node->GetValue(), 640);

    int writes = 0;
    struct Counter {
        int* count;
        void onChange(GenApi::INode*) { ++*count; }
    } counter{&writes};
    GenApi::CallbackHandleType handle = GenApi::Register(map->GetNode("Width"), counter, &Counter::onChange);
    EXPECT_TRUE(model.setData(width, "640", Qt::EditRole));
    EXPECT_EQ(writes, 0) << "an unchanged value is not written";
    EXPECT_TRUE(model.setData(width, "800", Qt::EditRole));
    EXPECT_EQ(node->GetValue(), 800);
    GenApi::Deregister(handle);

    EXPECT_FALSE(model.setData(width, "5000", Qt::EditRole)) << "an out-of-range value is refused, not reported done";
    EXPECT_EQ(node->GetValue(), 800);

    model.SetDeviceAlive(false);
    EXPECT_FALSE(model.setData(width, "900", Qt::EditRole));
}

TEST_F(FeatureTreeModelTest, NodeChangeReportsBothCellsOfItsRow)
{
    const QModelIndex width = findNode(model, "Width");
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(700);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[0][0].toModelIndex(), width);
    EXPECT_EQ(changed[1][0].toModelIndex(), width.sibling(width.row(), 1));

    changed.clear();
    model.SetDeviceAlive(false);
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(710);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(FeatureTreeModelTest, NodeMapNamesAndDragData)
{
    EXPECT_EQ(model.GetNodeMapName(map.get()), "Cam");
    NodeMapPtr other = createCamera();
    EXPECT_EQ(model.GetNodeMapName(other.get()), "");

    const QModelIndex width = findNode(model, "Width");
    std::unique_ptr<QMimeData> mime(model.mimeData({width}));
    ASSERT_TRUE(mime->hasFormat("application/x-fti"));
    QDataStream stream(mime->data("application/x-fti"));
    quint64 pointer = 0;
    stream >> pointer;
    EXPECT_EQ(pointer, reinterpret_cast<quintptr>(width.internalPointer()));
    EXPECT_EQ(model.supportedDropActions(), Qt::MoveAction);
}

TEST_F(FeatureTreeModelTest, ClearRemovesRowsAndStopsTouchingTheNodeMaps)
{
    model.clear();
    EXPECT_EQ(model.rowCount(), 2) << "the search-help row and the favourites branch stay";
    EXPECT_TRUE(model.GetFavoritesRootIndex().isValid());
    map.reset();
    model.refresh();
    model.onTimerPoll();
    model.rebuildFavoriteItems();
    EXPECT_EQ(model.rowCount(), 2);
}

TEST_F(FeatureTreeModelTest, DestroyedNodeMapIsNoLongerPolledOrRefreshed)
{
    NodeMapPtr other = createCamera(R"(<Category Name="Root" NameSpace="Standard"></Category>)");
    GenApi::INodeMap* gone = other.get();
    model.addNodeMap(gone, "Other", "Other", false);
    EXPECT_EQ(model.GetNodeMapName(gone), "Other");
    other.reset();
    EXPECT_EQ(model.GetNodeMapName(gone), "");
    model.refresh(); // would reach the freed node map under ASan
    model.onTimerPoll();
    model.setMonitorMode(true);
    model.onTimerPoll();
}

TEST(FeatureTreeModelDebugTest, NodeDebuggingShowsTheLinksOfANode)
{
    // The switch is read once per process; this test needs to be the first to ask.
    QSettings().setValue("EnableNodeDebug", true);
    if (!isNodeDebugModeEnabled())
        GTEST_SKIP() << "node debugging was already switched off in this process";
    NodeMapPtr map = createCamera();
    {
        FeatureTreeModel model;
        model.addNodeMap(map.get(), "Camera", "Cam", false);
        model.setVisibility(GenApi::Invisible);
        const QModelIndex width = findNode(model, "Width");
        ASSERT_TRUE(width.isValid());
        QStringList labels;
        for (int row = 0; row < model.rowCount(width); ++row)
            labels << model.data(model.index(row, 0, width), Qt::DisplayRole).toString();
        EXPECT_TRUE(labels.contains("<pMax> WidthMax")) << labels.join("|").toStdString();
        const QModelIndex link = findNode(model, "WidthMax", 0, width);
        ASSERT_TRUE(link.isValid());
        EXPECT_TRUE(model.data(link, FeatureTreeItem::IsDebugNode).toBool());
        EXPECT_EQ(model.rowCount(link), 0) << "links of a value node are dead ends";
        EXPECT_EQ(model.flags(link), Qt::ItemIsSelectable | Qt::ItemNeverHasChildren | Qt::ItemIsDragEnabled);
    }
    QSettings().remove("EnableNodeDebug");
}

} // namespace

// The rows show what the camera changed by itself once the model's poll finds it: an auto function the
// camera set back to "Off" right after it was written "Once", and the exposure it settled meanwhile.
TEST(FeatureTreeModelPollTest, ChangesTheCameraMadeReachTheRowsAtThePoll)
{
    NodeMapPtr map = createCamera(R"(
      <Category Name="Root" NameSpace="Standard"><pFeature>ExposureAuto</pFeature><pFeature>ExposureTime</pFeature></Category>
      <Enumeration Name="ExposureAuto" NameSpace="Standard">
        <EnumEntry Name="Off"><Value>0</Value></EnumEntry><EnumEntry Name="Once"><Value>1</Value></EnumEntry>
        <pValue>AutoReg</pValue><PollingTime>100</PollingTime></Enumeration>
      <IntReg Name="AutoReg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
      <IntReg Name="ExposureRaw"><Address>8</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
        <pInvalidator>ExposureAuto</pInvalidator><PollingTime>100</PollingTime></IntReg>
      <Converter Name="ExposureTime" NameSpace="Standard"><pValue>ExposureRaw</pValue><FormulaTo>FROM</FormulaTo>
        <FormulaFrom>TO</FormulaFrom></Converter>
      <Port Name="Device"/>)");
    testsupport::MemoryPort port(16);
    port.bytes[8] = 200;
    map->Connect(&port);
    FeatureTreeModel model;
    model.addNodeMap(map.get(), "Camera", "Cam", false);
    const QModelIndex autoValue = findNode(model, "ExposureAuto", 1);
    const QModelIndex exposureValue = findNode(model, "ExposureTime", 1);
    ASSERT_TRUE(autoValue.isValid());
    ASSERT_TRUE(exposureValue.isValid());
    EXPECT_EQ(model.data(exposureValue, Qt::DisplayRole).toString().toDouble(), 200.0);
    model.onTimerPoll();

    GenApi::CEnumerationPtr(map->GetNode("ExposureAuto"))->FromString("Once");
    EXPECT_EQ(model.data(autoValue, Qt::DisplayRole).toString(), "Once");
    EXPECT_EQ(model.data(exposureValue, Qt::DisplayRole).toString().toDouble(), 200.0);
    // The camera settles and goes back to "Off" before the next poll.
    port.bytes[0] = 0;
    port.bytes[8] = 100;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.onTimerPoll();
    QSet<QModelIndex> reported;
    for (const QList<QVariant>& signal : changed)
        reported.insert(signal[0].toModelIndex());
    EXPECT_TRUE(reported.contains(autoValue));
    EXPECT_TRUE(reported.contains(exposureValue));
    EXPECT_EQ(model.data(autoValue, Qt::DisplayRole).toString(), "Off");
    EXPECT_EQ(model.data(exposureValue, Qt::DisplayRole).toString().toDouble(), 100.0);
}
