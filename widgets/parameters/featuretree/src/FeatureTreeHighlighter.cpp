// Search-text highlighting for the feature tree's texts.
#include "orbelt/FeatureTreeHighlighter.h"

#include <QSettings>

namespace {
const char* kDefaultColour = "#ffff50";
const char* kColourKey = "FeatureTree/HighlightColor";
} // namespace

FeatureTreeHighlighter::FeatureTreeHighlighter()
{
    QSettings settings;
    m_colour = QColor(settings.value(kColourKey, kDefaultColour).toString());
    if (!m_colour.isValid())
        m_colour = QColor(kDefaultColour);
    settings.setValue(kColourKey, m_colour.name());
}

QString FeatureTreeHighlighter::markStart() const
{
    return "<span style='background-color: " + m_colour.name() + "; font-weight:bold'>";
}

QString FeatureTreeHighlighter::highlightPlainText(const QString& text) const
{
    if (m_searchText.isEmpty())
        return text.toHtmlEscaped();
    const QString open = markStart();
    const QString close = "</span>";
    QString result;
    int from = 0;
    int position = 0;
    while ((position = text.indexOf(m_searchText, from, Qt::CaseInsensitive)) >= 0) {
        result += text.mid(from, position - from).toHtmlEscaped() + open +
                  text.mid(position, m_searchText.size()).toHtmlEscaped() + close;
        from = position + m_searchText.size();
    }
    return result + text.mid(from).toHtmlEscaped();
}

QString FeatureTreeHighlighter::highlight(QString text) const
{
    if (m_searchText.isEmpty())
        return text;
    const QString open = markStart();
    const QString close = "</span>";
    int position = 0;
    while ((position = text.indexOf(m_searchText, position, Qt::CaseInsensitive)) >= 0) {
        text.insert(position + m_searchText.size(), close);
        text.insert(position, open);
        position += open.size() + m_searchText.size() + close.size();
    }
    return text;
}
