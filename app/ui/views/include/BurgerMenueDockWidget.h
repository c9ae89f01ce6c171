// The side and bottom panel dock with a title and a burger button that opens and collapses it.
#pragma once

#include <QDockWidget>
#include <QIcon>
#include <QPointer>
#include <QSize>

class QLabel;
class QPropertyAnimation;
class QPushButton;

// GUI thread only.
class BurgerMenueDockWidget : public QDockWidget {
    Q_OBJECT
    Q_PROPERTY(bool animated READ animated WRITE setAnimated NOTIFY animatedChanged)
    Q_PROPERTY(QIcon icon READ icon WRITE setBurgerIcon NOTIFY iconChanged)
    Q_PROPERTY(QSize iconSize READ iconSize WRITE setIconSize NOTIFY iconSizeChanged)
    Q_PROPERTY(int menuWidth READ menuWidth WRITE setMenuWidth NOTIFY menuWidthChanged)
    Q_PROPERTY(int menuHeight READ menuHeight WRITE setMenuHeight NOTIFY menuHeightChanged)
    Q_PROPERTY(int widthFixed READ widthFixed WRITE setWidthFixed NOTIFY widthFixedChanged)
    Q_PROPERTY(int heightFixed READ heightFixed WRITE setHeightFixed NOTIFY heightFixedChanged)
public:
    enum Position { SideDock = 0, BottomDock = 1 };

    BurgerMenueDockWidget(const QString& title, QWidget* parent, int position);

    void setContentWidget(QWidget* widget);
    QWidget* contentWidget() const { return m_content; }
    bool isMenuOpen() const;
    void setMenuOpen(bool open);

    bool animated() const { return m_animated; }
    QIcon icon() const;
    QSize iconSize() const;
    int menuWidth() const { return m_menuWidth; }
    int menuHeight() const { return m_menuHeight; }
    int widthFixed() const { return m_widthFixed; }
    int heightFixed() const { return m_heightFixed; }

    QPushButton* burgerButton() const { return m_burgerButton; }
    QLabel* titleLabel() const { return m_titleLabel; }
    QWidget* collapseWidget() const { return m_collapseWidget; }

signals:
    void iconChanged();
    void iconSizeChanged(QSize size);
    void menuWidthChanged(int width);
    void widthFixedChanged(int width);
    void menuHeightChanged(int height);
    void animatedChanged(bool animated);
    void heightFixedChanged(int height);

public slots:
    void setBurgerIcon(QIcon icon);
    void setIconSize(QSize size);
    void setMenuWidth(int width);
    void setMenuHeight(int height);
    void setAnimated(bool animated);
    void hideContent();

protected slots:
    void setWidthFixed(int width);
    // The bottom dock's height, minimum and maximum together, so that it can shrink again.
    void setHeightFixed(int height);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void onBurgerToggled(bool checked);

private:
    int buttonWidth() const;
    int buttonHeight() const;
    void showContent();

    QPushButton* m_burgerButton;
    QLabel* m_titleLabel;
    QWidget* m_content;
    QWidget* m_collapseWidget;
    int m_position;
    int m_menuHeight = 0;
    int m_menuWidth = 0;
    int m_widthFixed = 0;
    int m_heightFixed = 0;
    bool m_animated = true;
    // The open or close transition under way; a new click takes over from it.
    QPointer<QPropertyAnimation> m_animation;
};
