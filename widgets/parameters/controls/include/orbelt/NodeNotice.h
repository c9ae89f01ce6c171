// A node callback's notice taken to the thread of the object it is meant for.
#pragma once

#include "orbelt/Export.h"

class QObject;

namespace GenApi {
class INode;
}

// Node callbacks run in whichever thread changed or polled the node. Calls `slot` (the name of a slot
// of `receiver` that takes a GenApi::INode*) with `node`: at once when the calling thread is the
// receiver's, else queued to the receiver's thread with the hand-off marked for the thread checker;
// the slot takes it over first (threadcheck::takeOver(receiver)).
ORBELT_EXPORT void postNodeNotice(QObject* receiver, const char* slot, GenApi::INode* node);
