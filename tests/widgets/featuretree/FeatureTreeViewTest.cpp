// The feature tree view: level changes, persistent editors, the favourites branch and the empty-result text.
#include "FeatureTreeFixtures.h"

#include <orbelt/FeatureTreeProxyModel.h>
#include <orbelt/FeatureTreeView.h>
#include <orbelt/SpinBox.h>
#include <testsupport/FloatBoxSessions.h>

#include <QApplication>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace featuretreetest;

namespace {

// A plain float box (Level) and one beside a slider (Shutter), both showing 1.257 at two decimals.
const char* const kFloatBoxNodes = R"(
  <Category Name="Root" NameSpace="Standard"><pFeature>Level</pFeature><pFeature>Shutter</pFeature></Category>
  <Float Name="Level" NameSpace="Custom"><DisplayName>Level</DisplayName><Value>1.257</Value><Min>0</Min>
    <Max>24</Max><DisplayPrecision>2</DisplayPrecision><Representation>PureNumber</Representation></Float>
  <Float Name="Shutter" NameSpace="Custom"><DisplayName>Shutter</DisplayName><pAlias>ShutterRaw</pAlias>
    <Value>1.257</Value><Min>0</Min><Max>24</Max><DisplayPrecision>2</DisplayPrecision>
    <Representation>Linear</Representation></Float>
  <Integer Name="ShutterRaw" NameSpace="Custom"><Value>100</Value><Min>0</Min><Max>400</Max><Inc>4</Inc></Integer>)";

// A drag runs a platform loop of its own; the view records what it would drag instead.
class DragRecordingView : public FeatureTreeView {
public:
    std::unique_ptr<QMimeData> dragged;

protected:
    void startDrag(Qt::DropActions actions) override
    {
        if (actions & Qt::MoveAction)
            dragged.reset(model()->mimeData(selectedIndexes()));
    }
};

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

    std::string favoriteNames()
    {
        std::string names;
        for (int i = 0; i < extension()->GetFavorites().count(); ++i)
            names += (i ? " " : "") + std::string(extension()->GetFavorites().at(i)->name.c_str());
        return names;
    }
    // Presses on a row and moves the mouse with the button held, as a user starts a drag.
    void dragFrom(const QModelIndex& index)
    {
        const QPoint start = view.visualRect(index).center();
        QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, start);
        // The first move arms the drag, a move beyond the drag distance starts it.
        QPoint at = start;
        for (int i = 0; i < 2; ++i) {
            at += QPoint(0, 2 * QApplication::startDragDistance());
            QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view.viewport(), &move);
        }
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    // Enters, moves over and drops onto the middle of a row; true when the view took the drop.
    bool dropOnto(const QModelIndex& index, const QMimeData* data)
    {
        const QPoint at = view.visualRect(index).center();
        QDragEnterEvent enter(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &enter);
        QDragMoveEvent move(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        move.setDropAction(Qt::MoveAction);
        QApplication::sendEvent(view.viewport(), &move);
        if (!move.isAccepted())
            return false;
        QDropEvent drop(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        drop.setDropAction(Qt::MoveAction);
        QApplication::sendEvent(view.viewport(), &drop);
        return drop.isAccepted();
    }

    NodeMapPtr map = createCamera();
    DragRecordingView view;
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
    NodeMapPtr local = createCamera(kFloatBoxNodes);
    extension()->addNodeMap(local.get(), "Other", "Other", false);
    proxy()->invalidate();
    const auto focus = [](QWidget* box, QEvent::Type type) {
        QFocusEvent event(type, Qt::TabFocusReason); // focus in selects the whole text
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
        for (const auto& session : testsupport::floatBoxSessions(box, [&](double v) { node->SetValue(v); })) {
            node->SetValue(1.257); // shown through the node's callback while the box has no focus
            ASSERT_EQ(box->text(), "1.26");
            focus(box, QEvent::FocusIn);
            session.inside();
            focus(box, QEvent::FocusOut);
            EXPECT_DOUBLE_EQ(node->GetValue(), session.value) << session.what;
        }
    }
}

// The camera locks a feature while the user types into its box (an acquisition starts): Enter writes
// nothing, and the box must then show the camera's value, not the typed one as though it had been taken.
TEST_F(FeatureTreeViewTest, AFloatBoxWhoseWriteIsRefusedShowsTheCamerasValue)
{
    NodeMapPtr local = createCamera(kFloatBoxNodes);
    extension()->addNodeMap(local.get(), "Other", "Other", false);
    proxy()->invalidate();
    for (const char* name : {"Level", "Shutter"}) {
        SCOPED_TRACE(name);
        const QModelIndex cell = expandTo(name).siblingAtColumn(1);
        ASSERT_TRUE(view.isPersistentEditorOpen(cell));
        auto* box = view.indexWidget(cell)->findChild<NimboQtDoubleSpinBox*>();
        ASSERT_NE(box, nullptr);
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(box, &in);
        QTest::keyClicks(box, "3.5");
        local->GetNode(name)->ImposeAccessMode(GenApi::RO);
        QTest::keyClick(box, Qt::Key_Return);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(box, &out);
        EXPECT_DOUBLE_EQ(GenApi::CFloatPtr(local->GetNode(name))->GetValue(), 1.257);
        EXPECT_EQ(box->text(), "1.26");
        EXPECT_FALSE(view.indexWidget(cell)->isEnabled()) << "the camera no longer takes a value";
    }
}

// A feature is dragged from the tree onto the Favorites row, which appends it; so does a favourite dragged
// onto that row. Four favourites: more than the tree's top-level rows, which a drop there must not count.
TEST_F(FeatureTreeViewTest, DraggingOntoTheFavoritesRowAppends)
{
    for (const char* name : {"Gain", "Mode", "Flag", "Label"})
        extension()->AddFavorite(map->GetNode(name), 99);
    view.show();
    const QModelIndex root = extension()->GetFavoritesRootIndex();
    view.expand(root);

    dragFrom(expandTo("Width"));
    ASSERT_TRUE(view.dragged) << "no drag starts from a feature row";
    ASSERT_TRUE(dropOnto(extension()->GetFavoritesRootIndex(), view.dragged.get()));
    EXPECT_EQ(favoriteNames(), "Gain Mode Flag Label Width");

    view.dragged.reset();
    dragFrom(view.model()->index(0, 0, extension()->GetFavoritesRootIndex()));
    ASSERT_TRUE(view.dragged) << "no drag starts from a favourite";
    ASSERT_TRUE(dropOnto(extension()->GetFavoritesRootIndex(), view.dragged.get()));
    EXPECT_EQ(favoriteNames(), "Mode Flag Label Width Gain");
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
