// Marks the occurrences of the search text in tool-tip and cell texts with a coloured span. GUI thread.
#pragma once

#include "orbelt/Export.h"

#include <QColor>
#include <QString>

class ORBELT_EXPORT FeatureTreeHighlighter {
public:
    // Reads the colour from "FeatureTree"/"HighlightColor" and writes the colour in use back.
    FeatureTreeHighlighter();

    void setSearchText(QString text) { m_searchText = text; }
    QString searchText() const { return m_searchText; }
    QString highlight(QString text) const;
    // Rich text of a plain text: escaped, with every match of the search text marked.
    QString highlightPlainText(const QString& text) const;

private:
    // The opening tag of a marked match.
    QString markStart() const;

    QString m_searchText;
    QColor m_colour;
};
