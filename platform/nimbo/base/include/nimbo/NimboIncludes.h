// Everything the camera SDK stand-in offers, in one include.
#pragma once

#include <nimbo/DeviceInfo.h>
#include <nimbo/Mivtrace.h>
#include <nimbo/NimboVersion.h>
