// Imposes the visibilities and access modes of a feature-filter file on a node map before it enters the tree.
#pragma once

#include "orbelt/Export.h"

#include <GenApi/GenApi.h>

#include <QDomDocument>
#include <QDomElement>

class ORBELT_EXPORT NodeMapFilter {
public:
    // Finds the filter file for the node map's model name (a file beside the program first) and parses it.
    static bool createDocument(QDomDocument& document, GenApi::INodeMap* nodeMap);
    static void processElement(const QDomElement& element, GenApi::INodeMap* nodeMap);
    static bool apply(GenApi::INodeMap* nodeMap);
};
