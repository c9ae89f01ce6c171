// The shared favourites list: editing with change notifications, and its settings format.
#include "orbelt/FavoritesData.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>

namespace {
// The indexes of the entry keys ("0", "1", ...) that the group holds, from `first` to below `end`, in
// order. Read from the keys that are there: a damaged file may claim billions of entries.
QList<int> storedIndexes(const QSettings& settings, int first, int end)
{
    QList<int> indexes;
    for (const QString& key : settings.childKeys()) {
        bool ok = false;
        const int i = key.toInt(&ok);
        if (ok && i >= first && i < end && key == QString::number(i))
            indexes.append(i);
    }
    std::sort(indexes.begin(), indexes.end());
    return indexes;
}
} // namespace

FavoritesData::~FavoritesData()
{
    qDeleteAll(m_entries);
}

bool FavoritesData::load(const QString& groupName)
{
    if (groupName.isEmpty())
        return false;
    QSettings settings;
    settings.beginGroup(groupName);
    settings.value("Version", 1); // read for the format's sake; every version reads alike
    const int stored = settings.value("NumberOfEntries", 0).toInt();
    qDeleteAll(m_entries);
    m_entries.clear();
    for (int i : storedIndexes(settings, 0, stored)) {
        const QStringList parts = settings.value(QString::number(i)).toString().split('*', Qt::SkipEmptyParts);
        if (parts.size() != 3)
            continue;
        m_entries.append(new FavoriteEntry{parts[0].toLocal8Bit().constData(), parts[1], parts[2]});
    }
    m_viewAll = settings.value("ViewAll", false).toBool();
    m_expanded = settings.value("Expanded", true).toBool();
    settings.endGroup();
    notify();
    return true;
}

bool FavoritesData::save(const QString& groupName) const
{
    if (groupName.isEmpty())
        return false;
    QSettings settings;
    settings.beginGroup(groupName);
    const int previous = settings.value("NumberOfEntries", 0).toInt();
    settings.setValue("Version", 3);
    settings.setValue("NumberOfEntries", m_entries.count());
    for (int i = 0; i < m_entries.count(); ++i) {
        const FavoriteEntry* entry = m_entries[i];
        // Left out, and no value of an earlier save may stand in its place.
        if (entry->name.empty() || entry->nodeMapName.isEmpty()) {
            settings.remove(QString::number(i));
            continue;
        }
        settings.setValue(QString::number(i), QString("%1*%2*%3")
                                                  .arg(QString::fromLocal8Bit(entry->name.c_str()), entry->displayName,
                                                       entry->nodeMapName));
    }
    for (int i : storedIndexes(settings, m_entries.count(), previous))
        settings.remove(QString::number(i));
    settings.setValue("ViewAll", m_viewAll ? 1 : 0);
    settings.setValue("Expanded", m_expanded ? 1 : 0);
    settings.endGroup();
    return true;
}

void FavoritesData::setNameAndLoad(const QString& groupName)
{
    if (m_loaded)
        return;
    m_name = groupName;
    load(groupName);
    m_loaded = true;
}

bool FavoritesData::connectView(QObject* view)
{
    const bool updated = connect(this, SIGNAL(dataUpdated()), view, SLOT(onFavoriteDataUpdated()));
    const bool expanded = connect(this, SIGNAL(expanded(bool)), view, SLOT(onFavoriteDataExpanded(bool)));
    return updated && expanded;
}

void FavoritesData::disconnectView(QObject* view)
{
    save(m_name);
    disconnect(this, SIGNAL(dataUpdated()), view, SLOT(onFavoriteDataUpdated()));
    disconnect(this, SIGNAL(expanded(bool)), view, SLOT(onFavoriteDataExpanded(bool)));
}

const FavoriteEntry* FavoritesData::at(int i) const
{
    return i >= 0 && i < m_entries.count() ? m_entries[i] : nullptr;
}

int FavoritesData::indexOf(const FavoriteEntry& entry, int from) const
{
    if (from < 0)
        from = qMax(0, from + m_entries.count());
    for (int i = from; i < m_entries.count(); ++i)
        if (*m_entries[i] == entry)
            return i;
    return -1;
}

bool FavoritesData::insert(int position, const FavoriteEntry& entry)
{
    if (position < 0)
        position += m_entries.count();
    if (position < 0 || position > m_entries.count() || entry.name.empty() || indexOf(entry) >= 0)
        return false;
    m_entries.insert(position, new FavoriteEntry(entry));
    notify();
    return true;
}

bool FavoritesData::takeAt(int i, FavoriteEntry* out)
{
    if (i < 0 || i >= m_entries.count())
        return false;
    FavoriteEntry* entry = m_entries.takeAt(i);
    if (out)
        *out = *entry;
    delete entry;
    return true;
}

bool FavoritesData::removeAt(int i)
{
    if (!takeAt(i))
        return false;
    notify();
    return true;
}

void FavoritesData::move(int from, int to)
{
    if (from < to)
        --to;
    FavoriteEntry entry;
    if (takeAt(from, &entry)) {
        // A target past the end lands at the end, so an entry never gets lost on the way.
        if (!insert(qBound(0, to, count()), entry))
            m_entries.insert(qBound(0, from, count()), new FavoriteEntry(entry));
    }
}

void FavoritesData::setExpanded(bool on)
{
    if (m_expanded == on)
        return;
    m_expanded = on;
    emit expanded(on);
}

void FavoritesData::setViewAll(bool on)
{
    if (m_viewAll == on)
        return;
    m_viewAll = on;
    notify();
}

void FavoritesData::blockUpdates(bool on)
{
    m_updatesBlocked = on;
    if (!on && m_updatePending) {
        m_updatePending = false;
        emit dataUpdated();
    }
}

void FavoritesData::notify()
{
    if (m_updatesBlocked)
        m_updatePending = true;
    else
        emit dataUpdated();
}
