// Node-map values to and from a text: saving a camera's or transport layer's settings and restoring them.
#pragma once

#include <GenICam/gcstring.h>

namespace GenApi {
class INodeMap;
}

namespace Nimbo {

// Stateless. The node map's own lock serialises the node accesses; the caller keeps the node map alive.
//
// The text is a list of assignments "Name<TAB>Value", one a line, applied in order when loading; lines
// starting with '#' are comments. Saved are the readable and writable value nodes (integer, float,
// boolean, enumeration, string) marked Streamable, or every such feature when the node map marks none.
// For a selector every value is written, each followed by the features it selects, and then its
// current value again, so that loading the list in order restores every selected value.
class CFeaturePersistence {
public:
    // Throws GenICam::InvalidArgumentException for a null node map. Saving sets selectors in turn
    // and sets them back.
    static void SaveToString(GenICam::gcstring& text, GenApi::INodeMap* nodeMap);
    // Applies every assignment it can; a node that is missing, not writable or refuses its value does
    // not stop the others. Afterwards throws GenICam::RuntimeException naming those that failed.
    // `verify` is handed to each write.
    static void LoadFromString(const GenICam::gcstring& text, GenApi::INodeMap* nodeMap, bool verify = true);
};

} // namespace Nimbo
