// The feature tree panel: search snapshot, search-help row, Escape, levels, favourites actions, clipboard dump.
#include "FeatureTreeFixtures.h"

#include <orbelt/FeatureTreeProxyModel.h>
#include <orbelt/FeatureTreeWidget.h>
#include <orbelt/SearchEdit.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace featuretreetest;

namespace {

class FeatureTreeWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearFavorites(widget.getFeatureExtension()->GetFavorites());
        widget.addNodeMap(map.get(), "Camera", "Cam", false);
    }
    void TearDown() override { clearFavorites(widget.getFeatureExtension()->GetFavorites()); }

    QTreeView* view() { return widget.treeView(); }
    SearchEdit* search() { return widget.findChild<SearchEdit*>("filterEdit"); }
    QModelIndex find(const char* name) { return findNode(*view()->model(), name); }
    FeatureTreeItem* searchHelp() { return widget.getFeatureExtension()->getSearchHelpItem(); }

    NodeMapPtr map = createCamera();
    FeatureTreeWidget widget{"Features", nullptr, GenApi::Expert, false, nullptr};
};

TEST_F(FeatureTreeWidgetTest, ClearingTheSearchRestoresExpansionAndCurrentRow)
{
    const QModelIndex category = find("ImageFormatControl");
    view()->expand(category.parent());
    view()->expand(category);
    view()->collapse(find("States"));
    view()->setCurrentIndex(find("Width"));

    search()->setText("Label");
    EXPECT_NE(view()->currentIndex().data(FeatureTreeItem::GenicamNameRole).toString(), "");
    search()->setText("");

    EXPECT_TRUE(view()->isExpanded(find("ImageFormatControl")));
    EXPECT_FALSE(view()->isExpanded(find("States")));
    EXPECT_EQ(view()->currentIndex().data(FeatureTreeItem::GenicamNameRole).toString(), "Width");
}

TEST_F(FeatureTreeWidgetTest, SearchHelpRowShowsOnlyForMatchesAtHigherLevels)
{
    QSignalSpy matches(&widget, &FeatureTreeWidget::filterMatchesChanged);
    search()->setText("Width");
    ASSERT_FALSE(matches.isEmpty());
    EXPECT_EQ(matches.last()[1].toInt(), 0);
    EXPECT_EQ(searchHelp()->getVisibility(), GenApi::Invisible);

    search()->setText("Hidden");
    EXPECT_EQ(matches.last()[0].toInt(), 1);
    EXPECT_EQ(matches.last()[1].toInt(), 1);
    EXPECT_EQ(searchHelp()->getVisibility(), GenApi::Beginner);
    EXPECT_EQ(searchHelp()->getName(), "<HTML><B>1 search results (1 of them visible at higher user level)</B>");

    // The level that shows the match makes the count and the row say so; going back brings both back.
    const auto helpShown = [&] {
        const QAbstractItemModel* shown = view()->model();
        for (int row = 0; row < shown->rowCount(); ++row)
            if (shown->index(row, 0).data(FeatureTreeItem::FullNodeNameRole).toString() == "Search")
                return true;
        return false;
    };
    ASSERT_TRUE(helpShown());
    widget.setVisibility(GenApi::Guru);
    EXPECT_EQ(matches.last()[0].toInt(), 1);
    EXPECT_EQ(matches.last()[1].toInt(), 0);
    EXPECT_EQ(searchHelp()->getVisibility(), GenApi::Invisible);
    EXPECT_FALSE(helpShown());
    widget.setVisibility(GenApi::Expert);
    EXPECT_EQ(matches.last()[1].toInt(), 1);
    EXPECT_EQ(searchHelp()->getVisibility(), GenApi::Beginner);
    EXPECT_TRUE(helpShown());

    search()->setText("");
    EXPECT_EQ(matches.last()[0].toInt(), 0);
    EXPECT_EQ(searchHelp()->getVisibility(), GenApi::Invisible);
}

// The keys go where the user types them, to the focused child: it takes the key between the Escapes, and
// the Escapes, which it leaves alone, reach the panel.
// Only features are results: neither the hint under an empty Favorites, nor the search-help row, nor a
// favourite whose camera is not there.
TEST_F(FeatureTreeWidgetTest, SearchCountsFeatureRowsOnly)
{
    QSignalSpy matches(&widget, &FeatureTreeWidget::filterMatchesChanged);
    const auto total = [&](const char* text) {
        search()->setText(text);
        return matches.last()[0].toInt();
    };
    EXPECT_EQ(total("right-click"), 0) << "the hint row";
    EXPECT_EQ(total("Hidden"), 1);
    ASSERT_EQ(searchHelp()->getVisibility(), GenApi::Beginner);
    EXPECT_EQ(total("results"), 0) << "the search-help row";
    search()->setText("");
    const bool viewAll = widget.getViewAllFavorites();
    widget.setViewAllFavorites(true); // unavailable favourites are shown
    widget.getFeatureExtension()->GetFavorites().append({"Width", "Width", "Other"});
    EXPECT_EQ(total("Width"), 1) << "an unavailable favourite";
    widget.setViewAllFavorites(viewAll);
}

TEST_F(FeatureTreeWidgetTest, TwoEscapesInARowClearTheSearch)
{
    struct Case {
        const char* what;
        QWidget* focused;
        Qt::Key between;
        const char* kept;
    } cases[] = {
        {"a letter typed into the search field", search(), Qt::Key_A, "Widtha"},
        {"a move in the tree", view(), Qt::Key_Down, "Width"},
        // A key that a shortcut takes never arrives as a key press, yet it is a key in between.
        {"the search shortcut", search(), Qt::Key_F3, "Width"},
    };
    widget.show();
    QApplication::setActiveWindow(&widget);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        search()->setText("Width");
        c.focused->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return c.focused->hasFocus(); }, 10000));
        QTest::keyClick(c.focused, Qt::Key_Escape);
        QTest::keyClick(c.focused, c.between);
        QTest::keyClick(c.focused, Qt::Key_Escape);
        EXPECT_EQ(search()->text().toStdString(), c.kept);
        QTest::keyClick(c.focused, Qt::Key_Escape);
        EXPECT_EQ(search()->text().toStdString(), "");
    }
}

// The user leaves the panel after an Escape, types elsewhere and comes back: that work parts the Escapes
// as well, so the next single Escape keeps the search.
TEST(FeatureTreeWidgetFocusTest, KeysTypedOutsideThePanelPartTwoEscapes)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* panel = new FeatureTreeWidget("Features", &window, GenApi::Expert, false, nullptr);
    auto* elsewhere = new QLineEdit(&window);
    layout->addWidget(panel);
    layout->addWidget(elsewhere);
    window.show();
    QApplication::setActiveWindow(&window);
    auto* field = panel->findChild<SearchEdit*>("filterEdit");
    ASSERT_NE(field, nullptr);
    const auto focusOn = [](QWidget* target) {
        target->setFocus();
        return QTest::qWaitFor([&] { return target->hasFocus(); }, 10000);
    };
    field->setText("Width");
    ASSERT_TRUE(focusOn(field));
    QTest::keyClick(field, Qt::Key_Escape);
    ASSERT_TRUE(focusOn(elsewhere));
    QTest::keyClicks(elsewhere, "note");
    ASSERT_TRUE(focusOn(field));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(field->text().toStdString(), "Width");
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(field->text().toStdString(), "");
}

TEST_F(FeatureTreeWidgetTest, LevelsWithoutDebug)
{
    auto* combo = widget.findChild<QComboBox*>("comboBox");
    ASSERT_EQ(combo->count(), 3);
    QSignalSpy changed(&widget, &FeatureTreeWidget::visibilityChanged);
    widget.onVisibilityChanged(7);
    widget.onVisibilityChanged(2);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(widget.visibility(), GenApi::Guru);
    EXPECT_EQ(combo->currentIndex(), 2);

    FeatureTreeWidget debugWidget("Debug", nullptr, GenApi::Invisible, true, nullptr);
    EXPECT_EQ(debugWidget.findChild<QComboBox*>("comboBox")->count(), 4);
    EXPECT_EQ(debugWidget.findChild<QComboBox*>("comboBox")->currentIndex(), 3);
}

TEST_F(FeatureTreeWidgetTest, FavouriteActionsFollowTheCurrentRow)
{
    auto* add = widget.findChild<QAction*>("actionAddToFavourites");
    auto* remove = widget.findChild<QAction*>("actionRemoveFavourite");
    view()->setCurrentIndex(find("Width"));
    EXPECT_TRUE(add->isEnabled());
    widget.AddToFavourites_triggered();
    view()->setCurrentIndex(find("Gain"));
    widget.AddToFavourites_triggered();
    EXPECT_EQ(widget.getFeatureExtension()->GetFavorites().count(), 2);

    const QModelIndex root = widget.getFeatureExtension()->GetFavoritesRootIndex();
    view()->expand(root);
    view()->setCurrentIndex(view()->model()->index(1, 0, root));
    EXPECT_TRUE(widget.IsCurrentFavorite());
    EXPECT_TRUE(remove->isEnabled());
    widget.FavouriteRemove_triggered();
    EXPECT_EQ(widget.getFeatureExtension()->GetFavorites().count(), 1);
    EXPECT_EQ(view()->currentIndex().row(), 0) << "the last favourite gives the current row to the one above";
    EXPECT_EQ(view()->currentIndex().parent(), widget.getFeatureExtension()->GetFavoritesRootIndex());
}

TEST_F(FeatureTreeWidgetTest, RefreshAndFavouriteActionsShowTheirIcons)
{
    auto* refresh = widget.findChild<QToolButton*>("resetButton");
    ASSERT_NE(refresh, nullptr);
    EXPECT_FALSE(refresh->icon().pixmap(16, 16).isNull()) << "the refresh button is an empty square";
    for (const char* name :
         {"actionAddToFavourites", "actionMoveFavouriteUp", "actionMoveFavouriteDown", "actionRemoveFavourite"}) {
        auto* action = widget.findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_FALSE(action->icon().pixmap(16, 16).isNull()) << name;
    }
}

TEST_F(FeatureTreeWidgetTest, PollingBoxOnlyReports)
{
    QSignalSpy polling(&widget, &FeatureTreeWidget::pollingStateChanged);
    auto* toggle = widget.findChild<QAction*>("actionTogglePolling");
    toggle->trigger();
    ASSERT_EQ(polling.count(), 1);
    EXPECT_FALSE(polling[0][0].toBool());
    EXPECT_FALSE(widget.getPolling()) << "switching is left to the host";
    widget.setPolling(true);
    EXPECT_TRUE(widget.getPolling());
    EXPECT_TRUE(toggle->isChecked());
    widget.setPolling(false);
}

// The host closes the device and then destroys its node map; the panel still stands and repaints.
TEST_F(FeatureTreeWidgetTest, RowsOutliveTheirNodeMapWithoutReadingIt)
{
    widget.resize(400, 600);
    widget.show();
    view()->setCurrentIndex(find("Gain"));
    widget.AddToFavourites_triggered();
    widget.expandTree();
    const QPersistentModelIndex width = find("Width").siblingAtColumn(1);
    ASSERT_EQ(width.data().toString(), "640");
    widget.grab();

    widget.deviceIsClosed();
    map.reset();
    widget.grab(); // every visible row and editor is painted again
    EXPECT_EQ(width.data().toString(), "") << "nothing is left to show";
    EXPECT_FALSE(width.flags() & Qt::ItemIsEditable);
    widget.copyToClipboard();
    widget.onFilterTextChanged("Gain");
    widget.onFilterTextChanged("");
    widget.setVisibility(GenApi::Guru); // rebuilds the favourites rows, the live one included
    widget.grab();
}

// The search-help row outlives a clear, but the results it counted went with the node maps: the next
// node map must not be shown under them (nor the search-help row instead of "No search results found.").
TEST_F(FeatureTreeWidgetTest, AfterAClearTheSearchRowCountsNothingOfTheNodeMapsThatWent)
{
    search()->setText("Hidden");
    ASSERT_EQ(searchHelp()->getVisibility(), GenApi::Beginner);
    widget.clear();
    map.reset();
    EXPECT_EQ(view()->model()->rowCount(), 0) << "the search-help row is not shown for nothing";
    NodeMapPtr next = createCamera(R"(
      <Category Name="Root" NameSpace="Standard"><pFeature>Width</pFeature></Category>
      <Integer Name="Width" NameSpace="Standard"><Value>320</Value></Integer>)");
    widget.addNodeMap(next.get(), "Camera", "Cam", false);
    EXPECT_EQ(searchHelp()->getVisibility(), GenApi::Invisible);
    EXPECT_FALSE(searchHelp()->getName().contains("1 search results")) << searchHelp()->getName().toStdString();
    EXPECT_EQ(searchHelp()->data(0, Qt::ToolTipRole).toString().toStdString(), "");
    EXPECT_EQ(view()->model()->rowCount(), 0) << "nothing of the new node map matches";
    widget.clear();
}

TEST_F(FeatureTreeWidgetTest, ClipboardDumpIndentsByDepth)
{
    search()->setText("Width");
    widget.copyToClipboard();
    const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.contains(QString("    ") + QString("Width").leftJustified(36) + "\t640"))
        << lines.join("|").toStdString();
}

} // namespace
