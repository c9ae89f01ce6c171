// The feature tree's view: hides rows above the user level, keeps editors open, follows the shared favourites.
#pragma once

#include "orbelt/Export.h"

#include "orbelt/FeatureTreeHighlighter.h"
#include "orbelt/FeatureTreeModelExtension.h"

#include <GenApi/GenApi.h>

#include <QPersistentModelIndex>
#include <QSet>
#include <QTreeView>

// GUI thread only.
class ORBELT_EXPORT FeatureTreeView : public QTreeView {
    Q_OBJECT
public:
    static const QString NoResultsFoundMessage;

    explicit FeatureTreeView(QWidget* parent = nullptr);
    ~FeatureTreeView() override;

    virtual void createModel();

    GenApi::EVisibility visibility() const { return m_level; }
    IFeatureTreeModelExtension* getFeatureExtension() const;
    QString getSettingsPath() const;
    void setSettingsPath(const QString& path);
    FeatureTreeHighlighter* getHightlighter() { return &m_highlighter; }

    void openPersistentEditor(const QModelIndex& index);
    void openPersistentEditorsForChildren(const QModelIndex& parent);
    void updateRows(const QModelIndex& parent);

signals:
    void onCurrentChanged(const QModelIndex& current);

public slots:
    void setVisibility(GenApi::EVisibility level);
    void onSelfExpanded(const QModelIndex& index);
    void onSelfCollapsed(const QModelIndex& index);
    void onFavoriteDataUpdated();
    void onFavoriteDataExpanded(bool bExpand);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QVector<int>& roles = QVector<int>()) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    QStyleOptionViewItem viewOptions() const override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& options, const QModelIndex& index) const override;

private:
    class FeatureTreeItem* itemAt(const QModelIndex& index) const;
    // Hides or shows one row by the level; true when it is hidden afterwards.
    bool applyRowVisibility(const QModelIndex& index);

    GenApi::EVisibility m_level = GenApi::Expert; // the delegate's enumeration editors read it
    QSet<QPersistentModelIndex> m_persistentIndexes;
    FeatureTreeHighlighter m_highlighter;
};
