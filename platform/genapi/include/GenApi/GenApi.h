// Everything of GenApi, with the GenICam base types.
#pragma once

#include <GenICam/GenICam.h>

#include <GenApi/Base.h>
#include <GenApi/Boolean.h>
#include <GenApi/Category.h>
#include <GenApi/Command.h>
#include <GenApi/DeviceInfo.h>
#include <GenApi/EnumEntry.h>
#include <GenApi/Enumeration.h>
#include <GenApi/FileProtocolAdapter.h>
#include <GenApi/Float.h>
#include <GenApi/Integer.h>
#include <GenApi/Lock.h>
#include <GenApi/Node.h>
#include <GenApi/NodeCallback.h>
#include <GenApi/NodeMap.h>
#include <GenApi/NodeMapFactory.h>
#include <GenApi/Pointer.h>
#include <GenApi/Port.h>
#include <GenApi/Register.h>
#include <GenApi/Selector.h>
#include <GenApi/String.h>
#include <GenApi/Types.h>
#include <GenApi/Value.h>
