// The feature tree view: its model stack, row visibility, persistent editors, favourites rows and painting.
#include "orbelt/FeatureTreeView.h"

#include "orbelt/FavoritesData.h"
#include "orbelt/FeatureTreeDelegate.h"
#include "orbelt/FeatureTreeItem.h"
#include "orbelt/FeatureTreeModel.h"
#include "orbelt/FeatureTreeProxyModel.h"

#include <lorvish/Trace.h>

#include <log4cpp/Category.hh>

#include <QItemSelectionModel>
#include <QPainter>
#include <QSignalBlocker>

const QString FeatureTreeView::NoResultsFoundMessage = "No search results found.";

namespace {
// The model that was current at the last effective setVisibility of any view.
const QAbstractItemModel* g_lastModel = nullptr;
} // namespace

FeatureTreeView::FeatureTreeView(QWidget* parent) : QTreeView(parent)
{
    Lorvish::GetLazyTraceStructInstance_().misc->debug("FeatureTreeView::FeatureTreeView()");
    QPalette pal = palette();
    pal.setBrush(QPalette::Inactive, QPalette::Base, pal.brush(QPalette::Active, QPalette::Base));
    setPalette(pal);
    createModel();
    connect(this, &QTreeView::expanded, this, &FeatureTreeView::onSelfExpanded);
    connect(this, &QTreeView::collapsed, this, &FeatureTreeView::onSelfCollapsed);
    // Features are dragged from the tree into the favourites; the rows' flags say which may go where.
    setDragEnabled(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    if (IFeatureTreeModelExtension* extension = getFeatureExtension()) {
        extension->GetFavorites().setNameAndLoad("Favorites");
        extension->GetFavorites().connectView(this);
    }
}

FeatureTreeView::~FeatureTreeView()
{
    Lorvish::GetLazyTraceStructInstance_().misc->debug("FeatureTreeView::~FeatureTreeView()");
    m_persistentIndexes.clear();
    QAbstractItemModel* proxy = model();
    QAbstractItemModel* source = nullptr;
    if (auto* p = qobject_cast<QSortFilterProxyModel*>(proxy))
        source = p->sourceModel();
    if (IFeatureTreeModelExtension* extension = getFeatureExtension())
        extension->GetFavorites().disconnectView(this);
    if (g_lastModel == proxy)
        g_lastModel = nullptr;
    // The model stack has no QObject parent: the view that made it takes it down.
    setModel(nullptr);
    delete proxy;
    delete source;
}

void FeatureTreeView::createModel()
{
    auto* source = new FeatureTreeModel;
    auto* proxy = new FeatureTreeProxyModel;
    proxy->setSourceModel(source);
    proxy->setDynamicSortFilter(false);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->setFilterKeyColumn(1);
    proxy->setHighlighter(&m_highlighter);
    setModel(proxy);
    setItemDelegate(new FeatureTreeDelegate(this, proxy, &m_level, &m_highlighter));
}

IFeatureTreeModelExtension* FeatureTreeView::getFeatureExtension() const
{
    return dynamic_cast<IFeatureTreeModelExtension*>(model());
}

QString FeatureTreeView::getSettingsPath() const
{
    IFeatureTreeModelExtension* extension = getFeatureExtension();
    return extension ? extension->GetFavorites().name() : QString();
}

void FeatureTreeView::setSettingsPath(const QString& path)
{
    if (IFeatureTreeModelExtension* extension = getFeatureExtension())
        extension->GetFavorites().setName(path);
}

FeatureTreeItem* FeatureTreeView::itemAt(const QModelIndex& index) const
{
    IFeatureTreeModelExtension* extension = getFeatureExtension();
    return extension && index.isValid() ? extension->getFeatureTreeItem(index) : nullptr;
}

void FeatureTreeView::openPersistentEditor(const QModelIndex& index)
{
    IFeatureTreeModelExtension* extension = getFeatureExtension();
    FeatureTreeItem* item = itemAt(index);
    if (!extension || !item || !extension->findItem(item, nullptr, index.column()).isValid())
        return;
    if (!item->usePersistentEditor() || item->getVisibility() > m_level)
        return;
    const GenApi::EAccessMode mode = item->getAccessMode();
    if (mode != GenApi::WO && mode != GenApi::RO && mode != GenApi::RW)
        return;
    QTreeView::openPersistentEditor(index);
    m_persistentIndexes.insert(index);
}

bool FeatureTreeView::applyRowVisibility(const QModelIndex& index)
{
    FeatureTreeItem* item = itemAt(index);
    const QModelIndex parent = index.parent();
    if (!item)
        return isRowHidden(index.row(), parent);
    if (!item->ShowMe(m_level)) {
        if (!isRowHidden(index.row(), parent))
            setRowHidden(index.row(), parent, true);
        if (currentIndex().isValid() && currentIndex().row() == index.row() && currentIndex().parent() == parent)
            emit onCurrentChanged(QModelIndex());
        return true;
    }
    if (isRowHidden(index.row(), parent))
        setRowHidden(index.row(), parent, false);
    return false;
}

void FeatureTreeView::updateRows(const QModelIndex& parent)
{
    if (!model() || (parent.isValid() && !isExpanded(parent)))
        return;
    const int rows = model()->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex cell = model()->index(row, 1, parent);
        FeatureTreeItem* item = itemAt(cell);
        if (!item)
            continue;
        if (!applyRowVisibility(cell) && !indexWidget(cell) && item->usePersistentEditor())
            openPersistentEditor(cell);
    }
    for (int row = 0; row < rows; ++row)
        updateRows(model()->index(row, 0, parent));
}

void FeatureTreeView::openPersistentEditorsForChildren(const QModelIndex& parent)
{
    if (!model() || (parent.isValid() && !isExpanded(parent)))
        return;
    const int rows = model()->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex cell = model()->index(row, 1, parent);
        FeatureTreeItem* item = itemAt(cell);
        if (item && item->ShowMe(m_level) && !indexWidget(cell) && item->usePersistentEditor())
            openPersistentEditor(cell);
    }
}

void FeatureTreeView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QTreeView::rowsInserted(parent, start, end);
    openPersistentEditorsForChildren(parent);
}

void FeatureTreeView::onSelfExpanded(const QModelIndex& index)
{
    updateRows(index);
    IFeatureTreeModelExtension* extension = getFeatureExtension();
    if (extension && index == extension->GetFavoritesRootIndex())
        extension->GetFavorites().setExpanded(true);
    openPersistentEditorsForChildren(index);
}

void FeatureTreeView::onSelfCollapsed(const QModelIndex& index)
{
    IFeatureTreeModelExtension* extension = getFeatureExtension();
    if (extension && index == extension->GetFavoritesRootIndex())
        extension->GetFavorites().setExpanded(false);
}

void FeatureTreeView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QVector<int>& roles)
{
    if (topLeft == bottomRight) {
        FeatureTreeItem* item = itemAt(topLeft);
        if (topLeft.isValid() && topLeft.column() == 0) {
            setFirstColumnSpanned(topLeft.row(), topLeft.parent(),
                                  model()->data(topLeft, FeatureTreeItem::IsFullRowItem).toBool());
        } else if (topLeft.isValid() && topLeft.column() == 1 && item) {
            const bool wasHidden = isRowHidden(topLeft.row(), topLeft.parent());
            const bool hidden = applyRowVisibility(topLeft);
            const GenApi::EAccessMode mode = item->getAccessMode();
            const bool available = mode != GenApi::NI && mode != GenApi::NA;
            if (!indexWidget(topLeft)) {
                if (!hidden && available && mode != GenApi::_UndefinedAccesMode && item->usePersistentEditor())
                    openPersistentEditor(topLeft);
            } else if (!wasHidden) {
                if (!item->usePersistentEditor()) {
                    closeEditor(indexWidget(topLeft), QAbstractItemDelegate::NoHint);
                } else if (!available || hidden) {
                    closePersistentEditor(topLeft);
                    m_persistentIndexes.remove(topLeft);
                }
            }
        } else if (item && item->getFullName() == "Dummy") {
            setFirstColumnSpanned(0, topLeft.parent(), true);
        }
    }
    executeDelayedItemsLayout();
    QTreeView::dataChanged(topLeft, bottomRight, roles);
}

void FeatureTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    emit onCurrentChanged(current);
    QTreeView::currentChanged(current, previous);
}

void FeatureTreeView::onFavoriteDataUpdated()
{
    IFeatureTreeModelExtension* extension = getFeatureExtension();
    if (!extension)
        return;
    const QString current = currentIndex().data(FeatureTreeItem::FullNodeNameRole).toString();
    const int currentColumn = currentIndex().column();
    QStringList selected;
    if (selectionModel())
        for (const QModelIndex& index : selectionModel()->selectedIndexes())
            selected << index.data(FeatureTreeItem::FullNodeNameRole).toString();

    extension->rebuildFavoriteItems();

    for (const QString& name : qAsConst(selected)) {
        const QModelIndex index = extension->findItemByFullName(name, nullptr, qMax(0, currentColumn));
        if (index.isValid())
            selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if (!current.isEmpty()) {
        const QModelIndex index = extension->findItemByFullName(current, nullptr, 0);
        if (index.isValid())
            setCurrentIndex(index);
    }
    const QModelIndex root = extension->GetFavoritesRootIndex();
    updateRows(root);
    setExpanded(root, extension->GetFavorites().isExpanded());
}

void FeatureTreeView::onFavoriteDataExpanded(bool bExpand)
{
    IFeatureTreeModelExtension* extension = getFeatureExtension();
    if (!extension)
        return;
    const QModelIndex root = extension->GetFavoritesRootIndex();
    if (isExpanded(root) != bExpand)
        setExpanded(root, bExpand);
}

void FeatureTreeView::setVisibility(GenApi::EVisibility level)
{
    if (level == m_level && model() == g_lastModel)
        return;
    m_level = level;
    g_lastModel = model();
    onFavoriteDataUpdated();
    if (IFeatureTreeModelExtension* extension = getFeatureExtension())
        extension->refresh();
}

void FeatureTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& options, const QModelIndex& index) const
{
    // The selection is shown by the delegate's own painting; the view never paints it.
    QItemSelectionModel* selection = selectionModel();
    if (selection && selection->isRowSelected(index.row(), index.parent())) {
        QSignalBlocker blocker(selection);
        const QItemSelection saved = selection->selection();
        selection->select(index, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        QTreeView::drawRow(painter, options, index);
        selection->select(saved, QItemSelectionModel::ClearAndSelect);
        return;
    }
    QTreeView::drawRow(painter, options, index);
}

QStyleOptionViewItem FeatureTreeView::viewOptions() const
{
    QStyleOptionViewItem options = QTreeView::viewOptions();
    QColor highlighted = options.palette.color(QPalette::Active, QPalette::Text);
    highlighted.setAlpha(128);
    options.palette.setColor(QPalette::Active, QPalette::HighlightedText, highlighted);
    options.palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                             options.palette.color(QPalette::Inactive, QPalette::Text));
    options.palette.setColor(QPalette::Disabled, QPalette::HighlightedText,
                             options.palette.color(QPalette::Disabled, QPalette::Text));
    const QColor transparent(0, 0, 0, 0);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        options.palette.setColor(group, QPalette::Highlight, transparent);
    return options;
}

void FeatureTreeView::paintEvent(QPaintEvent* event)
{
    QTreeView::paintEvent(event);
    if (model() && model()->rowCount() == 0) {
        QPainter painter(viewport());
        painter.setPen(palette().color(QPalette::Active, QPalette::Text));
        painter.drawText(viewport()->rect(), Qt::AlignHCenter | Qt::AlignTop, NoResultsFoundMessage);
    }
}
