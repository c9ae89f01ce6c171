// Feature filters on node maps, and the proxy's level and search filtering with its match counts.
#include "FeatureTreeFixtures.h"

#include <orbelt/FeatureTreeHighlighter.h>
#include <orbelt/FeatureTreeModel.h>
#include <orbelt/FeatureTreeProxyModel.h>
#include <orbelt/NodeMapFilter.h>
#include <testsupport/LogCapture.h>

#include <QCoreApplication>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

using namespace featuretreetest;

namespace {

std::string withModel(const std::string& model, const char* nodes)
{
    std::string text = describe(nodes);
    const std::string from = "ModelName=\"TreeModel\"";
    text.replace(text.find(from), from.size(), "ModelName=\"" + model + "\"");
    return text;
}

const char* kFiltered = R"(
  <Category Name="Root" NameSpace="Standard"><pFeature>AcquisitionMode</pFeature><pFeature>DeviceScanType</pFeature></Category>
  <Integer Name="AcquisitionMode" NameSpace="Standard"><Value>0</Value></Integer>
  <Integer Name="DeviceScanType" NameSpace="Standard"><Value>0</Value></Integer>)";

TEST(NodeMapFilterTest, ModelWithoutItsOwnFileGetsTheDefaultFilter)
{
    NodeMapPtr map(GenApi::CreateNodeMap(withModel("NoSuchModel", kFiltered).c_str(), {}, "Device"));
    ASSERT_TRUE(NodeMapFilter::apply(map.get()));
    EXPECT_EQ(map->GetNode("AcquisitionMode")->GetVisibility(), GenApi::Invisible);
    EXPECT_EQ(map->GetNode("DeviceScanType")->GetVisibility(), GenApi::Expert);
    EXPECT_EQ(map->GetNode("DeviceScanType")->GetAccessMode(), GenApi::RO);
    EXPECT_FALSE(NodeMapFilter::apply(nullptr));
}

TEST(NodeMapFilterTest, FileBesideTheProgramWinsAndBadEntriesAreReported)
{
    const QString path = QCoreApplication::applicationDirPath() + "/FilterTestModel_Filter.xml";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<Filter>"
                   "<Feature><Name>AcquisitionMode</Name><Visibility>Everyone</Visibility><AccessMode>RO</AccessMode></"
                   "Feature>"
                   "<Feature><Name>DeviceScanType</Name><AccessMode>Sometimes</AccessMode></Feature>"
                   "<Feature><Visibility>Guru</Visibility></Feature>"
                   "<Feature><Name></Name></Feature>"
                   "<Feature><Name>NotThere</Name><Visibility>Guru</Visibility></Feature>"
                   "</Filter>");
    }
    NodeMapPtr map(GenApi::CreateNodeMap(withModel("FilterTestModel", kFiltered).c_str(), {}, "Device"));
    testsupport::LogCapture log;
    EXPECT_TRUE(NodeMapFilter::apply(map.get()));
    QFile::remove(path);
    EXPECT_TRUE(log.contains("NodeMapFilter::processElement: invalid visibility: Everyone"));
    EXPECT_TRUE(log.contains("NodeMapFilter::processElement: invalid access mode: Sometimes"));
    EXPECT_TRUE(log.contains("NodeMapFilter::processElement: failed to get the name of a filter item"));
    EXPECT_TRUE(log.contains("NodeMapFilter::processElement: empty name found"));
    EXPECT_EQ(map->GetNode("AcquisitionMode")->GetAccessMode(), GenApi::RW) << "the bad visibility ends the entry";
    EXPECT_EQ(map->GetNode("AcquisitionMode")->GetVisibility(), GenApi::Beginner);
}

TEST(NodeMapFilterTest, UnparsableFileImposesNothing)
{
    const QString path = QCoreApplication::applicationDirPath() + "/BrokenModel_Filter.xml";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<Filter><Feature>");
    }
    NodeMapPtr map(GenApi::CreateNodeMap(withModel("BrokenModel", kFiltered).c_str(), {}, "Device"));
    testsupport::LogCapture log;
    EXPECT_FALSE(NodeMapFilter::apply(map.get()));
    QFile::remove(path);
    EXPECT_TRUE(log.contains("NodeMapFilter::createDocument: failed to parse file"));
    EXPECT_EQ(map->GetNode("AcquisitionMode")->GetVisibility(), GenApi::Beginner);
}

class ProxyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearFavorites(model.GetFavorites());
        proxy.setSourceModel(&model);
        model.rebuildFavoriteItems();
        proxy.addNodeMap(map.get(), "Camera", "Cam", false);
        proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    }
    void TearDown() override { clearFavorites(model.GetFavorites()); }

    NodeMapPtr map = createCamera(R"(
      <Category Name="Root" NameSpace="Standard"><pFeature>AnalogControl</pFeature></Category>
      <Category Name="AnalogControl" NameSpace="Standard"><DisplayName>Gain Controls</DisplayName>
        <pFeature>Gain</pFeature><pFeature>GainRaw</pFeature><pFeature>Width</pFeature></Category>
      <Float Name="Gain" NameSpace="Standard"><DisplayName>Gain</DisplayName><Value>1</Value><Min>0</Min><Max>2</Max></Float>
      <Integer Name="GainRaw" NameSpace="Standard"><DisplayName>Gain (Raw)</DisplayName><Visibility>Guru</Visibility><Value>1</Value></Integer>
      <Integer Name="Width" NameSpace="Standard"><DisplayName>Width</DisplayName><Value>1</Value></Integer>)");
    FeatureTreeModel model;
    FeatureTreeProxyModel proxy;
};

TEST_F(ProxyTest, SearchCountsVisibleAndHigherLevelMatches)
{
    proxy.setVisibility(GenApi::Beginner);
    proxy.setFilterFixedString("gain");
    EXPECT_EQ(proxy.visibleMatchCount(), 1);
    EXPECT_EQ(proxy.higherLevelMatchCount(), 1);
    EXPECT_TRUE(findNode(proxy, "Gain").isValid());
    EXPECT_FALSE(findNode(proxy, "GainRaw").isValid());
    EXPECT_FALSE(findNode(proxy, "Width").isValid());
    EXPECT_TRUE(findNode(proxy, "AnalogControl").isValid()) << "shown through its matching feature";

    proxy.setVisibility(GenApi::Guru);
    proxy.invalidate();
    EXPECT_TRUE(findNode(proxy, "GainRaw").isValid());
    EXPECT_EQ(proxy.higherLevelMatchCount(), 0);
}

TEST_F(ProxyTest, CategoryNameAloneIsNoMatch)
{
    proxy.setFilterFixedString("controls");
    EXPECT_EQ(proxy.visibleMatchCount(), 0);
    EXPECT_FALSE(findNode(proxy, "AnalogControl").isValid());
}

TEST_F(ProxyTest, ForwardsTheTreeOperationsWithMappedIndexes)
{
    const QModelIndex gain = findNode(proxy, "Gain");
    EXPECT_EQ(proxy.getFeatureTreeItem(gain)->getFullName(), "Cam*Gain");
    EXPECT_TRUE(proxy.CanAddAsFavorite(gain));
    EXPECT_EQ(proxy.GetNodeMapName(map.get()), "Cam");
    EXPECT_EQ(proxy.GetFavoritesRootIndex(), proxy.mapFromSource(model.GetFavoritesRootIndex()));

    FeatureTreeProxyModel alone;
    EXPECT_EQ(alone.GetNodeMapName(map.get()), "unknown NodeMap name");
    EXPECT_EQ(alone.getFavoritesIndexFromModelIndex(QModelIndex()), -1);
    EXPECT_EQ(alone.GetFavorites().count(), 0);
}

TEST(FeatureTreeHighlighterTest, ColourComesFromTheSettingsAndFallsBack)
{
    struct Case {
        const char* stored;
        const char* used;
    } cases[] = {{nullptr, "#ffff50"}, {"#00ff00", "#00ff00"}, {"no colour", "#ffff50"}};
    for (const Case& c : cases) {
        QSettings settings;
        if (c.stored)
            settings.setValue("FeatureTree/HighlightColor", c.stored);
        else
            settings.remove("FeatureTree/HighlightColor");
        FeatureTreeHighlighter highlighter;
        highlighter.setSearchText("a");
        EXPECT_EQ(highlighter.highlight("xa"),
                  QString("x<span style='background-color: %1; font-weight:bold'>a</span>").arg(c.used))
            << (c.stored ? c.stored : "none");
        EXPECT_EQ(QSettings().value("FeatureTree/HighlightColor").toString(), c.used);
    }
    QSettings().remove("FeatureTree/HighlightColor");
    FeatureTreeHighlighter plain;
    EXPECT_EQ(plain.highlight("Gain <b>"), "Gain <b>") << "no search text, no change";
}

} // namespace
