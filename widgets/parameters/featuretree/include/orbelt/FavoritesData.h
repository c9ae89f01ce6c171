// The process-wide list of favourite features and its settings format. GUI thread only, not locked.
#pragma once

#include "orbelt/Export.h"

#include <GenICam/gcstring.h>

#include <QList>
#include <QObject>
#include <QString>

struct ORBELT_EXPORT FavoriteEntry {
    GenICam::gcstring name;
    QString displayName;
    QString nodeMapName;

    // The display name takes no part: it is what the user saw when adding.
    bool operator==(const FavoriteEntry& other) const { return nodeMapName == other.nodeMapName && name == other.name; }
};

class ORBELT_EXPORT FavoritesData : public QObject {
    Q_OBJECT
public:
    FavoritesData() = default;
    ~FavoritesData() override;

    bool load(const QString& groupName);
    bool save(const QString& groupName) const;
    void setNameAndLoad(const QString& groupName);
    void setName(const QString& groupName) { m_name = groupName; }
    QString name() const { return m_name; }

    // The view needs the slots onFavoriteDataUpdated() and onFavoriteDataExpanded(bool).
    bool connectView(QObject* view);
    void disconnectView(QObject* view);

    int count() const { return m_entries.count(); }
    const FavoriteEntry* at(int i) const;
    int indexOf(const FavoriteEntry& entry, int from = 0) const;
    bool append(const FavoriteEntry& entry) { return insert(count(), entry); }
    bool insert(int position, const FavoriteEntry& entry);
    bool takeAt(int i, FavoriteEntry* out = nullptr);
    bool removeAt(int i);
    void move(int from, int to);

    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool on);
    bool viewAll() const { return m_viewAll; }
    void setViewAll(bool on);
    void blockUpdates(bool on);

signals:
    void dataUpdated();
    void expanded(bool on);

private:
    void notify();

    bool m_loaded = false;
    bool m_viewAll = true;
    bool m_expanded = false;
    bool m_updatesBlocked = false;
    bool m_updatePending = false;
    QString m_name;
    QList<FavoriteEntry*> m_entries;
};
