// The feature tree panel: form, search with its snapshot of the expansion, favourites actions, level and polling.
#include "orbelt/FeatureTreeWidget.h"

#include "orbelt/DocumentationHelper.h"
#include "orbelt/FeatureTreeItem.h"
#include "orbelt/FeatureTreeProxyModel.h"
#include "orbelt/NodeMapFilter.h"
#include "orbelt/SearchEdit.h"

#include <lorvish/Trace.h>

#include <log4cpp/Category.hh>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QTextStream>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// Shared by every feature tree widget of the process: the last key was a first Escape.
bool g_escapePressedOnce = false;

struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

QAction* makeAction(QWidget* owner, const char* objectName, const QString& text, const QKeySequence& shortcut,
                    const char* icon)
{
    auto* action = new QAction(text, owner);
    action->setObjectName(objectName);
    action->setIconText(text);
    action->setShortcut(shortcut);
    if (icon)
        action->setIcon(QIcon(icon));
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    owner->addAction(action);
    return action;
}
} // namespace

FeatureTreeWidget::FeatureTreeWidget(QString name, QWidget* parent, GenApi::EVisibility visibility, bool showDebugLevel,
                                     QAction* helpAction)
    : TreeWidgetBase(parent), m_helpAction(helpAction), m_name(name)
{
    setObjectName("FeatureTreeWidgetClass");
    setWindowTitle("FeatureTreeWidget");
    resize(400, 300);
    m_filterEdit = new SearchEdit(this);
    m_filterEdit->setObjectName("filterEdit");
    m_treeView = new FeatureTreeView(this);
    m_treeView->setObjectName("treeView");
    m_label = new QLabel(tr("User &Level:"), this);
    m_label->setObjectName("label");
    m_comboBox = new QComboBox(this);
    m_comboBox->setObjectName("comboBox");
    m_comboBox->addItems({tr("Beginner"), tr("Expert"), tr("Guru"), tr("Debug")});
    m_label->setBuddy(m_comboBox);
    m_checkBoxViewAllFavorites = new QCheckBox(tr("Show Unavailable Favorites"), this);
    m_checkBoxViewAllFavorites->setObjectName("checkBoxViewAllFavorites");
    m_checkBoxViewAllFavorites->setChecked(true);
    m_checkBoxPolling = new QCheckBox(tr("P&olling"), this);
    m_checkBoxPolling->setObjectName("checkBoxPolling");
    m_checkBoxPolling->setChecked(true);
    m_resetButton = new QToolButton(this);
    m_resetButton->setObjectName("resetButton");
    m_resetButton->setIcon(QIcon(":/orbelt/Resources/refresh.png"));
    m_resetButton->setToolTip(tr("Refresh"));
    m_resetButton->setStatusTip(tr("Refreshes the  feature tree"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_filterEdit);
    layout->addWidget(m_treeView);
    auto* row = new QHBoxLayout;
    row->addWidget(m_label);
    row->addWidget(m_comboBox);
    row->addWidget(m_checkBoxViewAllFavorites);
    row->addWidget(m_checkBoxPolling);
    row->addWidget(m_resetButton);
    layout->addLayout(row);

    m_treeView->setColumnWidth(0, 200);
    m_treeView->setEditTriggers(QAbstractItemView::AllEditTriggers);
    m_treeView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_treeView->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_treeView, &FeatureTreeView::onCurrentChanged, this,
            qOverload<const QModelIndex&>(&FeatureTreeWidget::onCurrentChanged));
    connect(m_comboBox, qOverload<int>(&QComboBox::activated), this, &FeatureTreeWidget::onVisibilityChanged);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &FeatureTreeWidget::contextualMenu);
    connect(m_filterEdit, &QLineEdit::textChanged, this, &FeatureTreeWidget::onFilterTextChanged);
    connect(m_resetButton, &QToolButton::clicked, this, &FeatureTreeWidget::on_resetButton_clicked);
    connect(m_checkBoxPolling, &QCheckBox::clicked, this, &FeatureTreeWidget::on_checkBoxPolling_clicked);
    connect(m_checkBoxViewAllFavorites, &QCheckBox::clicked, this,
            &FeatureTreeWidget::on_checkBoxViewAllFavorites_clicked);
    if (!showDebugLevel)
        m_comboBox->removeItem(3);
    setVisibility(visibility);

    m_actionAddToFavourites = makeAction(this, "actionAddToFavourites", tr("Add to Favorites"),
                                         QKeySequence(tr("Ctrl+D")), ":/orbelt/Resources/Favorite_plus.png");
    m_actionMoveUp = makeAction(this, "actionMoveFavouriteUp", tr("Move Up"), QKeySequence(tr("Ctrl+Up")),
                                ":/orbelt/Resources/Move_Up.png");
    m_actionMoveDown = makeAction(this, "actionMoveFavouriteDown", tr("Move Down"), QKeySequence(tr("Ctrl+Down")),
                                  ":/orbelt/Resources/Move_Down.png");
    m_actionRemove = makeAction(this, "actionRemoveFavourite", tr("Remove"), QKeySequence(QKeySequence::Delete),
                                ":/orbelt/Resources/Favorite_minus.png");
    m_actionTogglePolling = makeAction(this, "actionTogglePolling", tr("Polling"), QKeySequence(), nullptr);
    m_actionTogglePolling->setCheckable(true);
    m_actionTogglePolling->setChecked(m_checkBoxPolling->isChecked());
    for (QAction* action : {m_actionAddToFavourites, m_actionMoveUp, m_actionMoveDown, m_actionRemove})
        action->setEnabled(false);
    connect(m_actionAddToFavourites, &QAction::triggered, this, &FeatureTreeWidget::AddToFavourites_triggered);
    connect(m_actionMoveUp, &QAction::triggered, this, &FeatureTreeWidget::FavouriteMoveUp_triggered);
    connect(m_actionMoveDown, &QAction::triggered, this, &FeatureTreeWidget::FavouriteMoveDown_triggered);
    connect(m_actionRemove, &QAction::triggered, this, &FeatureTreeWidget::FavouriteRemove_triggered);
    connect(m_actionTogglePolling, &QAction::triggered, this, &FeatureTreeWidget::TogglePolling_triggered);
    if (m_helpAction)
        addAction(m_helpAction);

    const auto focusSearch = [this] { m_filterEdit->setFocus(); };
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this, focusSearch);
    connect(new QShortcut(QKeySequence(QKeySequence::Find), this), &QShortcut::activated, this, focusSearch);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::ALT | Qt::Key_Minus), this), &QShortcut::activated,
            m_treeView, &QTreeView::collapseAll);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::ALT | Qt::Key_Plus), this), &QShortcut::activated,
            this, &FeatureTreeWidget::expandTree);
    m_filterEdit->setPlaceholderText(
        tr("Search (%1)").arg(QKeySequence(QKeySequence::Find).toString(QKeySequence::NativeText)));
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { watchKeysOf(now); });
}

FeatureTreeWidget::~FeatureTreeWidget()
{
    Lorvish::GetLazyTraceStructInstance_().misc->debug("FeatureTreeWidget::~FeatureTreeWidget()");
    // The children outlive this part of the object; their last signals must not reach it.
    disconnect(m_treeView, nullptr, this, nullptr);
    disconnect(m_filterEdit, nullptr, this, nullptr);
    disconnect(qApp, nullptr, this, nullptr); // hiding the dying panel moves the focus
    watchKeysOf(nullptr);
}

FeatureTreeProxyModel* FeatureTreeWidget::proxy() const
{
    return qobject_cast<FeatureTreeProxyModel*>(m_treeView->model());
}

IFeatureTreeModelExtension* FeatureTreeWidget::getFeatureExtension() const
{
    return m_treeView->getFeatureExtension();
}

QTreeView* FeatureTreeWidget::treeView()
{
    return m_treeView;
}
QSize FeatureTreeWidget::sizeHint() const
{
    return QSize(400, 500);
}

void FeatureTreeWidget::addNodeMap(GenApi::INodeMap* pNodeMap, const QString& rootName, const QString& roleName,
                                   bool isUtf8)
{
    NodeMapFilter::apply(pNodeMap);
    proxy()->addNodeMap(pNodeMap, rootName, roleName, isUtf8);
    proxy()->invalidate();
    proxy()->refreshSpecialItems();
    m_treeView->setExpanded(proxy()->GetFavoritesRootIndex(), proxy()->GetFavorites().isExpanded());
}

void FeatureTreeWidget::setVisibility(GenApi::EVisibility level)
{
    m_treeView->setVisibility(level);
    proxy()->setVisibility(level);
    m_comboBox->setCurrentIndex(level >= 0 && level <= 3 && level < m_comboBox->count() ? level : 0);
    refreshFilter();
}

GenApi::EVisibility FeatureTreeWidget::visibility() const
{
    return m_treeView->visibility();
}
bool FeatureTreeWidget::isFeatureTreeView(QWidget* widget) const
{
    return widget == m_treeView;
}

void FeatureTreeWidget::setPolling(bool on)
{
    proxy()->EnablePolling(on);
    m_checkBoxPolling->setChecked(on);
    m_actionTogglePolling->setChecked(on);
}

bool FeatureTreeWidget::getPolling() const
{
    return proxy()->GetPolling();
}

void FeatureTreeWidget::setViewAllFavorites(bool on)
{
    proxy()->EnableViewAllFavorites(on);
    m_checkBoxViewAllFavorites->setChecked(on);
}

bool FeatureTreeWidget::getViewAllFavorites() const
{
    return proxy()->GetViewAllFavorites();
}
void FeatureTreeWidget::setMonitorMode(bool bMonitorMode)
{
    proxy()->setMonitorMode(bMonitorMode);
}
void FeatureTreeWidget::EnableGenICamCallbacks(bool on)
{
    proxy()->setGenICamCallbacksEnable(on);
}
void FeatureTreeWidget::deviceIsClosed()
{
    proxy()->SetDeviceAlive(false);
}

void FeatureTreeWidget::Refresh()
{
    WaitCursor wait;
    proxy()->refresh();
}

void FeatureTreeWidget::on_resetButton_clicked()
{
    Refresh();
}
void FeatureTreeWidget::clear()
{
    proxy()->clear();
    // The search-help row stays, counting nothing now: the filter decides afresh whether it shows.
    proxy()->invalidate();
}

QModelIndex FeatureTreeWidget::GetCurrentIndex() const
{
    return m_treeView->currentIndex();
}

FeatureTreeItem* FeatureTreeWidget::GetCurrentItem() const
{
    const QModelIndex current = GetCurrentIndex();
    return current.isValid() ? proxy()->getFeatureTreeItem(current) : nullptr;
}

GenApi::INode* FeatureTreeWidget::GetCurrentNode() const
{
    auto* item = qobject_cast<FeatureTreeINodeItem*>(GetCurrentItem());
    return item ? item->node() : nullptr;
}

bool FeatureTreeWidget::IsCurrentFavorite() const
{
    return proxy()->IsFavoriteTreeItem(GetCurrentItem());
}

bool FeatureTreeWidget::IsOnCurrentItem(const QPoint& global) const
{
    const QModelIndex hit = m_treeView->indexAt(m_treeView->viewport()->mapFromGlobal(global));
    return hit.isValid() && hit == GetCurrentIndex();
}

void FeatureTreeWidget::expandRootNodes()
{
    for (int row = 0; row < proxy()->rowCount(); ++row)
        m_treeView->expand(proxy()->index(row, 0));
}

void FeatureTreeWidget::expandTree()
{
    m_treeView->expandToDepth(2);
}

void FeatureTreeWidget::refreshFilter()
{
    proxy()->setFilterFixedString("");
    proxy()->setFilterFixedString(m_filterText);
    if (!m_filterText.isEmpty())
        m_treeView->expandToDepth(2);
    proxy()->invalidate();
    proxy()->refreshSpecialItems();
    // A level change moves results between the visible and the higher-level ones; the search-help row
    // then shows or goes by its new visibility.
    if (!m_filterText.isEmpty()) {
        showSearchResults();
        proxy()->invalidate();
        proxy()->refreshSpecialItems();
    }
}

void FeatureTreeWidget::showSearchResults()
{
    // A fresh pass over every row, top level first, so that the match counts are complete and current.
    proxy()->invalidate();
    proxy()->rowCount();
    m_treeView->expandToDepth(2);
    m_treeView->viewport()->repaint();
    const int visible = proxy()->visibleMatchCount();
    const int higher = proxy()->higherLevelMatchCount();
    emit filterMatchesChanged(visible + higher, higher);
    const QString text =
        tr("<B>%1 search results (%2 of them visible at higher user level)</B>").arg(visible + higher).arg(higher);
    if (FeatureTreeItem* help = proxy()->getSearchHelpItem()) {
        help->setName("<HTML>" + text);
        help->SetToolTip(text);
        help->setVisibility(higher >= 1 ? GenApi::Beginner : GenApi::Invisible);
    }
}

void FeatureTreeWidget::saveExpansion()
{
    m_expandedSnapshot.clear();
    QList<QModelIndex> pending;
    for (int row = 0; row < proxy()->rowCount(); ++row)
        pending << proxy()->index(row, 0);
    while (!pending.isEmpty()) {
        const QModelIndex index = pending.takeFirst();
        if (!m_treeView->isExpanded(index))
            continue;
        m_expandedSnapshot << index.data(FeatureTreeItem::UniqueID).toULongLong();
        for (int row = 0; row < proxy()->rowCount(index); ++row)
            pending << proxy()->index(row, 0, index);
    }
    const QModelIndex current = m_treeView->currentIndex();
    m_selectionSnapshot = current.isValid() ? current.siblingAtColumn(0).data(FeatureTreeItem::UniqueID) : QVariant();
}

void FeatureTreeWidget::restoreExpansion()
{
    m_treeView->setUpdatesEnabled(false);
    QList<QModelIndex> pending;
    for (int row = 0; row < proxy()->rowCount(); ++row)
        pending << proxy()->index(row, 0);
    while (!pending.isEmpty()) {
        const QModelIndex index = pending.takeFirst();
        const quint64 id = index.data(FeatureTreeItem::UniqueID).toULongLong();
        if (m_expandedSnapshot.removeOne(id)) {
            m_treeView->expand(index);
            for (int row = 0; row < proxy()->rowCount(index); ++row)
                pending << proxy()->index(row, 0, index);
        } else {
            m_treeView->collapse(index);
        }
    }
    if (m_selectionSnapshot.isValid()) {
        const QModelIndex current = proxy()->findItemByRole(FeatureTreeItem::UniqueID, m_selectionSnapshot, nullptr, 0);
        if (current.isValid())
            m_treeView->setCurrentIndex(current);
    }
    m_selectionSnapshot = QVariant();
    m_treeView->setUpdatesEnabled(true);
}

void FeatureTreeWidget::onFilterTextChanged(const QString& newText)
{
    m_filterText = newText;
    if (m_firstSearch) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    const bool wasEmpty = proxy()->filterRegExp().pattern().isEmpty();
    if (wasEmpty && !newText.isEmpty())
        saveExpansion();
    proxy()->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy()->setFilterFixedString(newText);
    if (!wasEmpty && newText.isEmpty())
        restoreExpansion();
    m_treeView->getHightlighter()->setSearchText(newText);

    if (!newText.isEmpty()) {
        showSearchResults();
    } else {
        emit filterMatchesChanged(0, 0);
        if (FeatureTreeItem* help = proxy()->getSearchHelpItem()) {
            help->setName(QString());
            help->SetToolTip(QString());
            help->setVisibility(GenApi::Invisible);
        }
    }
    proxy()->refreshSpecialItems();

    if (m_firstSearch)
        QApplication::restoreOverrideCursor();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_firstSearch = false;
    proxy()->invalidate();
    proxy()->refreshSpecialItems();
    proxy()->setFilterFixedString(newText);
}

void FeatureTreeWidget::onCurrentChanged(const QModelIndex& current)
{
    if (current.isValid()) {
        if (FeatureTreeItem* item = proxy()->getFeatureTreeItem(current)) {
            auto* nodeItem = qobject_cast<FeatureTreeINodeItem*>(item);
            if (!m_filterEdit->hasFocus())
                emit onCurrentChanged(nodeItem ? nodeItem->node() : nullptr);
            if ((!nodeItem || !nodeItem->node()) && item->HasDescription())
                emit onNewText(item->GetDescription());
        }
    }
    m_actionAddToFavourites->setEnabled(proxy()->CanAddAsFavorite(current));
    m_actionRemove->setEnabled(proxy()->IsFavoriteTreeItem(proxy()->getFeatureTreeItem(current)));
    m_actionMoveUp->setEnabled(proxy()->CanMoveFavorite(current, true));
    m_actionMoveDown->setEnabled(proxy()->CanMoveFavorite(current, false));
}

void FeatureTreeWidget::onVisibilityChanged(int index)
{
    if (index < 0 || index > 3)
        return;
    setVisibility(static_cast<GenApi::EVisibility>(index));
    emit visibilityChanged(static_cast<GenApi::EVisibility>(index));
    refreshFilter();
}

void FeatureTreeWidget::AddToFavourites_triggered()
{
    const QModelIndex current = GetCurrentIndex();
    if (!proxy()->CanAddAsFavorite(current))
        return;
    proxy()->AddFavorite(GetCurrentNode(), 2147483647);
    proxy()->invalidate();
    proxy()->refreshSpecialItems();
}

void FeatureTreeWidget::FavouriteMoveUp_triggered()
{
    if (GetCurrentIndex().isValid())
        proxy()->MoveFavorite(GetCurrentIndex(), true);
}

void FeatureTreeWidget::FavouriteMoveDown_triggered()
{
    if (GetCurrentIndex().isValid())
        proxy()->MoveFavorite(GetCurrentIndex(), false);
}

void FeatureTreeWidget::FavouriteRemove_triggered()
{
    const QModelIndex current = GetCurrentIndex();
    if (!current.isValid())
        return;
    QModelIndex next = current.sibling(current.row() + 1, current.column());
    if (!next.isValid())
        next = current.sibling(current.row() - 1, current.column());
    const QPersistentModelIndex old(current);
    m_treeView->selectionModel()->clearSelection();
    m_treeView->setCurrentIndex(next);
    proxy()->RemoveFavorite(old);
    refreshFilter();
}

void FeatureTreeWidget::ViewHelp_triggered()
{
    DocumentationHelper::CallHelp(
        m_cameraType, GetCurrentIndex().siblingAtColumn(0).data(FeatureTreeItem::GenicamNameRole).toString());
}

void FeatureTreeWidget::contextualMenu(const QPoint& point)
{
    if (!GetCurrentIndex().isValid())
        return;
    QMenu menu(this);
    if (IsCurrentFavorite()) {
        menu.addAction(m_actionMoveUp);
        menu.addAction(m_actionMoveDown);
        menu.addSeparator();
        menu.addAction(m_actionRemove);
    } else {
        menu.addAction(m_actionAddToFavourites);
    }
    if (m_helpAction) {
        menu.addSeparator();
        menu.addAction(m_helpAction);
    }
    menu.exec(mapToGlobal(point));
}

void FeatureTreeWidget::on_checkBoxPolling_clicked()
{
    emit pollingStateChanged(m_checkBoxPolling->isChecked());
}
void FeatureTreeWidget::TogglePolling_triggered()
{
    emit pollingStateChanged(m_actionTogglePolling->isChecked());
}

void FeatureTreeWidget::on_checkBoxViewAllFavorites_clicked()
{
    emit viewAllFavoritesStateChanged(m_checkBoxViewAllFavorites->isChecked());
    refreshFilter();
}

// A key that the focused child takes (a letter typed into the search field) never reaches keyPressEvent,
// yet it parts two Escapes: the panel watches the keys of whichever of its descendants has the focus.
void FeatureTreeWidget::watchKeysOf(QWidget* focused)
{
    if (focused && (focused == this || !isAncestorOf(focused)))
        focused = nullptr;
    if (focused == m_keysWatched)
        return;
    // The focus leaves the panel: what the user does elsewhere comes between two Escapes.
    if (m_keysWatched && !focused)
        g_escapePressedOnce = false;
    if (m_keysWatched)
        m_keysWatched->removeEventFilter(this);
    m_keysWatched = focused;
    if (m_keysWatched)
        m_keysWatched->installEventFilter(this);
}

bool FeatureTreeWidget::eventFilter(QObject* watched, QEvent* event)
{
    // Escapes are counted where they arrive unhandled, in keyPressEvent. Every key press is offered to the
    // focused widget as a shortcut override first; a key that a shortcut then takes comes no further.
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (watched == m_keysWatched && key && static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
        g_escapePressedOnce = false;
    return TreeWidgetBase::eventFilter(watched, event);
}

void FeatureTreeWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        if (g_escapePressedOnce) {
            m_filterEdit->clear();
            g_escapePressedOnce = false;
        } else {
            g_escapePressedOnce = true;
        }
    } else {
        g_escapePressedOnce = false;
    }
    TreeWidgetBase::keyPressEvent(event);
}

bool FeatureTreeWidget::event(QEvent* event)
{
    const bool result = TreeWidgetBase::event(event);
    if (event->type() == QEvent::FontChange)
        for (QWidget* child : findChildren<QWidget*>())
            QApplication::sendEvent(child, event);
    return result;
}

void FeatureTreeWidget::copyToClipboard()
{
    QString dump;
    QTextStream out(&dump);
    std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int depth) {
        for (int row = 0; row < proxy()->rowCount(parent); ++row) {
            const QModelIndex name = proxy()->index(row, 0, parent);
            const QModelIndex value = proxy()->index(row, 1, parent);
            out << QString(2 * depth, ' ') << name.data().toString().leftJustified((20 - depth) * 2) << '\t'
                << value.data().toString() << '\n';
            walk(name, depth + 1);
        }
    };
    walk(QModelIndex(), 0);
    QApplication::clipboard()->setText(dump);
}
