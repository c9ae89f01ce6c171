// Everything the camera SDK stand-in offers, in one include.
#pragma once

#include <nimbo/DeviceInfo.h>
#include <nimbo/Mivtrace.h>
#include <nimbo/NimboVersion.h>
#include <nimbo/NimboTypes.h>
#include <nimbo/WaitObject.h>
#include <nimbo/NodeMapProvider.h>
#include <nimbo/GrabResult.h>
#include <nimbo/StreamGrabber.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/TransportLayer.h>
#include <nimbo/GigETransportLayer.h>
#include <nimbo/TransportLayerPlugin.h>
#include <nimbo/TlFactory.h>
#include <nimbo/DeviceEnumeration.h>
#include <nimbo/PixelType.h>
#include <nimbo/NimboImage.h>
#include <nimbo/ImageFormatConverter.h>
#include <nimbo/ImagePersistence.h>
#include <nimbo/AviWriter.h>
#include <nimbo/FeaturePersistence.h>
#include <nimbo/GrabResultPtr.h>
#include <nimbo/EventHandlers.h>
#include <nimbo/InstantCamera.h>
#include <nimbo/SafeNodePtr.h>
#include <nimbo/ThreadPriority.h>
