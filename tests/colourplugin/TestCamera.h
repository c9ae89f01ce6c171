// A small GenICam camera for the colour plug-in's tests: a description with the features the event
// manager drives, and a register port of our own that behaves like the camera behind them.
#pragma once

#include <GenApi/GenApi.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace huvanetest {

struct CameraOptions {
    bool mono = false;       // PixelFormat Mono8 instead of BayerRG8
    bool pixelFormat = true; // whether the camera has PixelFormat at all
    bool lightSourcePreset = false;
    bool colourMatrix = true;        // ColorTransformationValue and its selector
    int64_t lutBytes = 16384;        // 0: no LUTValueAll
    bool pluginFeatures = true;      // merge the plug-in's feature description
    bool cameraToneFeatures = false; // the camera brings VlrBrightness/VlrContrast of its own
    bool lutEnabled = false;         // LUTEnable's value before the plug-in binds
};

// Register addresses of the test camera.
enum : int64_t {
    ColourSelectorAddress = 0x100,
    ColourValueAddress = 0x108,
    BalanceSelectorAddress = 0x110,
    BalanceValueAddress = 0x118,
    PresetAddress = 0x120,
    AcquisitionStartAddress = 0x130,
    AcquisitionStopAddress = 0x134,
    LutAddress = 0x10000,
};

std::string cameraDescription(const CameraOptions& options);

// Register space behind the "Device" port. Selected registers (colour matrix, balance ratios) are kept
// per selector entry; switching the light-source preset to anything but Off loads presetMatrix and
// resets the balance ratios to 1.0, as a camera does. Thread-safe: the worker thread writes too.
class TestPort : public GenApi::IPort {
public:
    struct Access {
        int64_t address;
        int64_t length;
        std::chrono::steady_clock::time_point time;
    };

    TestPort();
    GenApi::EAccessMode GetAccessMode() const override { return GenApi::RW; }
    void Read(void* buffer, int64_t address, int64_t length) override;
    void Write(const void* buffer, int64_t address, int64_t length) override;

    std::vector<Access> writes() const;
    std::vector<Access> writesIn(int64_t from, int64_t to) const; // address in [from, to)
    // Waits (generously) until pred(writes) holds; false on time-out.
    template <class Pred>
    bool waitFor(Pred pred, std::chrono::milliseconds timeout = std::chrono::milliseconds(20000))
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return pred(m_writes); });
    }
    void clearWrites();
    // Whether the last acquisition command was AcquisitionStart.
    bool acquiring() const;

    double matrix(int row, int column) const;
    void setMatrix(int row, int column, double value);
    double balanceRatio(int colour) const;
    void setBalanceRatio(int colour, double value);
    std::vector<uint32_t> lut(size_t entries) const;

    double presetMatrix[9];

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint8_t> m_memory;
    double m_matrix[9];
    double m_ratios[3];
    std::vector<Access> m_writes;
    bool m_acquiring = false;
};

// The node map of one test camera with its port connected.
class TestCamera {
public:
    explicit TestCamera(const CameraOptions& options = CameraOptions());
    ~TestCamera();
    TestCamera(const TestCamera&) = delete;
    TestCamera& operator=(const TestCamera&) = delete;

    GenApi::INodeMap* nodeMap() const { return m_nodeMap; }
    TestPort& port() { return m_port; }

    template <class Ptr>
    Ptr node(const char* name) const
    {
        Ptr p = m_nodeMap->GetNode(name);
        if (!p)
            throw std::runtime_error(std::string("test camera lacks ") + name);
        return p;
    }

private:
    TestPort m_port;
    GenApi::INodeMap* m_nodeMap = nullptr;
};

} // namespace huvanetest
