// The ready-made feature tree panel: search field, tree, user level, polling and favourites actions.
#pragma once

#include "orbelt/Export.h"

#include "orbelt/FeatureTreeView.h"
#include "orbelt/TreeWidgetBase.h"

#include <GenApi/GenApi.h>

#include <QList>
#include <QPointer>
#include <QVariant>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QToolButton;
class SearchEdit;
class FeatureTreeItem;
class FeatureTreeProxyModel;

// GUI thread only. The host drives it: the widget reports checks and changes by signals and the host calls the
// matching operations back.
class ORBELT_EXPORT FeatureTreeWidget : public TreeWidgetBase {
    Q_OBJECT
public:
    FeatureTreeWidget(QString name, QWidget* parent, GenApi::EVisibility visibility, bool showDebugLevel,
                      QAction* helpAction);
    ~FeatureTreeWidget() override;

    void setVisibility(GenApi::EVisibility level);
    GenApi::EVisibility visibility() const;
    bool isFeatureTreeView(QWidget* widget) const;
    void setPolling(bool on);
    bool getPolling() const;
    void setViewAllFavorites(bool on);
    bool getViewAllFavorites() const;
    void EnableGenICamCallbacks(bool on);
    void deviceIsClosed();
    void Refresh();
    void setCameraType(QString cameraType) { m_cameraType = cameraType; }
    QModelIndex GetCurrentIndex() const;
    FeatureTreeItem* GetCurrentItem() const;
    GenApi::INode* GetCurrentNode() const;
    bool IsCurrentFavorite() const;
    bool IsOnCurrentItem(const QPoint& global) const;
    IFeatureTreeModelExtension* getFeatureExtension() const;
    void expandRootNodes();
    QSize sizeHint() const override;
    QTreeView* treeView() override;

signals:
    void visibilityChanged(GenApi::EVisibility visibility);
    void onCurrentChanged(GenApi::INode* pCurrentNode);
    void onNewText(QString str);
    void pollingStateChanged(bool on);
    void viewAllFavoritesStateChanged(bool on);
    void filterMatchesChanged(int total, int higherLevel);

public slots:
    void setMonitorMode(bool bMonitorMode);
    void addNodeMap(GenApi::INodeMap* pNodeMap, const QString& rootName, const QString& roleName, bool isUtf8);
    void copyToClipboard();
    void clear();
    void expandTree();
    void onCurrentChanged(const QModelIndex& current);
    void contextualMenu(const QPoint& point);
    void onFilterTextChanged(const QString& newText);
    void onVisibilityChanged(int index);
    void on_resetButton_clicked();
    void on_checkBoxPolling_clicked();
    void on_checkBoxViewAllFavorites_clicked();
    void AddToFavourites_triggered();
    void ViewHelp_triggered();
    void FavouriteMoveUp_triggered();
    void FavouriteMoveDown_triggered();
    void FavouriteRemove_triggered();
    void TogglePolling_triggered();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    FeatureTreeProxyModel* proxy() const;
    void watchKeysOf(QWidget* focused);
    void refreshFilter();
    // Counts the results of the search text afresh and reports them: the signal and the search-help row.
    void showSearchResults();
    void saveExpansion();
    void restoreExpansion();

    QList<quint64> m_expandedSnapshot;
    QVariant m_selectionSnapshot;
    SearchEdit* m_filterEdit;
    FeatureTreeView* m_treeView;
    QLabel* m_label;
    QComboBox* m_comboBox;
    QCheckBox* m_checkBoxViewAllFavorites;
    QCheckBox* m_checkBoxPolling;
    QToolButton* m_resetButton;
    QAction* m_actionAddToFavourites;
    QAction* m_helpAction;
    QAction* m_actionMoveUp;
    QAction* m_actionMoveDown;
    QAction* m_actionRemove;
    QAction* m_actionTogglePolling;
    QString m_name;
    bool m_firstSearch = true;
    QString m_filterText;
    QString m_cameraType;
    QPointer<QWidget> m_keysWatched; // the descendant with the keyboard focus
};
