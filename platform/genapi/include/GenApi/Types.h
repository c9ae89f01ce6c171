// GenApi's enumerations, list types and callback handle.
#pragma once

#include <GenICam/gcstring.h>
#include <GenICam/gcstring_vector.h>

#include <cstdint>
#include <vector>

namespace GenApi {
enum EAccessMode {
    NI = 0, // not implemented
    NA = 1, // not available
    WO = 2,
    RO = 3,
    RW = 4,
    _UndefinedAccesMode = 5,
    _CycleDetectAccesMode = 6
};

enum EVisibility { Beginner = 0, Expert = 1, Guru = 2, Invisible = 3, _UndefinedVisibility = 99 };

enum ECachingMode { NoCache = 0, WriteThrough = 1, WriteAround = 2, _UndefinedCachingMode = 3 };

enum ERepresentation {
    Linear = 0,
    Logarithmic = 1,
    Boolean = 2,
    PureNumber = 3,
    HexNumber = 4,
    IPV4Address = 5,
    MACAddress = 6,
    _UndefinedRepresentation = 7
};

enum EDisplayNotation { fnAutomatic = 0, fnFixed = 1, fnScientific = 2, _UndefinedEDisplayNotation = 3 };

enum EInterfaceType {
    intfIValue = 0,
    intfIBase = 1,
    intfIInteger = 2,
    intfIBoolean = 3,
    intfICommand = 4,
    intfIFloat = 5,
    intfIString = 6,
    intfIRegister = 7,
    intfICategory = 8,
    intfIEnumeration = 9,
    intfIEnumEntry = 10,
    intfIPort = 11
};

enum ECallbackType {
    cbPostInsideLock = 1, // called while the node map's lock is held
    cbPostOutsideLock = 2 // called after the lock was released
};

enum EIncMode { noIncrement = 0, fixedIncrement = 1, listIncrement = 2 };

enum EYesNo { No = 0, Yes = 1, _UndefinedYesNo = 2 };

enum ENameSpace { Custom = 0, Standard = 1, _UndefinedNameSpace = 2 };

enum EEndianess { BigEndian = 0, LittleEndian = 1, _UndefinedEndian = 2 };

enum ESign { Signed = 0, Unsigned = 1, _UndefinedSign = 2 };

// Which links GetChildren follows.
enum ELinkType {
    ctParentNodes,
    ctReadingChildren,      // nodes this node reads from (pValue, pVariable, pMin, ...)
    ctWritingChildren,      // nodes a write of this node goes to
    ctInvalidatingChildren, // nodes whose change invalidates this node
    ctDependingNodes,       // nodes whose value may change when this node changes
    ctTerminalNodes,        // the registers or constants at the end of the reading chain
    ctValueChangingChildren
};

class INode;
class IValue;

typedef std::vector<INode*> NodeList_t;
typedef std::vector<IValue*> FeatureList_t;
typedef GenICam::gcstring_vector StringList_t;
typedef std::vector<int64_t> int64_autovector_t;
typedef std::vector<double> double_autovector_t;
typedef intptr_t CallbackHandleType;
} // namespace GenApi
