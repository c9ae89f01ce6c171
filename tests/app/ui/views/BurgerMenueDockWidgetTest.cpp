// The collapsible dock's open and collapsed sizes, content swap, animation and notifications.
#include "BurgerMenueDockWidget.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(BurgerMenueDockWidgetTest, startsCollapsedWithTheCollapseWidgetAndTitle)
{
    BurgerMenueDockWidget dock("Camera Settings", nullptr, BurgerMenueDockWidget::SideDock);
    EXPECT_FALSE(dock.isMenuOpen());
    EXPECT_TRUE(dock.animated());
    EXPECT_EQ(dock.iconSize(), QSize(32, 32));
    EXPECT_EQ(dock.titleLabel()->objectName(), "burgerTitleLabel");
    EXPECT_EQ(dock.titleLabel()->text(), "Camera Settings");
    EXPECT_EQ(dock.collapseWidget()->objectName(), "burgerCollapseWidget");
    EXPECT_EQ(dock.widget(), dock.collapseWidget());
    EXPECT_TRUE(dock.burgerButton()->isCheckable());
    EXPECT_TRUE(dock.burgerButton()->isFlat());
}

TEST(BurgerMenueDockWidgetTest, sideDockWithoutAnimationOpensToMenuWidthAndCollapsesToTheButton)
{
    BurgerMenueDockWidget dock("Camera Settings", nullptr, BurgerMenueDockWidget::SideDock);
    QWidget panel;
    dock.setAnimated(false);
    dock.setContentWidget(&panel);
    EXPECT_EQ(dock.widget(), dock.collapseWidget());
    dock.setMenuWidth(350);
    dock.setIconSize(QSize(35, 35));
    EXPECT_EQ(dock.widthFixed(), 35);

    dock.setMenuOpen(true);
    EXPECT_EQ(dock.widthFixed(), 385);
    EXPECT_EQ(dock.minimumWidth(), 385);
    EXPECT_EQ(dock.maximumWidth(), 385);
    EXPECT_EQ(dock.widget(), &panel);
    EXPECT_EQ(dock.titleLabel()->maximumWidth(), 350);
    EXPECT_EQ(dock.burgerButton()->toolTip(), "Click to hide camera settings.");

    dock.setMenuOpen(false);
    EXPECT_EQ(dock.widthFixed(), 35);
    EXPECT_EQ(dock.widget(), dock.collapseWidget());
    EXPECT_EQ(dock.titleLabel()->maximumWidth(), 0);
    EXPECT_EQ(dock.burgerButton()->toolTip(), "Click to show camera settings.");

    // Changing the menu width while open resizes at once.
    dock.setMenuOpen(true);
    dock.setMenuWidth(200);
    EXPECT_EQ(dock.widthFixed(), 235);
}

TEST(BurgerMenueDockWidgetTest, bottomDockKeepsItsPanelAndChangesHeight)
{
    BurgerMenueDockWidget dock("Recording Settings", nullptr, BurgerMenueDockWidget::BottomDock);
    QWidget panel;
    dock.setAnimated(false);
    dock.setContentWidget(&panel);
    EXPECT_EQ(dock.widget(), &panel);
    dock.setMenuHeight(120);
    EXPECT_EQ(dock.maximumHeight(), 32);
    dock.setMenuOpen(true);
    EXPECT_EQ(dock.maximumHeight(), 152);
    EXPECT_EQ(dock.widget(), &panel);
    dock.setMenuOpen(false);
    EXPECT_EQ(dock.maximumHeight(), 32);
    EXPECT_EQ(dock.widget(), &panel);
    EXPECT_EQ(dock.burgerButton()->toolTip(), "Click to show recording settings.");
}

TEST(BurgerMenueDockWidgetTest, settersNotifyOnceAndIgnoreTheWrongDockKind)
{
    BurgerMenueDockWidget side("Camera Settings", nullptr, BurgerMenueDockWidget::SideDock);
    BurgerMenueDockWidget bottom("Recording Settings", nullptr, BurgerMenueDockWidget::BottomDock);
    QSignalSpy sideWidth(&side, &BurgerMenueDockWidget::menuWidthChanged);
    QSignalSpy sideHeight(&side, &BurgerMenueDockWidget::menuHeightChanged);
    QSignalSpy sideIcon(&side, &BurgerMenueDockWidget::iconSizeChanged);
    QSignalSpy sideAnimated(&side, &BurgerMenueDockWidget::animatedChanged);
    QSignalSpy bottomWidth(&bottom, &BurgerMenueDockWidget::menuWidthChanged);
    QSignalSpy bottomHeight(&bottom, &BurgerMenueDockWidget::menuHeightChanged);

    side.setMenuWidth(300);
    side.setMenuWidth(300);
    side.setMenuHeight(100);
    side.setIconSize(QSize(40, 40));
    side.setIconSize(QSize(40, 40));
    side.setAnimated(false);
    side.setAnimated(false);
    bottom.setMenuWidth(300);
    bottom.setMenuHeight(100);
    bottom.setMenuHeight(100);

    EXPECT_EQ(sideWidth.count(), 1);
    EXPECT_EQ(sideHeight.count(), 0);
    EXPECT_EQ(side.menuHeight(), 0);
    EXPECT_EQ(sideIcon.count(), 1);
    EXPECT_EQ(sideIcon.at(0).at(0).toSize(), QSize(40, 40));
    EXPECT_EQ(sideAnimated.count(), 1);
    EXPECT_EQ(bottomWidth.count(), 0);
    EXPECT_EQ(bottom.menuWidth(), 0);
    EXPECT_EQ(bottomHeight.count(), 1);
    EXPECT_EQ(bottomHeight.at(0).at(0).toInt(), 100);
}

TEST(BurgerMenueDockWidgetTest, animatedCloseSwapsThePanelAfterTheWidthShrinks)
{
    BurgerMenueDockWidget dock("Camera Settings", nullptr, BurgerMenueDockWidget::SideDock);
    QWidget panel;
    dock.setContentWidget(&panel);
    dock.setMenuWidth(350);
    dock.setMenuOpen(true);
    EXPECT_EQ(dock.widget(), &panel);
    QTRY_COMPARE_WITH_TIMEOUT(dock.widthFixed(), 382, 5000);

    dock.setMenuOpen(false);
    // The panel stays until the delayed swap; the width animates down to the button.
    EXPECT_EQ(dock.widget(), &panel);
    QTRY_COMPARE_WITH_TIMEOUT(dock.widget(), dock.collapseWidget(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(dock.widthFixed(), 32, 5000);
}
