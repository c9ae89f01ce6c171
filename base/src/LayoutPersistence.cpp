// Saving and restoring widget geometries and header layouts.
#include "brasko/LayoutPersistence.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QSettings>
#include <QSize>
#include <QWidget>

#include <cwchar>

namespace {

const QString posRelativeKey = QStringLiteral("pos_r");
const QString posKey = QStringLiteral("pos");
const QString sizeKey = QStringLiteral("size");
const QString headerVersionKey = QStringLiteral("headerver");
const QString headerKey = QStringLiteral("header");

bool validGroup(const wchar_t* group)
{
    return group && *group;
}

QString groupName(const wchar_t* group)
{
    return QString::fromWCharArray(group, static_cast<int>(std::wcslen(group)));
}

} // namespace

bool saveWidgetPositionAndSize(QSettings* settings, const QWidget* widget, QWidget* reference)
{
    if (!settings || !widget)
        return false;
    if (reference)
        settings->setValue(posRelativeKey, widget->pos() - reference->pos());
    else
        settings->setValue(posKey, widget->pos());
    settings->setValue(sizeKey, widget->size());
    return true;
}

bool saveWidgetPositionAndSize(const wchar_t* group, const QWidget* widget, QWidget* reference)
{
    if (!validGroup(group) || !widget)
        return false;
    QSettings settings;
    settings.beginGroup(groupName(group));
    return saveWidgetPositionAndSize(&settings, widget, reference);
}

bool restoreWidgetPositionAndSize(const QSettings* settings, QWidget* widget, QWidget* reference)
{
    if (!settings || !widget)
        return false;
    QPoint position;
    if (reference) {
        if (!settings->contains(posRelativeKey))
            return false;
        position = reference->pos() + settings->value(posRelativeKey).toPoint();
    } else {
        if (!settings->contains(posKey))
            return false;
        position = settings->value(posKey).toPoint();
    }

    QSize size = widget->size();
    if (settings->contains(sizeKey)) {
        size = settings->value(sizeKey).toSize();
        widget->resize(size);
    }

    // A window counts as visible only when more than its frame margins lie on a screen.
    const QRect test = QRect(position, size).adjusted(8, 16, -8, -8);
    if (!test.isValid())
        return false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (test.intersects(screen->availableGeometry())) {
            widget->move(position);
            return true;
        }
    }
    return false;
}

bool restoreWidgetPositionAndSize(const wchar_t* group, QWidget* widget, QWidget* reference)
{
    if (!validGroup(group) || !widget)
        return false;
    QSettings settings;
    settings.beginGroup(groupName(group));
    return restoreWidgetPositionAndSize(&settings, widget, reference);
}

bool saveHeaderLayout(QSettings* settings, int version, const QHeaderView* header)
{
    if (!settings || !header)
        return false;
    settings->setValue(headerVersionKey, version);
    settings->setValue(headerKey, header->saveState());
    return true;
}

bool saveHeaderLayout(const wchar_t* group, int version, const QHeaderView* header)
{
    if (!validGroup(group) || !header)
        return false;
    QSettings settings;
    settings.beginGroup(groupName(group));
    return saveHeaderLayout(&settings, version, header);
}

bool restoreHeaderLayout(const QSettings* settings, int version, QHeaderView* header)
{
    if (!settings || !header)
        return false;
    if (!settings->contains(headerKey) || settings->value(headerVersionKey, 0).toInt() != version)
        return false;
    return header->restoreState(settings->value(headerKey).toByteArray());
}

bool restoreHeaderLayout(const wchar_t* group, int version, QHeaderView* header)
{
    if (!validGroup(group) || !header)
        return false;
    QSettings settings;
    settings.beginGroup(groupName(group));
    return restoreHeaderLayout(&settings, version, header);
}
