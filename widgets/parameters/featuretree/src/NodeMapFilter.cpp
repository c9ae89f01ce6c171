// Feature-filter files: choosing one by model name and imposing its settings on the named nodes.
#include "orbelt/NodeMapFilter.h"

#include <QCoreApplication>
#include <QFile>

namespace {
const char* kCreate = "NodeMapFilter::createDocument";
const char* kProcess = "NodeMapFilter::processElement";

QDomElement firstBelow(const QDomElement& element, const QString& tag)
{
    const QDomNodeList found = element.elementsByTagName(tag);
    return found.isEmpty() ? QDomElement() : found.at(0).toElement();
}
} // namespace

bool NodeMapFilter::createDocument(QDomDocument& document, GenApi::INodeMap* nodeMap)
{
    auto* info = dynamic_cast<GenApi::IDeviceInfo*>(nodeMap);
    if (!info) {
        qWarning("%s: nodemap doesn't implement IDeviceInfo interface", kCreate);
        return false;
    }
    const QString model = QString::fromLatin1(info->GetModelName().c_str());
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QStringList candidates{programFolder + "/" + model + "_Filter.xml",
                                 ":/orbelt/Resources/" + model + "_Filter.xml", programFolder + "/Default_Filter.xml",
                                 ":/orbelt/Resources/Default_Filter.xml"};
    for (const QString& candidate : candidates) {
        QFile file(candidate);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QString message;
        int line = 0, column = 0;
        if (!document.setContent(&file, &message, &line, &column)) {
            qWarning("%s: failed to parse file %s: %s (%d, %d)", kCreate, qPrintable(candidate), qPrintable(message),
                     line, column);
            return false;
        }
        return true;
    }
    qWarning("%s: failed to open file %s and Default_Filter.xml", kCreate, qPrintable(candidates.first()));
    return false;
}

void NodeMapFilter::processElement(const QDomElement& element, GenApi::INodeMap* nodeMap)
{
    const QDomElement nameElement = firstBelow(element, "Name");
    if (nameElement.isNull()) {
        qWarning("%s: failed to get the name of a filter item", kProcess);
        return;
    }
    const QString name = nameElement.text();
    if (name.isEmpty()) {
        qWarning("%s: empty name found", kProcess);
        return;
    }
    GenApi::INode* node = nodeMap->GetNode(name.toLatin1().constData());
    if (!node)
        return;
    const QDomElement visibility = firstBelow(element, "Visibility");
    if (!visibility.isNull()) {
        static const QStringList levels{"Beginner", "Expert", "Guru", "Invisible"};
        const int level = levels.indexOf(visibility.text());
        if (level < 0) {
            qWarning("%s: invalid visibility: %s", kProcess, qPrintable(visibility.text()));
            return;
        }
        node->ImposeVisibility(static_cast<GenApi::EVisibility>(level));
    }
    const QDomElement accessMode = firstBelow(element, "AccessMode");
    if (!accessMode.isNull()) {
        const QString text = accessMode.text();
        GenApi::EAccessMode mode;
        if (text == "RO")
            mode = GenApi::RO;
        else if (text == "NA")
            mode = GenApi::NA;
        else if (text == "NI")
            mode = GenApi::NI;
        else {
            qWarning("%s: invalid access mode: %s", kProcess, qPrintable(text));
            return;
        }
        node->ImposeAccessMode(mode);
    }
}

bool NodeMapFilter::apply(GenApi::INodeMap* nodeMap)
{
    if (!nodeMap)
        return false;
    QDomDocument document;
    if (!createDocument(document, nodeMap))
        return false;
    for (QDomElement element = document.documentElement().firstChildElement(); !element.isNull();
         element = element.nextSiblingElement())
        processElement(element, nodeMap);
    return true;
}
