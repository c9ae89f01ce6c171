// The instant camera: device ownership, the grab session with its buffers and grab-loop thread, and
// the handler lists.
#include <nimbo/InstantCamera.h>
#include <nimbo/TlFactory.h>

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace Nimbo {

// Default notifications do nothing; the Destroy... ones delete the handler (for Cleanup_Delete).
void CImageEventHandler::OnImagesSkipped(CInstantCamera&, size_t) {}
void CImageEventHandler::OnImageGrabbed(CInstantCamera&, const CGrabResultPtr&) {}
void CImageEventHandler::OnImageEventHandlerRegistered(CInstantCamera&) {}
void CImageEventHandler::OnImageEventHandlerDeregistered(CInstantCamera&) {}
void CImageEventHandler::DestroyImageEventHandler()
{
    delete this;
}
void CConfigurationEventHandler::OnAttach(CInstantCamera&) {}
void CConfigurationEventHandler::OnAttached(CInstantCamera&) {}
void CConfigurationEventHandler::OnDetach(CInstantCamera&) {}
void CConfigurationEventHandler::OnDetached(CInstantCamera&) {}
void CConfigurationEventHandler::OnDestroy(CInstantCamera&) {}
void CConfigurationEventHandler::OnDestroyed(CInstantCamera&) {}
void CConfigurationEventHandler::OnOpen(CInstantCamera&) {}
void CConfigurationEventHandler::OnOpened(CInstantCamera&) {}
void CConfigurationEventHandler::OnClose(CInstantCamera&) {}
void CConfigurationEventHandler::OnClosed(CInstantCamera&) {}
void CConfigurationEventHandler::OnGrabStart(CInstantCamera&) {}
void CConfigurationEventHandler::OnGrabStarted(CInstantCamera&) {}
void CConfigurationEventHandler::OnGrabStop(CInstantCamera&) {}
void CConfigurationEventHandler::OnGrabStopped(CInstantCamera&) {}
void CConfigurationEventHandler::OnGrabError(CInstantCamera&, const char*) {}
void CConfigurationEventHandler::OnCameraDeviceRemoved(CInstantCamera&) {}
void CConfigurationEventHandler::OnConfigurationRegistered(CInstantCamera&) {}
void CConfigurationEventHandler::OnConfigurationDeregistered(CInstantCamera&) {}
void CConfigurationEventHandler::DestroyConfiguration()
{
    delete this;
}
void CCameraEventHandler::OnCameraEvent(CInstantCamera&, intptr_t, GenApi::INode*) {}
void CCameraEventHandler::OnCameraEventHandlerRegistered(CInstantCamera&, const String_t&, intptr_t) {}
void CCameraEventHandler::OnCameraEventHandlerDeregistered(CInstantCamera&, const String_t&, intptr_t) {}
void CCameraEventHandler::DestroyCameraEventHandler()
{
    delete this;
}

const CGrabResultData* CGrabResultPtr::operator->() const
{
    if (!m_data)
        throw LOGICAL_ERROR_EXCEPTION("NULL pointer dereferenced");
    return m_data.get();
}

int VersionInfo::compare(const VersionInfo& o) const
{
    auto cmp = [](unsigned a, unsigned b) { return a < b ? -1 : a > b ? 1 : 0; };
    if (int c = cmp(m_major, o.m_major))
        return c;
    if (int c = cmp(m_minor, o.m_minor))
        return c;
    if (int c = cmp(m_subminor, o.m_subminor))
        return c;
    return m_checkBuild && o.m_checkBuild ? cmp(m_build, o.m_build) : 0;
}

namespace {

// Buffers of one grab. Results keep it alive, so a result held after the grab still has its memory.
struct GrabSession {
    IStreamGrabber* grabber = nullptr;
    std::vector<std::unique_ptr<uint8_t[]>> memory;
    std::vector<StreamBufferHandle> handles;
    size_t bufferSize = 0;
    std::mutex mutex; // guards active against the requeue of released results
    bool active = true;
};

template <class H>
struct Registration {
    H* handler;
    ECleanup cleanup;
};

// The notices a configuration or image handler receives about its own registration.
struct ConfigurationNotices {
    using Handler = CConfigurationEventHandler;
    static void registered(Handler* h, CInstantCamera& camera) { h->OnConfigurationRegistered(camera); }
    static void deregistered(Handler* h, CInstantCamera& camera) { h->OnConfigurationDeregistered(camera); }
    static void destroy(Handler* h) { h->DestroyConfiguration(); }
};

struct ImageNotices {
    using Handler = CImageEventHandler;
    static void registered(Handler* h, CInstantCamera& camera) { h->OnImageEventHandlerRegistered(camera); }
    static void deregistered(Handler* h, CInstantCamera& camera) { h->OnImageEventHandlerDeregistered(camera); }
    static void destroy(Handler* h) { h->DestroyImageEventHandler(); }
};

// Appends (or replaces all with) one handler; the notices run after the lock is released.
template <class Notices>
void registerHandler(std::recursive_mutex& mutex, std::vector<Registration<typename Notices::Handler>>& list,
                     typename Notices::Handler* handler, ERegistrationMode mode, ECleanup cleanup,
                     CInstantCamera& camera)
{
    std::vector<Registration<typename Notices::Handler>> dropped;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        if (mode == RegistrationMode_ReplaceAll)
            dropped.swap(list);
        if (handler)
            list.push_back({handler, cleanup});
    }
    for (auto& r : dropped) {
        if (r.handler == handler)
            continue;
        Notices::deregistered(r.handler, camera);
        if (r.cleanup == Cleanup_Delete)
            Notices::destroy(r.handler);
    }
    if (handler)
        Notices::registered(handler, camera);
}

// Removes the first registration of the handler; false when it was not registered.
template <class Notices>
bool deregisterHandler(std::recursive_mutex& mutex, std::vector<Registration<typename Notices::Handler>>& list,
                       typename Notices::Handler* handler, CInstantCamera& camera)
{
    Registration<typename Notices::Handler> found{nullptr, Cleanup_None};
    {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        for (auto it = list.begin(); it != list.end(); ++it)
            if (it->handler == handler) {
                found = *it;
                list.erase(it);
                break;
            }
    }
    if (!found.handler)
        return false;
    Notices::deregistered(found.handler, camera);
    if (found.cleanup == Cleanup_Delete)
        Notices::destroy(found.handler);
    return true;
}

struct CameraEventRegistration {
    CCameraEventHandler* handler;
    String_t nodeName;
    intptr_t id;
    ECleanup cleanup;
    GenApi::INode* node;
    GenApi::CallbackHandleType callback;
};

} // namespace

class CInstantCamera::Impl {
public:
    explicit Impl(CInstantCamera& owner) : self(owner) {}

    CInstantCamera& self;
    mutable GenApi::CLock lock; // the camera lock users take; also guards the fields below
    INimboDevice* device = nullptr;
    ECleanup cleanup = Cleanup_None;
    CDeviceInfo emptyInfo;
    DeviceCallbackHandle removalHandle = 0;
    std::atomic<bool> removed{false};
    size_t maxNumBuffer = 10;

    // Grab state. grabControl serialises starting a grab with tearing one down; `loop` is touched
    // under it only, and never by the grab-loop thread itself. The grab may end in any thread: the
    // owner's, the user's grab loop after its last result, or the SDK's grab loop after its last image.
    std::recursive_mutex grabControl;
    std::atomic<bool> grabbing{false};
    std::atomic<bool> stopLoop{false};
    std::shared_ptr<GrabSession> session; // read and written with std::atomic_load/atomic_store
    std::thread loop;
    std::atomic<std::thread::id> loopThread{};
    // Beside the SDK's grab loop, the node map is polled on a thread of its own, so that a slow poll (a
    // camera slow to answer, a callback that takes its time) holds no image back. `poller` and
    // `pollStop` are touched like `loop`; each poller has a stop of its own.
    struct PollStop {
        std::mutex mutex;
        std::condition_variable wake;
        bool stop = false; // under mutex
    };
    std::thread poller;
    std::shared_ptr<PollStop> pollStop;
    std::atomic<std::thread::id> pollerThread{};
    EGrabLoop loopKind = GrabLoop_ProvidedByUser;
    EGrabStrategy strategy = GrabStrategy_OneByOne;
    size_t maxImages = 0;
    std::atomic<size_t> delivered{0};
    // From the start of a grab until its teardown has finished; guarded by sessionMutex.
    std::mutex sessionMutex;
    std::condition_variable sessionEnded;
    bool sessionOpen = false;
    std::atomic<std::thread::id> stoppingThread{};

    // Handler lists, guarded by handlerMutex (recursive: handlers may register others).
    std::recursive_mutex handlerMutex;
    std::vector<Registration<CConfigurationEventHandler>> configurations;
    std::vector<Registration<CImageEventHandler>> imageHandlers;
    std::vector<CameraEventRegistration> cameraEvents;

    template <class F>
    void forConfigurations(F f)
    {
        std::lock_guard<std::recursive_mutex> l(handlerMutex);
        const auto copy = configurations;
        for (const auto& r : copy)
            f(*r.handler);
    }

    void onNodeChanged(GenApi::INode* node)
    {
        std::vector<CameraEventRegistration> hits;
        {
            std::lock_guard<std::recursive_mutex> l(handlerMutex);
            for (const auto& r : cameraEvents)
                if (r.node == node)
                    hits.push_back(r);
        }
        for (const auto& r : hits)
            r.handler->OnCameraEvent(self, r.id, node);
    }

    void bindCameraEvent(CameraEventRegistration& r)
    {
        GenApi::INodeMap* map = device ? device->GetNodeMap() : nullptr;
        r.node = map ? map->GetNode(r.nodeName) : nullptr;
        r.callback = r.node ? GenApi::Register(r.node, *this, &Impl::onNodeChanged, GenApi::cbPostOutsideLock) : 0;
    }

    void unbindCameraEvents()
    {
        std::lock_guard<std::recursive_mutex> l(handlerMutex);
        for (auto& r : cameraEvents) {
            if (r.callback)
                GenApi::Deregister(r.callback);
            r.callback = 0;
            r.node = nullptr;
        }
    }

    // Static: a result may be released after the camera itself has gone.
    static void requeue(const std::shared_ptr<GrabSession>& s, const GrabResult& result)
    {
        std::lock_guard<std::mutex> l(s->mutex);
        if (!s->active)
            return;
        try {
            s->grabber->QueueBuffer(result.Handle(), result.Context());
        } catch (const GenICam::GenericException&) {
            // A removed camera takes no more buffers; the grab ends with StopGrabbing.
        }
    }

    CGrabResultPtr wrap(const std::shared_ptr<GrabSession>& s, const GrabResult& result, size_t skipped = 0)
    {
        auto* data = new CGrabResultData;
        data->m_result = result;
        data->m_skipped = skipped;
        data->m_bufferSize = s->bufferSize;
        std::shared_ptr<CGrabResultData> shared(data, [s](CGrabResultData* d) {
            requeue(s, d->m_result);
            delete d;
        });
        return CGrabResultPtr(shared);
    }

    // Waits until a grab that another thread is tearing down has ended, and joins a grab loop that
    // ended by itself. Not for the grab loop itself, nor for the thread doing the teardown.
    void awaitTeardown()
    {
        const std::thread::id me = std::this_thread::get_id();
        if (me == loopThread.load() || me == stoppingThread.load())
            return;
        {
            // A session that is open but no longer grabbing is being torn down.
            std::unique_lock<std::mutex> l(sessionMutex);
            sessionEnded.wait(l, [this] { return !sessionOpen || grabbing; });
        }
        std::lock_guard<std::recursive_mutex> control(grabControl);
        std::lock_guard<std::mutex> l(sessionMutex);
        if (!sessionOpen)
            joinLoop();
    }

    // Under grabControl, never in the loop itself; the poller is left to end by itself when it is the
    // caller (a handler it called stops the grab), and joined by the next start or stop.
    void joinLoop()
    {
        if (loop.joinable()) {
            loop.join();
            loopThread = std::thread::id(); // ids are reused by later threads
        }
        if (poller.joinable() && pollerThread.load() != std::this_thread::get_id()) {
            poller.join();
            pollerThread = std::thread::id();
        }
    }

    void startPoller()
    {
        // A grab started from a handler that the previous poller called: that poller ends by itself.
        if (poller.joinable())
            poller.detach();
        pollStop = std::make_shared<PollStop>();
        poller = std::thread([this, stop = pollStop] { pollLoop(*stop); });
    }

    void stopPoller()
    {
        if (!pollStop)
            return;
        {
            std::lock_guard<std::mutex> l(pollStop->mutex);
            pollStop->stop = true;
        }
        pollStop->wake.notify_all();
    }

    void pollLoop(PollStop& stop)
    {
        pollerThread = std::this_thread::get_id();
        auto lastPoll = std::chrono::steady_clock::now();
        for (;;) {
            {
                std::unique_lock<std::mutex> l(stop.mutex);
                if (stop.wake.wait_for(l, std::chrono::milliseconds(100), [&stop] { return stop.stop; }))
                    return;
            }
            const auto now = std::chrono::steady_clock::now();
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastPoll).count();
            lastPoll = now;
            if (GenApi::INodeMap* map = device ? device->GetNodeMap() : nullptr) {
                try {
                    map->Poll(elapsed);
                } catch (const GenICam::GenericException& e) {
                    forConfigurations(
                        [this, &e](CConfigurationEventHandler& h) { h.OnGrabError(self, e.GetDescription()); });
                }
            }
        }
    }

    // Calls each image handler registered now, outside the handler lock.
    template <class F>
    void forImageHandlers(F f)
    {
        std::vector<Registration<CImageEventHandler>> copy;
        {
            std::lock_guard<std::recursive_mutex> l(handlerMutex);
            copy = imageHandlers;
        }
        for (const auto& r : copy)
            f(*r.handler);
    }

    // Counts a result handed out; true for the last one of a grab of maxImages.
    bool countLast() { return maxImages && ++delivered == maxImages; }

    // The next result the strategy hands out: the oldest, or the newest with the older ones requeued.
    bool nextResult(const std::shared_ptr<GrabSession>& s, GrabResult& out, size_t& skipped)
    {
        bool have = false;
        GrabResult r;
        while (!stopLoop && s->grabber->RetrieveResult(r)) {
            if (r.Status() != Grabbed && r.Status() != Failed)
                continue; // cancelled buffers stay out until the grab ends
            if (have) {
                requeue(s, out);
                ++skipped;
            }
            out = r;
            have = true;
            if (strategy == GrabStrategy_OneByOne)
                break;
        }
        return have;
    }

    void grabLoop(std::shared_ptr<GrabSession> s)
    {
        loopThread = std::this_thread::get_id();
        WaitObject wait = s->grabber->GetWaitObject();
        while (!stopLoop) {
            if (wait.Wait(50)) {
                GrabResult r;
                size_t skipped = 0;
                while (nextResult(s, r, skipped)) {
                    if (skipped)
                        forImageHandlers([&](CImageEventHandler& h) { h.OnImagesSkipped(self, skipped); });
                    const bool last = countLast();
                    {
                        const CGrabResultPtr result = wrap(s, r, skipped);
                        forImageHandlers([&](CImageEventHandler& h) { h.OnImageGrabbed(self, result); });
                    }
                    if (last) {
                        // The grab ends here; the camera may be gone as soon as it has.
                        self.CInstantCamera::StopGrabbing();
                        return;
                    }
                    skipped = 0;
                }
            }
        }
    }

    void execute(const char* name, bool mayFail)
    {
        GenApi::INodeMap* map = device ? device->GetNodeMap() : nullptr;
        GenApi::CCommandPtr command = map ? map->GetNode(name) : nullptr;
        if (!command) {
            if (mayFail)
                return;
            GENICAM_THROW(GenICam::RuntimeException, "The camera has no command %s.", name);
        }
        try {
            command->Execute();
        } catch (...) {
            if (!mayFail)
                throw;
        }
    }

    void requireDevice() const
    {
        if (!device)
            GENICAM_THROW(GenICam::RuntimeException, "The instant camera has no device attached.");
    }
};

CInstantCamera::CInstantCamera() : m_impl(new Impl(*this)) {}

CInstantCamera::CInstantCamera(INimboDevice* device, ECleanup cleanup) : CInstantCamera()
{
    Attach(device, cleanup);
}

CInstantCamera::~CInstantCamera()
{
    try {
        DestroyDevice();
    } catch (...) {
        // A removed device may refuse its last steps; the camera goes anyway.
    }
    m_impl->awaitTeardown();
    std::vector<Registration<CConfigurationEventHandler>> configurations;
    std::vector<Registration<CImageEventHandler>> images;
    std::vector<CameraEventRegistration> events;
    {
        std::lock_guard<std::recursive_mutex> l(m_impl->handlerMutex);
        configurations.swap(m_impl->configurations);
        images.swap(m_impl->imageHandlers);
        events.swap(m_impl->cameraEvents);
    }
    for (auto& r : images)
        if (r.cleanup == Cleanup_Delete)
            r.handler->DestroyImageEventHandler();
    for (auto& r : events)
        if (r.cleanup == Cleanup_Delete)
            r.handler->DestroyCameraEventHandler();
    for (auto& r : configurations)
        if (r.cleanup == Cleanup_Delete)
            r.handler->DestroyConfiguration();
}

void CInstantCamera::Attach(INimboDevice* device, ECleanup cleanup)
{
    if (device == m_impl->device)
        return;
    DestroyDevice();
    if (!device)
        return;
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnAttach(*this); });
    {
        std::lock_guard<GenApi::CLock> l(m_impl->lock);
        m_impl->device = device;
        m_impl->cleanup = cleanup;
        m_impl->removed = device->IsRemoved();
        Impl* impl = m_impl.get();
        m_impl->removalHandle = device->RegisterRemovalCallback([impl](INimboDevice*) {
            if (impl->removed.exchange(true))
                return;
            impl->forConfigurations([impl](CConfigurationEventHandler& h) { h.OnCameraDeviceRemoved(impl->self); });
        });
    }
    {
        std::lock_guard<std::recursive_mutex> l(m_impl->handlerMutex);
        for (auto& r : m_impl->cameraEvents)
            m_impl->bindCameraEvent(r);
    }
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnAttached(*this); });
}

bool CInstantCamera::IsNimboDeviceAttached() const
{
    std::lock_guard<GenApi::CLock> l(m_impl->lock);
    return m_impl->device != nullptr;
}

bool CInstantCamera::HasOwnership() const
{
    std::lock_guard<GenApi::CLock> l(m_impl->lock);
    return m_impl->device && m_impl->cleanup == Cleanup_Delete;
}

INimboDevice* CInstantCamera::DetachDevice()
{
    if (!m_impl->device)
        return nullptr;
    StopGrabbing();
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnDetach(*this); });
    m_impl->unbindCameraEvents();
    INimboDevice* device;
    {
        std::lock_guard<GenApi::CLock> l(m_impl->lock);
        device = m_impl->device;
        device->DeregisterRemovalCallback(m_impl->removalHandle);
        m_impl->removalHandle = 0;
        m_impl->device = nullptr;
        m_impl->removed = false;
    }
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnDetached(*this); });
    return device;
}

void CInstantCamera::DestroyDevice()
{
    if (!m_impl->device)
        return;
    const bool owned = m_impl->cleanup == Cleanup_Delete;
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnDestroy(*this); });
    // A device that is not ours stays as the host left it: open when it came open.
    if (owned)
        Close();
    INimboDevice* device = DetachDevice();
    if (owned)
        CTlFactory::GetInstance().DestroyDevice(device);
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnDestroyed(*this); });
}

INimboDevice* CInstantCamera::GetDevice()
{
    return m_impl->device;
}

void CInstantCamera::Open()
{
    m_impl->requireDevice();
    if (m_impl->device->IsOpen())
        return;
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnOpen(*this); });
    m_impl->device->Open(AccessModeSet(Control) | Stream | Event);
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnOpened(*this); });
}

void CInstantCamera::Close()
{
    if (!m_impl->device || !m_impl->device->IsOpen())
        return;
    StopGrabbing();
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnClose(*this); });
    m_impl->device->Close();
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnClosed(*this); });
}

bool CInstantCamera::IsOpen() const
{
    return m_impl->device && m_impl->device->IsOpen();
}

void CInstantCamera::StartGrabbing(EGrabStrategy strategy, EGrabLoop grabLoop)
{
    StartGrabbing(0, strategy, grabLoop);
}

void CInstantCamera::StartGrabbing(size_t maxImages, EGrabStrategy strategy, EGrabLoop grabLoop)
{
    m_impl->requireDevice();
    m_impl->awaitTeardown();
    std::lock_guard<std::recursive_mutex> control(m_impl->grabControl);
    {
        std::lock_guard<std::mutex> l(m_impl->sessionMutex);
        if (m_impl->sessionOpen)
            GENICAM_THROW(GenICam::RuntimeException, "The camera is grabbing already.");
    }
    if (m_impl->removed)
        GENICAM_THROW(GenICam::RuntimeException, "The camera device has been removed.");
    Open();
    // A grabber open already serves another user of the device (a host grabbing through it). Refused
    // before anything is set up, so that the failed start has nothing of that grab to undo.
    if (IStreamGrabber* inUse = m_impl->device->GetStreamGrabber(0); inUse && inUse->IsOpen())
        GENICAM_THROW(GenICam::RuntimeException, "The device's stream grabber is in use elsewhere.");
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnGrabStart(*this); });
    IStreamGrabber* grabber = m_impl->device->GetStreamGrabber(0);
    if (!grabber)
        GENICAM_THROW(GenICam::RuntimeException, "The camera has no stream grabber.");
    GenApi::INodeMap& nodeMap = GetNodeMap();
    GenApi::CIntegerPtr payload = nodeMap.GetNode("PayloadSize");
    if (!payload)
        GENICAM_THROW(GenICam::RuntimeException, "The camera has no PayloadSize.");
    auto session = std::make_shared<GrabSession>();
    session->grabber = grabber;
    session->bufferSize = static_cast<size_t>(payload->GetValue());
    grabber->Open();
    try {
        if (GenApi::INodeMap* sg = grabber->GetNodeMap()) {
            GenApi::CIntegerPtr maxBufferSize = sg->GetNode("MaxBufferSize");
            GenApi::CIntegerPtr maxNumBuffer = sg->GetNode("MaxNumBuffer");
            if (maxBufferSize)
                maxBufferSize->SetValue(static_cast<int64_t>(session->bufferSize));
            if (maxNumBuffer)
                maxNumBuffer->SetValue(static_cast<int64_t>(m_impl->maxNumBuffer));
        }
        grabber->PrepareGrab();
        for (size_t i = 0; i < m_impl->maxNumBuffer; ++i) {
            session->memory.emplace_back(new uint8_t[session->bufferSize]);
            session->handles.push_back(grabber->RegisterBuffer(session->memory.back().get(), session->bufferSize));
            grabber->QueueBuffer(session->handles.back(), session->memory.back().get());
        }
        std::atomic_store(&m_impl->session, session);
        m_impl->maxImages = maxImages;
        m_impl->delivered = 0;
        m_impl->loopKind = grabLoop;
        m_impl->strategy = strategy;
        m_impl->stopLoop = false;
        m_impl->grabbing = true;
        {
            std::lock_guard<std::mutex> l(m_impl->sessionMutex);
            m_impl->sessionOpen = true;
        }
        m_impl->execute("AcquisitionStart", false);
    } catch (...) {
        m_impl->grabbing = false;
        {
            std::lock_guard<std::mutex> l(m_impl->sessionMutex);
            m_impl->sessionOpen = false;
        }
        m_impl->sessionEnded.notify_all();
        std::atomic_store(&m_impl->session, std::shared_ptr<GrabSession>());
        session->active = false;
        grabber->CancelGrab();
        GrabResult r;
        while (grabber->RetrieveResult(r)) {
        }
        grabber->FinishGrab();
        grabber->Close();
        throw;
    }
    if (grabLoop == GrabLoop_ProvidedByInstantCamera) {
        m_impl->loop = std::thread([this, session] { m_impl->grabLoop(session); });
        m_impl->startPoller();
    }
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnGrabStarted(*this); });
}

void CInstantCamera::StopGrabbing()
{
    if (!m_impl->grabbing.exchange(false)) {
        // Another thread may be ending the grab (a grab of n images ends where its last one went).
        m_impl->awaitTeardown();
        return;
    }
    const bool inLoop = std::this_thread::get_id() == m_impl->loopThread.load();
    std::lock_guard<std::recursive_mutex> control(m_impl->grabControl);
    m_impl->stoppingThread = std::this_thread::get_id();
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnGrabStop(*this); });
    m_impl->execute("AcquisitionStop", true);
    std::shared_ptr<GrabSession> session = std::atomic_load(&m_impl->session);
    m_impl->stopLoop = true;
    m_impl->stopPoller();
    // Wakes the loop from its wait at once; the retrieve after it finds nothing and lowers the signal.
    session->grabber->GetWaitObject().Signal();
    // Stopped in the grab loop (its last image, or a handler): the loop ends by itself and is joined
    // by the next start or stop.
    if (!inLoop)
        m_impl->joinLoop();
    {
        std::lock_guard<std::mutex> l(session->mutex);
        session->active = false;
    }
    session->grabber->CancelGrab();
    GrabResult r;
    while (session->grabber->RetrieveResult(r)) {
    }
    session->grabber->FinishGrab();
    session->grabber->Close();
    std::atomic_store(&m_impl->session, std::shared_ptr<GrabSession>());
    m_impl->forConfigurations([this](CConfigurationEventHandler& h) { h.OnGrabStopped(*this); });
    m_impl->stoppingThread = std::thread::id();
    {
        std::lock_guard<std::mutex> l(m_impl->sessionMutex);
        m_impl->sessionOpen = false;
    }
    m_impl->sessionEnded.notify_all();
}

bool CInstantCamera::IsGrabbing() const
{
    return m_impl->grabbing;
}

bool CInstantCamera::RetrieveResult(unsigned int timeoutMs, CGrabResultPtr& result, ETimeoutHandling timeoutHandling)
{
    result.Release();
    std::shared_ptr<GrabSession> session = std::atomic_load(&m_impl->session);
    if (!m_impl->grabbing || !session)
        GENICAM_THROW(GenICam::RuntimeException, "RetrieveResult: the camera is not grabbing.");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        GrabResult r;
        size_t skipped = 0;
        if (m_impl->nextResult(session, r, skipped)) {
            result = m_impl->wrap(session, r, skipped);
            if (m_impl->countLast())
                StopGrabbing();
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_impl->removed)
            break;
        session->grabber->GetWaitObject().Wait(static_cast<unsigned>(left.count()));
    }
    if (timeoutHandling == TimeoutHandling_ThrowException)
        GENICAM_THROW(GenICam::TimeoutException, "No grab result within %u ms.", timeoutMs);
    return false;
}

bool CInstantCamera::WaitForFrameTriggerReady(unsigned int timeoutMs, ETimeoutHandling timeoutHandling)
{
    if (!IsGrabbing() || IsCameraDeviceRemoved())
        return false;
    GenApi::INodeMap& map = GetNodeMap();
    GenApi::CEnumerationPtr selector = map.GetNode("AcquisitionStatusSelector");
    GenApi::CBooleanPtr status = map.GetNode("AcquisitionStatus");
    // A camera that cannot tell takes a trigger whenever it grabs.
    if (!selector || !status || !GenApi::IsWritable(selector) || !GenApi::IsReadable(status))
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            // The selector and the status it selects are read as one.
            GenApi::AutoLock lock(map.GetLock());
            selector->FromString("FrameTriggerWait");
            if (status->GetValue())
                return true;
        }
        if (std::chrono::steady_clock::now() >= deadline || !IsGrabbing() || IsCameraDeviceRemoved())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (timeoutHandling == TimeoutHandling_ThrowException && IsGrabbing() && !IsCameraDeviceRemoved())
        GENICAM_THROW(GenICam::TimeoutException, "The camera was not ready for a frame trigger within %u ms.",
                      timeoutMs);
    return false;
}

void CInstantCamera::ExecuteSoftwareTrigger()
{
    m_impl->requireDevice();
    m_impl->execute("TriggerSoftware", false);
}

GenApi::INodeMap& CInstantCamera::GetNodeMap()
{
    m_impl->requireDevice();
    GenApi::INodeMap* map = m_impl->device->GetNodeMap();
    if (!map)
        GENICAM_THROW(GenICam::RuntimeException, "The device has no node map.");
    return *map;
}

GenApi::INodeMap* CInstantCamera::GetNodeMapPointer()
{
    return m_impl->device ? m_impl->device->GetNodeMap() : nullptr;
}

GenApi::INodeMap& CInstantCamera::GetTLNodeMap()
{
    m_impl->requireDevice();
    GenApi::INodeMap* map = m_impl->device->GetTLNodeMap();
    if (!map)
        GENICAM_THROW(GenICam::RuntimeException, "The device has no transport-layer node map.");
    return *map;
}

GenApi::INodeMap& CInstantCamera::GetStreamGrabberNodeMap()
{
    m_impl->requireDevice();
    IStreamGrabber* grabber = m_impl->device->GetStreamGrabber(0);
    GenApi::INodeMap* map = grabber ? grabber->GetNodeMap() : nullptr;
    if (!map)
        GENICAM_THROW(GenICam::RuntimeException, "The device has no stream-grabber node map.");
    return *map;
}

const CDeviceInfo& CInstantCamera::GetDeviceInfo() const
{
    return m_impl->device ? m_impl->device->GetDeviceInfo() : m_impl->emptyInfo;
}

bool CInstantCamera::IsCameraDeviceRemoved() const
{
    return m_impl->device && (m_impl->removed || m_impl->device->IsRemoved());
}

GenApi::CLock& CInstantCamera::GetLock() const
{
    return m_impl->lock;
}

VersionInfo CInstantCamera::GetSfncVersion()
{
    GenApi::INodeMap* map = GetNodeMapPointer();
    if (map) {
        GenApi::CIntegerPtr major = map->GetNode("DeviceSFNCVersionMajor");
        GenApi::CIntegerPtr minor = map->GetNode("DeviceSFNCVersionMinor");
        GenApi::CIntegerPtr subminor = map->GetNode("DeviceSFNCVersionSubMinor");
        if (major && GenApi::IsReadable(major) && minor && GenApi::IsReadable(minor))
            return VersionInfo(static_cast<unsigned>(major->GetValue()), static_cast<unsigned>(minor->GetValue()),
                               subminor && GenApi::IsReadable(subminor) ? static_cast<unsigned>(subminor->GetValue())
                                                                        : 0);
    }
    // Older cameras do not name their standard version: GigE ones follow the first.
    return IsGigE() ? VersionInfo(1, 0, 0) : VersionInfo(0, 0, 0);
}

bool CInstantCamera::IsGigE() const
{
    return GetDeviceInfo().GetDeviceClass() == "VelmarGigE";
}

bool CInstantCamera::IsUsb() const
{
    return GetDeviceInfo().GetDeviceClass() == "VelmarUsb";
}

void CInstantCamera::SetMaxNumBuffer(size_t count)
{
    m_impl->maxNumBuffer = count == 0 ? 1 : count;
}

size_t CInstantCamera::GetMaxNumBuffer() const
{
    return m_impl->maxNumBuffer;
}

void CInstantCamera::RegisterConfiguration(CConfigurationEventHandler* handler, ERegistrationMode mode,
                                           ECleanup cleanup)
{
    registerHandler<ConfigurationNotices>(m_impl->handlerMutex, m_impl->configurations, handler, mode, cleanup, *this);
}

bool CInstantCamera::DeregisterConfiguration(CConfigurationEventHandler* handler)
{
    return deregisterHandler<ConfigurationNotices>(m_impl->handlerMutex, m_impl->configurations, handler, *this);
}

void CInstantCamera::RegisterImageEventHandler(CImageEventHandler* handler, ERegistrationMode mode, ECleanup cleanup)
{
    registerHandler<ImageNotices>(m_impl->handlerMutex, m_impl->imageHandlers, handler, mode, cleanup, *this);
}

bool CInstantCamera::DeregisterImageEventHandler(CImageEventHandler* handler)
{
    return deregisterHandler<ImageNotices>(m_impl->handlerMutex, m_impl->imageHandlers, handler, *this);
}

void CInstantCamera::RegisterCameraEventHandler(CCameraEventHandler* handler, const String_t& nodeName,
                                                intptr_t userProvidedId, ERegistrationMode mode, ECleanup cleanup,
                                                ECameraEventAvailability availability)
{
    if (!handler)
        return;
    CameraEventRegistration r{handler, nodeName, userProvidedId, cleanup, nullptr, 0};
    if (m_impl->device) {
        GenApi::INodeMap* map = m_impl->device->GetNodeMap();
        if ((!map || !map->GetNode(nodeName)) && availability == CameraEventAvailability_Mandatory)
            GENICAM_THROW(GenICam::RuntimeException, "The camera has no node %s for a camera event.", nodeName.c_str());
    }
    std::vector<CameraEventRegistration> dropped;
    {
        std::lock_guard<std::recursive_mutex> l(m_impl->handlerMutex);
        if (mode == RegistrationMode_ReplaceAll) {
            dropped.swap(m_impl->cameraEvents);
            for (auto& d : dropped)
                if (d.callback)
                    GenApi::Deregister(d.callback);
        }
        m_impl->bindCameraEvent(r);
        m_impl->cameraEvents.push_back(r);
    }
    for (auto& d : dropped) {
        d.handler->OnCameraEventHandlerDeregistered(*this, d.nodeName, d.id);
        bool stillUsed = d.handler == handler;
        if (d.cleanup == Cleanup_Delete && !stillUsed)
            d.handler->DestroyCameraEventHandler();
    }
    handler->OnCameraEventHandlerRegistered(*this, nodeName, userProvidedId);
}

bool CInstantCamera::DeregisterCameraEventHandler(CCameraEventHandler* handler, const String_t& nodeName)
{
    CameraEventRegistration found{nullptr, "", 0, Cleanup_None, nullptr, 0};
    bool stillUsed = false;
    {
        std::lock_guard<std::recursive_mutex> l(m_impl->handlerMutex);
        auto& list = m_impl->cameraEvents;
        for (auto it = list.begin(); it != list.end(); ++it)
            if (it->handler == handler && it->nodeName == nodeName) {
                found = *it;
                if (found.callback)
                    GenApi::Deregister(found.callback);
                list.erase(it);
                break;
            }
        for (const auto& r : list)
            stillUsed = stillUsed || r.handler == handler;
    }
    if (!found.handler)
        return false;
    found.handler->OnCameraEventHandlerDeregistered(*this, found.nodeName, found.id);
    if (found.cleanup == Cleanup_Delete && !stillUsed)
        found.handler->DestroyCameraEventHandler();
    return true;
}

} // namespace Nimbo
