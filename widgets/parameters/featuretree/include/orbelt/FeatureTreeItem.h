// Rows of the feature tree: the plain item, the item that shows a GenApi node and the favourites root.
// Items live in the GUI thread; only FeatureTreeINodeItem::onUpdateNode runs in whichever thread changed
// the node (inside the node map's lock) and touches nothing but the node and m_adjusting, and emits
// nodeUpdated, which reaches the model queued when that thread is not the GUI thread. The thread that
// destroys the node map empties m_node and m_value: a row outlives its node map and then shows no node.
#pragma once

#include "orbelt/Export.h"

#include <GenApi/GenApi.h>
#include <nimbo/SafeNodePtr.h>

#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QString>
#include <QVariant>

#include <atomic>

class IFeatureTreeModelExtension;
class FeatureTreeHighlighter;

class ORBELT_EXPORT FeatureTreeItem : public QObject {
    Q_OBJECT
public:
    static const int GenicamNameRole;
    static const int GenicamTooltipRole;
    static const int GenicamDescription;
    static const int GenicamDocuURL;
    static const int GenicamCategory;
    static const int GenicamVisibility;
    static const int UniqueID;
    static const int IsDebugNode;
    static const int IsFullRowItem;
    static const int IsSpecialNode;
    static const int IsShownAtAll;
    static const int FullNodeNameRole;

    enum EditorType {
        EditInteger = 0,
        EditIntegerSlider = 1,
        EditFloat = 2,
        EditFloatSlider = 3,
        EditEnumeration = 4,
        EditBoolean = 5,
        EditString = 6,
        EditCommand = 7,
        EditNone = 10,
        EditUnknown = 11
    };

    FeatureTreeItem(const QString& name, IFeatureTreeModelExtension* extension, bool isDebugNode,
                    const QString& linkLabel, const QString& fullName, FeatureTreeItem* parent, bool isDeadEnd);
    ~FeatureTreeItem() override;

    virtual void clearChildren();
    virtual int childCount();
    virtual QVariant data(int column, int role);
    virtual void setData(int column, const QVariant& value, int role);
    virtual int row() const;
    virtual FeatureTreeItem* parent() const;
    virtual FeatureTreeItem* parent();
    virtual IFeatureTreeModelExtension* getExtension() const;
    virtual IFeatureTreeModelExtension* getExtension();
    virtual EditorType editorType() const;
    virtual bool hasChildren();
    virtual bool ShowMe(GenApi::EVisibility visibility);
    virtual GenApi::EAccessMode getAccessMode() const;
    virtual GenApi::EVisibility getVisibility() const;
    virtual void setVisibility(GenApi::EVisibility visibility);
    virtual Qt::ItemFlags flags(int column);

    void appendChild(FeatureTreeItem* child);
    void insertChild(FeatureTreeItem* child, int position);
    FeatureTreeItem* child(int row) const;
    FeatureTreeItem* removeChild(int row);
    int columnCount() const { return 2; }

    QString getName() const { return m_name; }
    void setName(QString name) { m_name = name; }
    QString getFullName() const { return m_fullName; }
    QString GetDescription() const;
    bool HasDescription() const;
    void SetDescription(QString description);
    QString GetToolTip() const;
    void SetToolTip(const QString& toolTip);

    bool isDebugNode() const { return m_isDebugNode; }
    bool isDeadEnd() const { return m_isDeadEnd; }
    void SetIsFullRowItem(bool on) { m_isFullRowItem = on; }
    void SetIsSpecialNode(bool on) { m_isSpecialNode = on; }
    bool isEditable() const { return false; }
    // Whether rows of this type keep an editor open all the time.
    bool usePersistentEditor() const;

    static EditorType editorType(const QModelIndex& index);
    static EditorType editorType(const FeatureTreeItem* item);

    // Searches over the items created so far, depth first, the item itself first.
    FeatureTreeItem* findByFullNameShallow(const QString& fullName);
    FeatureTreeItem* findByRoleShallow(int role, const QVariant& value);
    bool findShallow(const FeatureTreeItem* item) const;

protected:
    virtual QVariant GetForegroundRole();
    static QVariant greyBrush();

    QString* m_pDescription = nullptr;
    QString m_name;
    int m_visibility = GenApi::_UndefinedVisibility;
    QString m_linkLabel;
    QString m_fullName;
    QString* m_pToolTip = nullptr;
    FeatureTreeItem* m_parent = nullptr;
    QList<FeatureTreeItem*> m_children;
    EditorType m_editorType = EditNone;
    bool m_childrenLoaded = false;
    bool m_valueChildren = false;
    bool m_isDebugNode = false;
    bool m_isFullRowItem = false;
    bool m_isDeadEnd = false;
    bool m_isSpecialNode = false;
    IFeatureTreeModelExtension* m_extension = nullptr;
};

class ORBELT_EXPORT FeatureTreeINodeItem : public FeatureTreeItem {
    Q_OBJECT
public:
    FeatureTreeINodeItem(GenApi::INode* node, const QString& name, IFeatureTreeModelExtension* extension,
                         bool isDebugNode, const QString& linkLabel, const QString& fullName, FeatureTreeItem* parent,
                         bool isDeadEnd, bool isUtf8 = false);
    // Named after the node and kept up to date by a node callback.
    FeatureTreeINodeItem(GenApi::INode* node, IFeatureTreeModelExtension* extension, bool isDebugNode,
                         const QString& linkLabel, const QString& fullName, FeatureTreeItem* parent, bool isDeadEnd,
                         bool isUtf8 = false);
    ~FeatureTreeINodeItem() override;

    int childCount() override;
    QVariant data(int column, int role) override;
    void setData(int column, const QVariant& value, int role) override;
    EditorType editorType() const override { return m_editorType; }
    bool hasChildren() override;
    bool ShowMe(GenApi::EVisibility visibility) override;
    GenApi::EAccessMode getAccessMode() const override;
    GenApi::EVisibility getVisibility() const override;
    Qt::ItemFlags flags(int column) override;

    GenApi::INode* node() const { return m_node.get(); }
    bool isEditable() const;
    bool usePersistentEditor() const { return FeatureTreeItem::usePersistentEditor(); }
    void setHighlighter(FeatureTreeHighlighter* highlighter) { m_highlighter = highlighter; }

    static EditorType editorType(const GenApi::INode* node);
    static EditorType editorType(const FeatureTreeINodeItem* item);

    // Node callback: corrects an out-of-range value, else reports the change.
    void onUpdateNode(GenApi::INode* changed);

signals:
    void nodeUpdated(int row, FeatureTreeINodeItem* item);

protected:
    QVariant GetForegroundRole() override;

private:
    void init();
    QString fromNodeText(const GenICam::gcstring& text) const;
    QString valueText();

    Nimbo::CSafeNodeRefPtr m_node;
    Nimbo::CSafeNodePtr<GenApi::IValue> m_value;
    GenApi::CallbackHandleType m_callback = 0;
    bool m_isUtf8 = false;
    std::atomic<bool> m_adjusting{false};
    FeatureTreeHighlighter* m_highlighter = nullptr;
};

class ORBELT_EXPORT FeatureTreeFavoritesItem : public FeatureTreeItem {
    Q_OBJECT
public:
    FeatureTreeFavoritesItem(const QString& name, IFeatureTreeModelExtension* extension, const QString& linkLabel,
                             FeatureTreeItem* parent);

    QVariant data(int column, int role) override;
    EditorType editorType() const override { return EditNone; }
    bool ShowMe(GenApi::EVisibility) override { return true; }
    GenApi::EAccessMode getAccessMode() const override { return GenApi::RW; }
    GenApi::EVisibility getVisibility() const override { return GenApi::Beginner; }
    Qt::ItemFlags flags(int column) override;

protected:
    QVariant GetForegroundRole() override { return QVariant(); }
};

// Translation of a feature text in the "GenICam" context; the fallback when there is none.
ORBELT_EXPORT QString translateFeatureText(const QString& key, const QString& fallback);
