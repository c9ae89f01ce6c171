// Window geometry and header-view layouts kept in the application's settings store.
#pragma once

#include "brasko/Export.h"

class QHeaderView;
class QSettings;
class QWidget;

// GUI thread only. The settings forms work in the group the caller has already entered; the
// group forms open the default settings store and enter the named group. A reference widget makes
// the stored position relative to it. A geometry is applied only when it would still be visible.
BRASKO_EXPORT bool saveWidgetPositionAndSize(QSettings* settings, const QWidget* widget, QWidget* reference);
BRASKO_EXPORT bool saveWidgetPositionAndSize(const wchar_t* group, const QWidget* widget, QWidget* reference);
BRASKO_EXPORT bool restoreWidgetPositionAndSize(const QSettings* settings, QWidget* widget, QWidget* reference);
BRASKO_EXPORT bool restoreWidgetPositionAndSize(const wchar_t* group, QWidget* widget, QWidget* reference);

// A stored layout is restored only by a caller that asks for the same version.
BRASKO_EXPORT bool saveHeaderLayout(QSettings* settings, int version, const QHeaderView* header);
BRASKO_EXPORT bool saveHeaderLayout(const wchar_t* group, int version, const QHeaderView* header);
BRASKO_EXPORT bool restoreHeaderLayout(const QSettings* settings, int version, QHeaderView* header);
BRASKO_EXPORT bool restoreHeaderLayout(const wchar_t* group, int version, QHeaderView* header);
