// The feature tree view: level changes, persistent editors, the favourites branch and the empty-result text.
#include "FeatureTreeFixtures.h"

#include <orbelt/FeatureTreeProxyModel.h>
#include <orbelt/FeatureTreeView.h>
#include <orbelt/SpinBox.h>

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QImage>
#include <QStandardItemModel>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace featuretreetest;

namespace {

class FeatureTreeViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearFavorites(extension()->GetFavorites());
        view.setVisibility(GenApi::Beginner);
        extension()->addNodeMap(map.get(), "Camera", "Cam", false);
        // As the widget does after adding a node map: the proxy filters again with every row present.
        proxy()->invalidate();
        view.resize(400, 400);
    }
    void TearDown() override { clearFavorites(extension()->GetFavorites()); }

    IFeatureTreeModelExtension* extension() { return view.getFeatureExtension(); }
    QSortFilterProxyModel* proxy() { return qobject_cast<QSortFilterProxyModel*>(view.model()); }
    QModelIndex expandTo(const char* name)
    {
        const QModelIndex index = findNode(*view.model(), name);
        for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
            view.expand(parent);
        return index;
    }

    NodeMapPtr map = createCamera();
    FeatureTreeView view;
};

TEST_F(FeatureTreeViewTest, SettingTheSameLevelTwiceDoesNothingTheSecondTime)
{
    QSignalSpy inserted(proxy()->sourceModel(), &QAbstractItemModel::rowsInserted);
    view.setVisibility(GenApi::Expert);
    EXPECT_GT(inserted.count(), 0) << "the favourites rows are rebuilt";
    inserted.clear();
    view.setVisibility(GenApi::Expert);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(view.visibility(), GenApi::Expert);
}

TEST_F(FeatureTreeViewTest, RowsAboveTheLevelAreHidden)
{
    const QModelIndex hidden = expandTo("Hidden");
    const QModelIndex width = expandTo("Width");
    EXPECT_TRUE(view.isRowHidden(hidden.row(), hidden.parent()));
    EXPECT_FALSE(view.isRowHidden(width.row(), width.parent()));
    view.setVisibility(GenApi::Guru);
    view.updateRows(QModelIndex());
    EXPECT_FALSE(view.isRowHidden(hidden.row(), hidden.parent()));
}

TEST_F(FeatureTreeViewTest, EditorClosesWhenTheValueBecomesUnavailable)
{
    NodeMapPtr local = createCamera(R"(
      <Category Name="Root" NameSpace="Standard"><pFeature>Shutter</pFeature></Category>
      <Enumeration Name="Shutter" NameSpace="Custom"><DisplayName>Shutter</DisplayName><pIsAvailable>ModeOn</pIsAvailable>
        <EnumEntry Name="Off"><Value>0</Value></EnumEntry><EnumEntry Name="On"><Value>1</Value></EnumEntry><Value>0</Value></Enumeration>
      <Integer Name="ModeOn" NameSpace="Custom"><Value>1</Value></Integer>)");
    extension()->addNodeMap(local.get(), "Other", "Other", false);
    proxy()->invalidate();
    const QModelIndex mode = expandTo("Shutter").siblingAtColumn(1);
    ASSERT_TRUE(mode.isValid());
    EXPECT_TRUE(view.isPersistentEditorOpen(mode));
    GenApi::CIntegerPtr(local->GetNode("ModeOn"))->SetValue(0);
    EXPECT_FALSE(view.isPersistentEditorOpen(mode));
    GenApi::CIntegerPtr(local->GetNode("ModeOn"))->SetValue(1);
    EXPECT_TRUE(view.isPersistentEditorOpen(mode));
}

// The box shows a value rounded to the feature's display precision: leaving it untouched must not write that
// rounded value back to the camera; what the user types is written.
TEST_F(FeatureTreeViewTest, AFloatBoxCommitsOnlyWhatTheUserTyped)
{
    NodeMapPtr local = createCamera(R"(
      <Category Name="Root" NameSpace="Standard"><pFeature>Level</pFeature><pFeature>Shutter</pFeature></Category>
      <Float Name="Level" NameSpace="Custom"><DisplayName>Level</DisplayName><Value>1.257</Value><Min>0</Min>
        <Max>24</Max><DisplayPrecision>2</DisplayPrecision><Representation>PureNumber</Representation></Float>
      <Float Name="Shutter" NameSpace="Custom"><DisplayName>Shutter</DisplayName><pAlias>ShutterRaw</pAlias>
        <Value>1.257</Value><Min>0</Min><Max>24</Max><DisplayPrecision>2</DisplayPrecision>
        <Representation>Linear</Representation></Float>
      <Integer Name="ShutterRaw" NameSpace="Custom"><Value>100</Value><Min>0</Min><Max>400</Max><Inc>4</Inc></Integer>)");
    extension()->addNodeMap(local.get(), "Other", "Other", false);
    proxy()->invalidate();
    const auto focus = [](QWidget* box, QEvent::Type type) {
        QFocusEvent event(type, Qt::TabFocusReason);
        QApplication::sendEvent(box, &event);
    };
    for (const char* name : {"Level", "Shutter"}) { // a plain float box and one beside a slider
        SCOPED_TRACE(name);
        const QModelIndex cell = expandTo(name).siblingAtColumn(1);
        ASSERT_TRUE(view.isPersistentEditorOpen(cell));
        auto* box = view.indexWidget(cell)->findChild<NimboQtDoubleSpinBox*>();
        ASSERT_NE(box, nullptr);
        GenApi::CFloatPtr node(local->GetNode(name));
        ASSERT_EQ(box->text(), "1.26");

        focus(box, QEvent::FocusIn);
        focus(box, QEvent::FocusOut);
        EXPECT_DOUBLE_EQ(node->GetValue(), 1.257) << "clicked into and left";
        focus(box, QEvent::FocusIn);
        QTest::keyClick(box, Qt::Key_Return);
        focus(box, QEvent::FocusOut);
        EXPECT_DOUBLE_EQ(node->GetValue(), 1.257) << "Enter on the shown value";
        focus(box, QEvent::FocusIn);
        QTest::keyClicks(box, "7");
        QTest::keyClick(box, Qt::Key_Escape);
        focus(box, QEvent::FocusOut);
        EXPECT_DOUBLE_EQ(node->GetValue(), 1.257) << "typed and taken back with Escape";

        focus(box, QEvent::FocusIn); // selects the whole text
        QTest::keyClicks(box, "3.5");
        focus(box, QEvent::FocusOut);
        EXPECT_DOUBLE_EQ(node->GetValue(), 3.5) << "typed and left";
        node->SetValue(1.257); // shown again through the node's callback
        focus(box, QEvent::FocusIn);
        QTest::keyClicks(box, "4.25");
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_DOUBLE_EQ(node->GetValue(), 4.25) << "typed and entered";
        focus(box, QEvent::FocusOut);
    }
}

TEST_F(FeatureTreeViewTest, CollapsingTheFavoritesIsSaved)
{
    const QModelIndex root = extension()->GetFavoritesRootIndex();
    view.expand(root);
    EXPECT_TRUE(extension()->GetFavorites().isExpanded());
    view.collapse(root);
    EXPECT_FALSE(extension()->GetFavorites().isExpanded());
    extension()->GetFavorites().save(view.getSettingsPath());
    EXPECT_EQ(QSettings().value("Favorites/Expanded").toInt(), 0);
}

TEST_F(FeatureTreeViewTest, EmptyResultIsSaidInTheView)
{
    auto* proxy = qobject_cast<FeatureTreeProxyModel*>(view.model());
    ASSERT_NE(proxy, nullptr);
    proxy->setFilterFixedString("no feature has this name");
    proxy->invalidate();
    ASSERT_EQ(view.model()->rowCount(), 0);

    // An empty plain tree of the same size and palette shows nothing; the difference is the message.
    view.setHeaderHidden(true);
    QTreeView plain;
    plain.setHeaderHidden(true);
    QStandardItemModel empty;
    plain.setModel(&empty);
    plain.setPalette(view.palette());
    plain.resize(view.size());
    view.show();
    plain.show();
    const QImage withMessage = view.viewport()->grab().toImage();
    const QImage blank = plain.viewport()->grab().toImage();
    ASSERT_EQ(withMessage.size(), blank.size());
    EXPECT_NE(withMessage, blank);
}

} // namespace
