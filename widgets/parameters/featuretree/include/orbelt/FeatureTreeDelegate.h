// The feature tree's item delegate: picks the value editor by editor type, moves values, paints highlighted names.
#pragma once

#include "orbelt/Export.h"

#include <GenApi/GenApi.h>

#include <QStyledItemDelegate>

class IFeatureTreeModelExtension;
class FeatureTreeHighlighter;

// GUI thread only.
class ORBELT_EXPORT FeatureTreeDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    FeatureTreeDelegate(QObject* parent, IFeatureTreeModelExtension* extension, GenApi::EVisibility* visibility,
                        FeatureTreeHighlighter* highlighter);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

public slots:
    void emitCommitData();

protected:
    QWidget* createIntEditor(QWidget* parent, const QStyleOptionViewItem& option, const GenApi::IInteger* node) const;
    QWidget* createFloatEditor(QWidget* parent, const QStyleOptionViewItem& option, const GenApi::IFloat* node) const;
    QWidget* createEnumEditor(QWidget* parent, const QStyleOptionViewItem& option,
                              const GenApi::IEnumeration* node) const;
    QWidget* createCheckBoxEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                  const GenApi::IBoolean* node) const;
    QWidget* createToolButtonEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const GenApi::ICommand* node) const;

private:
    GenApi::EVisibility* m_visibility;
    IFeatureTreeModelExtension* m_extension;
    FeatureTreeHighlighter* m_highlighter;
};
