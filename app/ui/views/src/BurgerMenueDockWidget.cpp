// The collapsible dock: title bar with burger button, open and collapsed states, and their animation.
#include "BurgerMenueDockWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QStyleOption>
#include <QTimer>

BurgerMenueDockWidget::BurgerMenueDockWidget(const QString& title, QWidget* parent, int position)
    : QDockWidget(title, parent), m_burgerButton(new QPushButton(this)), m_titleLabel(new QLabel(this)),
      m_content(new QWidget(this)), m_collapseWidget(new QWidget(this)), m_position(position)
{
    m_burgerButton->setFlat(true);
    m_burgerButton->setIconSize(QSize(32, 32));
    m_burgerButton->setFixedSize(32, 32);
    m_burgerButton->setCheckable(true);
    m_titleLabel->setObjectName("burgerTitleLabel");
    m_titleLabel->setText(title);
    m_collapseWidget->setObjectName("burgerCollapseWidget");
    m_content->hide();
    // Until the panel is set, the collapse widget is the content as well.
    setContentWidget(m_collapseWidget);

    auto* titleBar = new QWidget(this);
    titleBar->setObjectName("burgerTitleBar");
    titleBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(titleBar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_titleLabel, 0, Qt::AlignLeft);
    layout->addWidget(m_burgerButton, 0, Qt::AlignRight);
    setTitleBarWidget(titleBar);
    connect(m_burgerButton, &QPushButton::toggled, this, &BurgerMenueDockWidget::onBurgerToggled);
}

int BurgerMenueDockWidget::buttonWidth() const
{
    return m_burgerButton->width();
}
int BurgerMenueDockWidget::buttonHeight() const
{
    return m_burgerButton->height();
}

void BurgerMenueDockWidget::setContentWidget(QWidget* widget)
{
    if (widget == m_content)
        return;
    m_content = widget;
    if (m_position == SideDock) {
        if (isMenuOpen()) {
            m_collapseWidget->hide();
            if (m_content)
                m_content->show();
            setWidget(m_content);
        } else {
            if (m_content && m_content != m_collapseWidget)
                m_content->hide();
            m_collapseWidget->show();
            setWidget(m_collapseWidget);
        }
    } else {
        setWidget(m_content);
    }
}

bool BurgerMenueDockWidget::isMenuOpen() const
{
    return m_burgerButton->isChecked();
}

void BurgerMenueDockWidget::setMenuOpen(bool open)
{
    m_burgerButton->setChecked(open);
}

QIcon BurgerMenueDockWidget::icon() const
{
    return m_burgerButton->icon();
}

QSize BurgerMenueDockWidget::iconSize() const
{
    return m_burgerButton->iconSize();
}

void BurgerMenueDockWidget::showContent()
{
    m_titleLabel->setMaximumSize(m_menuWidth, buttonHeight());
    m_collapseWidget->hide();
    if (m_content)
        m_content->show();
    setWidget(m_content);
}

void BurgerMenueDockWidget::hideContent()
{
    m_titleLabel->setMaximumSize(0, buttonHeight());
    if (m_content && m_content != m_collapseWidget)
        m_content->hide();
    m_collapseWidget->show();
    setWidget(m_collapseWidget);
}

void BurgerMenueDockWidget::onBurgerToggled(bool checked)
{
    if (m_position == SideDock && !checked) {
        if (m_animated) {
            // The panel goes once the width has mostly shrunk; a dock deleted meanwhile is skipped.
            QPointer<BurgerMenueDockWidget> self(this);
            QTimer::singleShot(200, this, [self] {
                if (self && !self->isMenuOpen())
                    self->hideContent();
            });
        } else {
            hideContent();
        }
    }
    // A transition still running would keep writing its size over the new one.
    if (m_animation)
        m_animation->stop();
    if (!m_animated) {
        if (m_position == SideDock)
            setWidthFixed(checked ? buttonWidth() + m_menuWidth : buttonWidth());
        else
            setHeightFixed(checked ? buttonHeight() + m_menuHeight : buttonHeight());
    } else {
        // The bottom dock animates its fixed height: a minimum alone would leave the maximum of the
        // open dock in place, and the dock could never shrink back.
        auto* animation = new QPropertyAnimation(this, m_position == SideDock ? "widthFixed" : "heightFixed", this);
        if (m_position == SideDock) {
            animation->setStartValue(buttonWidth());
            animation->setEndValue(buttonWidth() + m_menuWidth);
        } else {
            animation->setStartValue(buttonHeight());
            animation->setEndValue(buttonHeight() + m_menuHeight);
        }
        animation->setDuration(250);
        animation->setDirection(checked ? QAbstractAnimation::Forward : QAbstractAnimation::Backward);
        animation->setEasingCurve(checked ? QEasingCurve::OutCubic : QEasingCurve::InCubic);
        m_animation = animation;
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
    if (m_position == SideDock && checked)
        showContent();
    const QString title = windowTitle().toLower();
    m_burgerButton->setToolTip(checked ? QStringLiteral("Click to hide %1.").arg(title)
                                       : QStringLiteral("Click to show %1.").arg(title));
}

void BurgerMenueDockWidget::setIconSize(QSize size)
{
    if (size == m_burgerButton->iconSize())
        return;
    m_burgerButton->setIconSize(size);
    m_burgerButton->setFixedSize(size);
    if (m_position == SideDock)
        setWidthFixed(isMenuOpen() ? buttonWidth() + m_menuWidth : buttonWidth());
    emit iconSizeChanged(size);
}

void BurgerMenueDockWidget::setMenuWidth(int width)
{
    if (m_position != SideDock || width == m_menuWidth)
        return;
    m_menuWidth = width;
    if (isMenuOpen()) {
        setWidthFixed(buttonWidth() + width);
    } else {
        m_titleLabel->setMaximumSize(0, buttonHeight());
        setWidthFixed(buttonWidth());
    }
    emit menuWidthChanged(width);
}

void BurgerMenueDockWidget::setMenuHeight(int height)
{
    if (m_position != BottomDock || height == m_menuHeight)
        return;
    m_menuHeight = height;
    setHeightFixed(isMenuOpen() ? buttonHeight() + height : buttonHeight());
    emit menuHeightChanged(height);
}

void BurgerMenueDockWidget::setWidthFixed(int width)
{
    if (width == m_widthFixed)
        return;
    m_widthFixed = width;
    setFixedWidth(width);
    emit widthFixedChanged(width);
}

void BurgerMenueDockWidget::setHeightFixed(int height)
{
    if (height == m_heightFixed)
        return;
    m_heightFixed = height;
    setFixedHeight(height);
    emit heightFixedChanged(height);
}

void BurgerMenueDockWidget::setAnimated(bool animated)
{
    if (animated == m_animated)
        return;
    m_animated = animated;
    emit animatedChanged(animated);
}

void BurgerMenueDockWidget::setBurgerIcon(QIcon icon)
{
    m_burgerButton->setIcon(icon);
    emit iconChanged();
}

void BurgerMenueDockWidget::paintEvent(QPaintEvent* /*event*/)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
