// A device with its grab loop: buffers, an SDK grab thread and handlers for images, configuration
// steps and camera events.
#pragma once

#include <nimbo/EventHandlers.h>
#include <nimbo/NimboDevice.h>

#include <GenApi/Lock.h>

#include <memory>

namespace Nimbo {

enum EGrabStrategy {
    GrabStrategy_OneByOne = 0,
    GrabStrategy_LatestImageOnly = 1,
};

enum EGrabLoop {
    GrabLoop_ProvidedByInstantCamera = 0,
    GrabLoop_ProvidedByUser = 1,
};

enum ETimeoutHandling {
    TimeoutHandling_Return = 0,
    TimeoutHandling_ThrowException = 1,
};

// A version as major.minor.subminor[.build]; the build takes part in comparisons only when asked.
class VersionInfo {
public:
    VersionInfo(unsigned int major = 0, unsigned int minor = 0, unsigned int subminor = 0)
        : m_major(major), m_minor(minor), m_subminor(subminor)
    {
    }
    VersionInfo(unsigned int major, unsigned int minor, unsigned int subminor, unsigned int build)
        : m_major(major), m_minor(minor), m_subminor(subminor), m_build(build), m_checkBuild(true)
    {
    }
    unsigned int getMajor() const { return m_major; }
    unsigned int getMinor() const { return m_minor; }
    unsigned int getSubminor() const { return m_subminor; }
    unsigned int getBuild() const { return m_build; }
    int compare(const VersionInfo& other) const;
    bool operator==(const VersionInfo& o) const { return compare(o) == 0; }
    bool operator!=(const VersionInfo& o) const { return compare(o) != 0; }
    bool operator<(const VersionInfo& o) const { return compare(o) < 0; }
    bool operator<=(const VersionInfo& o) const { return compare(o) <= 0; }
    bool operator>(const VersionInfo& o) const { return compare(o) > 0; }
    bool operator>=(const VersionInfo& o) const { return compare(o) >= 0; }

private:
    unsigned int m_major, m_minor, m_subminor, m_build = 0;
    bool m_checkBuild = false;
};

// Threads: the owner's thread attaches, opens, starts, stops and closes; configuration notices for
// those steps run in it. The grab-loop thread (an SDK thread) delivers image and camera-event
// notices; removal and grab-error notices come from SDK threads. Everything the handlers and the
// grab loop share is guarded by the recursive lock GetLock(), which the owner may take as well.
class CInstantCamera {
public:
    CInstantCamera();
    explicit CInstantCamera(INimboDevice* device, ECleanup cleanup = Cleanup_Delete);
    virtual ~CInstantCamera();
    CInstantCamera(const CInstantCamera&) = delete;
    CInstantCamera& operator=(const CInstantCamera&) = delete;

    // Cleanup_Delete: the camera destroys the device through the factory when it lets it go.
    virtual void Attach(INimboDevice* device, ECleanup cleanup = Cleanup_Delete);
    virtual bool IsNimboDeviceAttached() const;
    virtual bool HasOwnership() const;
    // Lets the device go without destroying it; returns it.
    virtual INimboDevice* DetachDevice();
    // Lets the device go and destroys it when owned.
    virtual void DestroyDevice();
    virtual INimboDevice* GetDevice();

    virtual void Open();
    virtual void Close();
    virtual bool IsOpen() const;

    // Opens the camera when needed; allocates MaxNumBuffer buffers (10 unless set) of PayloadSize.
    virtual void StartGrabbing(EGrabStrategy strategy = GrabStrategy_OneByOne,
                               EGrabLoop grabLoop = GrabLoop_ProvidedByUser);
    virtual void StartGrabbing(size_t maxImages, EGrabStrategy strategy = GrabStrategy_OneByOne,
                               EGrabLoop grabLoop = GrabLoop_ProvidedByUser);
    virtual void StopGrabbing();
    virtual bool IsGrabbing() const;
    // With the user's grab loop: the next result, or false on time-out.
    virtual bool RetrieveResult(unsigned int timeoutMs, CGrabResultPtr& result,
                                ETimeoutHandling timeoutHandling = TimeoutHandling_ThrowException);
    // Waits until the camera waits for a frame trigger (true), or the time-out (false, or a time-out
    // exception). False at once when the camera is not grabbing.
    virtual bool WaitForFrameTriggerReady(unsigned int timeoutMs,
                                          ETimeoutHandling timeoutHandling = TimeoutHandling_ThrowException);
    virtual void ExecuteSoftwareTrigger();

    virtual GenApi::INodeMap& GetNodeMap();
    virtual GenApi::INodeMap& GetTLNodeMap();
    virtual GenApi::INodeMap& GetStreamGrabberNodeMap();
    // Tests without throwing: null when absent.
    GenApi::INodeMap* GetNodeMapPointer();
    virtual const CDeviceInfo& GetDeviceInfo() const;
    virtual bool IsCameraDeviceRemoved() const;
    virtual GenApi::CLock& GetLock() const;
    virtual VersionInfo GetSfncVersion();
    virtual bool IsGigE() const;
    virtual bool IsUsb() const;
    void SetCameraContext(intptr_t context) { m_context = context; }
    intptr_t GetCameraContext() const { return m_context; }
    // Buffers allocated for the next grab.
    void SetMaxNumBuffer(size_t count);
    size_t GetMaxNumBuffer() const;

    virtual void RegisterConfiguration(CConfigurationEventHandler* handler, ERegistrationMode mode, ECleanup cleanup);
    virtual bool DeregisterConfiguration(CConfigurationEventHandler* handler);
    virtual void RegisterImageEventHandler(CImageEventHandler* handler, ERegistrationMode mode, ECleanup cleanup);
    virtual bool DeregisterImageEventHandler(CImageEventHandler* handler);
    // Calls the handler whenever the node changes (set, invalidated or polled). A missing node throws
    // with CameraEventAvailability_Mandatory and is skipped with _Optional.
    virtual void RegisterCameraEventHandler(CCameraEventHandler* handler, const String_t& nodeName,
                                            intptr_t userProvidedId, ERegistrationMode mode, ECleanup cleanup,
                                            ECameraEventAvailability availability = CameraEventAvailability_Mandatory);
    virtual bool DeregisterCameraEventHandler(CCameraEventHandler* handler, const String_t& nodeName);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
    intptr_t m_context = 0;
};

} // namespace Nimbo
