// A media writer for tests: keeps every frame (and its first byte apart), can hold the writer thread at a gate
// and can throw for chosen frames.
#pragma once

#include "MediaWriter.h"
#include "MediaWriterExceptions.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

class FakeWriter : public IMediaWriter {
public:
    enum Failure { None, Fatal, FileLimit, Generic, Other };

    void open(const GenICam::gcstring& baseName) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_refuseOpen)
            throw GenICam::RuntimeException("codec refused", "fake.cpp", 1);
        m_isOpen = true;
        ++m_opens;
        m_baseName = baseName.c_str();
    }
    bool isOpen() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_isOpen;
    }
    void close() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_isOpen = false;
        ++m_closes;
        if (m_closeFailure != None)
            m_written.resize(m_written.size() - std::min(m_lostAtClose, m_written.size()));
        throwFailure(m_closeFailure, 0);
    }
    void add(const Nimbo::CNimboImage& image) override
    {
        add(image.GetBuffer(), image.GetImageSize(), image.GetPixelType(), image.GetWidth(), image.GetHeight(),
            uint32_t(image.GetPaddingX()));
    }
    void add(const void* buffer, size_t size, Nimbo::EPixelType, uint32_t, uint32_t, uint32_t) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        struct Finished {
            FakeWriter& writer;
            ~Finished()
            {
                ++writer.m_finished;
                writer.m_changed.notify_all();
            }
        } finished{*this};
        ++m_entered;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        const uint8_t first = size ? *static_cast<const uint8_t*>(buffer) : 0;
        const auto it = m_failures.find(first);
        const Failure failure = it == m_failures.end() ? None : it->second;
        if (failure != FileLimit) // a writer whose file reached its limit has the frame in it
            throwFailure(failure, first);
        m_written.push_back(first);
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        m_frames.emplace_back(bytes, bytes + size);
        throwFailure(failure, first);
    }
    bool acceptsImageAsIs(const Nimbo::CNimboImage&) const override { return true; }
    bool acceptsBufferAsIs(Nimbo::EPixelType, uint32_t, uint32_t, uint32_t) const override { return true; }
    uint32_t imageCount() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return uint32_t(m_written.size());
    }
    uint64_t bytesWritten() const override { return 0; }
    unsigned concurrentAdds() const override { return m_concurrentAdds; }
    uint32_t claimPlace() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return ++m_claimed;
    }
    void addAt(const Nimbo::CNimboImage& image, uint32_t place) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_places[place] = image.GetImageSize() ? *static_cast<const uint8_t*>(image.GetBuffer()) : 0;
        }
        add(image);
    }

    void addSampled(const Nimbo::CNimboImage& image, uint64_t sample, uint32_t place) override
    {
        addAt(image, place);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_samples.push_back(sample);
    }
    // The place in the sampled sequence of each frame written, in the order written.
    std::vector<uint64_t> samples() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_samples;
    }

    // Lets the sink write this many frames at once (set before the sink is made).
    void setConcurrentAdds(unsigned count) { m_concurrentAdds = count; }
    // The first byte of the frame the sink gave each claimed place.
    std::map<uint32_t, uint8_t> places() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_places;
    }

    // Every frame written, whole, in the order written.
    std::vector<std::vector<uint8_t>> frames() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }

    void setGate(bool open)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = open;
        m_changed.notify_all();
    }
    void failOn(uint8_t frame, Failure failure) { m_failures[frame] = failure; }
    // close() fails this way after it has closed; the file then holds `lost` frames fewer than were
    // written (frames an encoder still held, say).
    void failClose(Failure failure, size_t lost = 0)
    {
        m_closeFailure = failure;
        m_lostAtClose = lost;
    }
    void refuseOpen() { m_refuseOpen = true; }
    int opens() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_opens;
    }
    int closes() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closes;
    }
    std::string baseName() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_baseName;
    }
    bool waitEntered(int count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_entered >= count; });
    }
    // Waits until `count` frames have been handed over and have left add, written or not.
    bool waitFinished(int count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_finished >= count; });
    }
    std::vector<uint8_t> written() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_written;
    }

private:
    static void throwFailure(Failure failure, uint8_t frame)
    {
        switch (failure) {
        case Fatal: throwFatalMediaWriterException(__FILE__, __LINE__, "codec gave up on %d", frame);
        case FileLimit: throwMediaFileLimitReachedException(__FILE__, __LINE__, "2GB limit of AVI file reached.");
        case Generic: throw GenICam::RuntimeException("disk full", __FILE__, __LINE__);
        case Other: throw std::runtime_error("not a GenICam exception");
        case None: break;
        }
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = true;
    bool m_refuseOpen = false;
    Failure m_closeFailure = None;
    size_t m_lostAtClose = 0;
    bool m_isOpen = false;
    int m_opens = 0;
    int m_closes = 0;
    std::string m_baseName;
    int m_entered = 0;
    int m_finished = 0;
    std::map<uint8_t, Failure> m_failures;
    std::vector<uint8_t> m_written;
    std::vector<uint64_t> m_samples;
    std::vector<std::vector<uint8_t>> m_frames;
    unsigned m_concurrentAdds = 1;
    uint32_t m_claimed = 0;
    std::map<uint32_t, uint8_t> m_places;
};

} // namespace
