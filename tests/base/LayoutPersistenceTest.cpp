// Round trips of widget geometries and header layouts through the settings store.
#include "brasko/LayoutPersistence.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// Every test starts from an empty settings store.
class LayoutPersistence : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().clear();
        ASSERT_FALSE(QGuiApplication::screens().isEmpty());
    }
    void TearDown() override { QSettings().clear(); }

    static QRect screenArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    static void place(QWidget& widget, const QPoint& position, const QSize& size)
    {
        widget.resize(size);
        widget.move(position);
    }
};

// A table view whose header has four sections of known widths.
struct HeaderFixture {
    HeaderFixture() : model(3, 4)
    {
        view.setModel(&model);
        for (int i = 0; i < 4; ++i)
            view.horizontalHeader()->resizeSection(i, 40 + 10 * i);
    }
    QHeaderView* header() { return view.horizontalHeader(); }
    std::vector<int> widths()
    {
        std::vector<int> result;
        for (int i = 0; i < 4; ++i)
            result.push_back(header()->sectionSize(i));
        return result;
    }

    QStandardItemModel model;
    QTableView view;
};

} // namespace

TEST_F(LayoutPersistence, RoundTripWithoutReference)
{
    const QRect area = screenArea();
    QWidget saved;
    place(saved, area.topLeft() + QPoint(100, 120), QSize(300, 200));
    ASSERT_TRUE(saveWidgetPositionAndSize(L"Dialog", &saved, nullptr));

    QSettings settings;
    EXPECT_EQ(settings.value("Dialog/pos").toPoint(), saved.pos());
    EXPECT_EQ(settings.value("Dialog/size").toSize(), QSize(300, 200));
    EXPECT_FALSE(settings.contains("Dialog/pos_r"));

    QWidget restored;
    place(restored, area.topLeft(), QSize(50, 50));
    ASSERT_TRUE(restoreWidgetPositionAndSize(L"Dialog", &restored, nullptr));
    EXPECT_EQ(restored.pos(), saved.pos());
    EXPECT_EQ(restored.size(), QSize(300, 200));
}

TEST_F(LayoutPersistence, RelativePositionFollowsTheReferenceWidget)
{
    const QRect area = screenArea();
    QWidget mainWindow;
    QWidget dialog;
    place(mainWindow, area.topLeft() + QPoint(50, 60), QSize(200, 150));
    place(dialog, mainWindow.pos() + QPoint(200, 0), QSize(120, 100));
    ASSERT_TRUE(saveWidgetPositionAndSize(L"Floating", &dialog, &mainWindow));
    EXPECT_EQ(QSettings().value("Floating/pos_r").toPoint(), QPoint(200, 0));
    EXPECT_FALSE(QSettings().contains("Floating/pos"));

    mainWindow.move(area.topLeft() + QPoint(10, 30));
    QWidget again;
    ASSERT_TRUE(restoreWidgetPositionAndSize(L"Floating", &again, &mainWindow));
    EXPECT_EQ(again.pos(), mainWindow.pos() + QPoint(200, 0));
    EXPECT_EQ(again.size(), QSize(120, 100));

    // A relative position is not mistaken for an absolute one, nor the other way round.
    QWidget other;
    EXPECT_FALSE(restoreWidgetPositionAndSize(L"Floating", &other, nullptr));
    ASSERT_TRUE(saveWidgetPositionAndSize(L"Absolute", &dialog, nullptr));
    EXPECT_FALSE(restoreWidgetPositionAndSize(L"Absolute", &other, &mainWindow));
}

TEST_F(LayoutPersistence, AGeometryOffEveryScreenKeepsThePlaceButTakesTheSize)
{
    QRect everything;
    for (const QScreen* screen : QGuiApplication::screens())
        everything |= screen->geometry();
    {
        QSettings settings;
        settings.beginGroup("Lost");
        settings.setValue("pos", everything.bottomRight() + QPoint(500, 500));
        settings.setValue("size", QSize(320, 240));
    }
    QWidget widget;
    place(widget, screenArea().topLeft() + QPoint(20, 20), QSize(100, 100));
    const QPoint before = widget.pos();
    EXPECT_FALSE(restoreWidgetPositionAndSize(L"Lost", &widget, nullptr));
    EXPECT_EQ(widget.pos(), before);
    EXPECT_EQ(widget.size(), QSize(320, 240));
}

TEST_F(LayoutPersistence, OnlyMoreThanTheFrameMarginsOnAScreenCountsAsVisible)
{
    const QRect area = screenArea();
    const QSize size(100, 100);
    const struct {
        const char* what;
        QPoint position;
        QSize size;
        bool visible;
    } cases[] = {
        {"inside", area.center(), size, true},
        {"right: 8 px margin only", QPoint(area.right() + 1 - 8, area.top() + 10), size, false},
        {"right: one pixel more", QPoint(area.right() - 8, area.top() + 10), size, true},
        {"below: 16 px title margin only", QPoint(area.left() + 10, area.bottom() + 1 - 16), size, false},
        {"below: one pixel more", QPoint(area.left() + 10, area.bottom() - 16), size, true},
        {"left: 8 px margin only", QPoint(area.left() - size.width() + 8, area.top() + 10), size, false},
        {"left: one pixel more", QPoint(area.left() - size.width() + 9, area.top() + 10), size, true},
        {"above: 8 px margin only", QPoint(area.left() + 10, area.top() - size.height() + 8), size, false},
        {"above: one pixel more", QPoint(area.left() + 10, area.top() - size.height() + 9), size, true},
        {"too small to be seen", area.center(), QSize(16, 24), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            QSettings settings;
            settings.beginGroup("Edge");
            settings.setValue("pos", c.position);
            settings.setValue("size", c.size);
        }
        QWidget widget;
        place(widget, area.topLeft() + QPoint(5, 5), QSize(60, 60));
        const QPoint before = widget.pos();
        EXPECT_EQ(restoreWidgetPositionAndSize(L"Edge", &widget, nullptr), c.visible);
        EXPECT_EQ(widget.pos(), c.visible ? c.position : before);
        EXPECT_EQ(widget.size(), c.size);
    }
}

TEST_F(LayoutPersistence, WithoutAStoredSizeTheCurrentOneIsTested)
{
    const QRect area = screenArea();
    {
        QSettings settings;
        settings.setValue("NoSize/pos", area.topLeft() + QPoint(30, 40));
    }
    QWidget widget;
    place(widget, area.topLeft(), QSize(200, 100));
    ASSERT_TRUE(restoreWidgetPositionAndSize(L"NoSize", &widget, nullptr));
    EXPECT_EQ(widget.pos(), area.topLeft() + QPoint(30, 40));
    EXPECT_EQ(widget.size(), QSize(200, 100));
}

TEST_F(LayoutPersistence, SettingsFormsWorkInTheCallersGroup)
{
    const QRect area = screenArea();
    QWidget widget;
    place(widget, area.topLeft() + QPoint(70, 80), QSize(150, 90));
    {
        QSettings settings;
        settings.beginGroup("Outer");
        settings.beginGroup("Inner");
        ASSERT_TRUE(saveWidgetPositionAndSize(&settings, &widget, nullptr));
    }
    EXPECT_EQ(QSettings().value("Outer/Inner/size").toSize(), QSize(150, 90));

    QSettings settings;
    settings.beginGroup("Outer/Inner");
    QWidget restored;
    ASSERT_TRUE(restoreWidgetPositionAndSize(&settings, &restored, nullptr));
    EXPECT_EQ(restored.pos(), widget.pos());
}

TEST_F(LayoutPersistence, NullOrEmptyArgumentsAreRefused)
{
    QWidget widget;
    QSettings settings;
    HeaderFixture table;
    EXPECT_FALSE(saveWidgetPositionAndSize(static_cast<QSettings*>(nullptr), &widget, nullptr));
    EXPECT_FALSE(saveWidgetPositionAndSize(&settings, nullptr, nullptr));
    EXPECT_FALSE(saveWidgetPositionAndSize(static_cast<const wchar_t*>(nullptr), &widget, nullptr));
    EXPECT_FALSE(saveWidgetPositionAndSize(L"", &widget, nullptr));
    EXPECT_FALSE(saveWidgetPositionAndSize(L"Group", nullptr, nullptr));
    EXPECT_FALSE(restoreWidgetPositionAndSize(static_cast<const QSettings*>(nullptr), &widget, nullptr));
    EXPECT_FALSE(restoreWidgetPositionAndSize(&settings, nullptr, nullptr));
    EXPECT_FALSE(restoreWidgetPositionAndSize(static_cast<const wchar_t*>(nullptr), &widget, nullptr));
    EXPECT_FALSE(restoreWidgetPositionAndSize(L"", &widget, nullptr));
    EXPECT_FALSE(saveHeaderLayout(static_cast<QSettings*>(nullptr), 1, table.header()));
    EXPECT_FALSE(saveHeaderLayout(&settings, 1, nullptr));
    EXPECT_FALSE(saveHeaderLayout(L"", 1, table.header()));
    EXPECT_FALSE(saveHeaderLayout(L"Group", 1, nullptr));
    EXPECT_FALSE(restoreHeaderLayout(static_cast<const QSettings*>(nullptr), 1, table.header()));
    EXPECT_FALSE(restoreHeaderLayout(&settings, 1, nullptr));
    EXPECT_FALSE(restoreHeaderLayout(static_cast<const wchar_t*>(nullptr), 1, table.header()));
    EXPECT_FALSE(restoreHeaderLayout(L"Group", 1, nullptr));
    EXPECT_TRUE(QSettings().allKeys().isEmpty()) << "a refused call writes nothing";
}

TEST_F(LayoutPersistence, HeaderLayoutRoundTripIsBoundToItsVersion)
{
    HeaderFixture saved;
    saved.header()->moveSection(0, 3);
    ASSERT_TRUE(saveHeaderLayout(L"Table", 1, saved.header()));
    EXPECT_EQ(QSettings().value("Table/headerver").toInt(), 1);

    HeaderFixture newer;
    newer.header()->resizeSection(0, 99);
    const std::vector<int> untouched = newer.widths();
    EXPECT_FALSE(restoreHeaderLayout(L"Table", 2, newer.header()));
    EXPECT_EQ(newer.widths(), untouched);
    EXPECT_EQ(newer.header()->visualIndex(0), 0);

    HeaderFixture same;
    same.header()->resizeSection(0, 99);
    ASSERT_TRUE(restoreHeaderLayout(L"Table", 1, same.header()));
    EXPECT_EQ(same.widths(), saved.widths());
    EXPECT_EQ(same.header()->visualIndex(0), 3);
}

TEST_F(LayoutPersistence, HeaderWithoutStoredLayoutOrVersion)
{
    HeaderFixture table;
    EXPECT_FALSE(restoreHeaderLayout(L"Nothing", 0, table.header()));

    // A layout stored without its version counts as version 0.
    HeaderFixture saved;
    saved.header()->resizeSection(2, 123);
    QSettings().setValue("Unversioned/header", saved.header()->saveState());
    EXPECT_FALSE(restoreHeaderLayout(L"Unversioned", 1, table.header()));
    ASSERT_TRUE(restoreHeaderLayout(L"Unversioned", 0, table.header()));
    EXPECT_EQ(table.header()->sectionSize(2), 123);
}

TEST_F(LayoutPersistence, ACorruptHeaderLayoutIsNotReportedAsRestored)
{
    {
        QSettings settings;
        settings.setValue("Corrupt/headerver", 1);
        settings.setValue("Corrupt/header", QByteArray("not a header state"));
    }
    HeaderFixture table;
    const std::vector<int> untouched = table.widths();
    EXPECT_FALSE(restoreHeaderLayout(L"Corrupt", 1, table.header()));
    EXPECT_EQ(table.widths(), untouched);
}
