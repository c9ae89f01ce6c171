// The handler interfaces through which an instant camera reports images, configuration steps and
// camera events. Every notification has an empty default; the instant camera calls them in the
// threads its header names.
#pragma once

#include <nimbo/GrabResultPtr.h>

#include <GenApi/Node.h>

namespace Nimbo {

class CInstantCamera;

enum ERegistrationMode {
    RegistrationMode_Append = 0,
    RegistrationMode_ReplaceAll = 1,
};

enum ECleanup {
    Cleanup_None = 0,
    Cleanup_Delete = 1,
};

enum ECameraEventAvailability {
    CameraEventAvailability_Mandatory = 0,
    CameraEventAvailability_Optional = 1,
};

class CImageEventHandler {
public:
    virtual void OnImagesSkipped(CInstantCamera& camera, size_t countOfSkippedImages);
    virtual void OnImageGrabbed(CInstantCamera& camera, const CGrabResultPtr& grabResult);
    virtual void OnImageEventHandlerRegistered(CInstantCamera& camera);
    virtual void OnImageEventHandlerDeregistered(CInstantCamera& camera);
    virtual void DestroyImageEventHandler();
    virtual ~CImageEventHandler() = default;
};

class CConfigurationEventHandler {
public:
    virtual void OnAttach(CInstantCamera& camera);
    virtual void OnAttached(CInstantCamera& camera);
    virtual void OnDetach(CInstantCamera& camera);
    virtual void OnDetached(CInstantCamera& camera);
    virtual void OnDestroy(CInstantCamera& camera);
    virtual void OnDestroyed(CInstantCamera& camera);
    virtual void OnOpen(CInstantCamera& camera);
    virtual void OnOpened(CInstantCamera& camera);
    virtual void OnClose(CInstantCamera& camera);
    virtual void OnClosed(CInstantCamera& camera);
    virtual void OnGrabStart(CInstantCamera& camera);
    virtual void OnGrabStarted(CInstantCamera& camera);
    virtual void OnGrabStop(CInstantCamera& camera);
    virtual void OnGrabStopped(CInstantCamera& camera);
    virtual void OnGrabError(CInstantCamera& camera, const char* errorMessage);
    virtual void OnCameraDeviceRemoved(CInstantCamera& camera);
    virtual void OnConfigurationRegistered(CInstantCamera& camera);
    virtual void OnConfigurationDeregistered(CInstantCamera& camera);
    virtual void DestroyConfiguration();
    virtual ~CConfigurationEventHandler() = default;
};

class CCameraEventHandler {
public:
    virtual void OnCameraEvent(CInstantCamera& camera, intptr_t userProvidedId, GenApi::INode* node);
    virtual void OnCameraEventHandlerRegistered(CInstantCamera& camera, const String_t& nodeName,
                                                intptr_t userProvidedId);
    virtual void OnCameraEventHandlerDeregistered(CInstantCamera& camera, const String_t& nodeName,
                                                  intptr_t userProvidedId);
    virtual void DestroyCameraEventHandler();
    virtual ~CCameraEventHandler() = default;
};

} // namespace Nimbo
