// Writers that record every frame as a numbered image file: BMP and TIFF sequences.
#pragma once

#include "MediaWriter.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <set>
#include <string>

// Saves frame n (counted from 1) as <base name>_%04d<extension>; after _9999 the number grows.
//
// Every frame is a file of its own, so several frames may be written at once: the number is claimed
// in arrival order and the file written on any thread, which keeps the numbers in frame order while
// conversion and writing of one frame overlap those of the next.
//
// The sequence has no holes: tools that read numbered images stop at the first missing number. A
// frame is written under its file name with kPartSuffix and takes its name once it is whole and every
// frame before it has its own, so even a recording killed meanwhile leaves whole files without a gap
// (and the frames under way with their suffix). A frame that cannot be written ends the sequence
// where it stands. A frame after it is not written, or taken back when it was written meanwhile, and
// fails with the same reason; so a written frame counts only once every frame before it is settled,
// and waits for that. The sequence stays ended when the writer is opened again, as its numbering
// goes on.
//
// Threads: open, isOpen and close on the recording's owner thread, add and addAt on the sink's writer
// threads, imageCount on any thread; the flag and the counters are atomic for that reason. m_mutex
// guards the settled numbers and the failure, m_settledChanged tells a waiting writer of them.
class CImageSequenceMediaWriter : public IMediaWriter {
public:
    void open(const GenICam::gcstring& baseName) override;
    bool isOpen() const override { return m_open; }
    void close() override { m_open = false; }
    void add(const Nimbo::CNimboImage& image) override;
    void add(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
             uint32_t paddingX) override;
    bool acceptsImageAsIs(const Nimbo::CNimboImage&) const override { return true; }
    bool acceptsBufferAsIs(Nimbo::EPixelType, uint32_t, uint32_t, uint32_t) const override { return true; }
    // Files written completely.
    uint32_t imageCount() const override { return m_written; }
    uint64_t bytesWritten() const override { return 0; }
    unsigned concurrentAdds() const override { return kConcurrentAdds; }
    uint32_t claimPlace() override { return ++m_counter; }
    void addAt(const Nimbo::CNimboImage& image, uint32_t number) override;

    // Frames written at once: enough for the colour camera's conversion and write to keep up with its
    // full rate on a busy machine, few enough to leave cores to the camera and the live view.
    static constexpr unsigned kConcurrentAdds = 3;

    // The file name of frame `number` (counted from 1).
    std::string fileName(uint32_t number) const;
    // Added to the file name while a frame is written, until it is whole and takes its number.
    static constexpr const char* kPartSuffix = ".part";

protected:
    CImageSequenceMediaWriter(Nimbo::EImageFileFormat format, const char* extension);

private:
    const Nimbo::EImageFileFormat m_format;
    const char* const m_extension;
    std::atomic<bool> m_open{false};
    void write(uint32_t number, const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width,
               uint32_t height, uint32_t paddingX);
    // Marks `number` settled, written or not; under m_mutex.
    void settleLocked(uint32_t number);
    // Gives the whole file `partName` its number's `name`; the failure, null on success.
    static std::exception_ptr giveNumber(const std::string& partName, const std::string& name);

    GenICam::gcstring m_baseName;       // written by open before any add runs
    std::atomic<uint32_t> m_counter{0}; // the last number claimed
    std::atomic<uint32_t> m_written{0};
    std::mutex m_mutex;
    std::condition_variable m_settledChanged;
    uint32_t m_settled = 0;            // every number up to this one is settled
    std::set<uint32_t> m_settledLater; // numbers settled beyond it
    uint32_t m_failedAt = 0;           // the first number that could not be written; 0: none
    std::exception_ptr m_failure;      // and why
};

// A BMP sequence (".bmp").
class CBitmapMediaWriter : public CImageSequenceMediaWriter {
public:
    CBitmapMediaWriter() : CImageSequenceMediaWriter(Nimbo::ImageFileFormat_Bmp, ".bmp") {}
};

// A TIFF sequence (".tiff").
class CTiffMediaWriter : public CImageSequenceMediaWriter {
public:
    CTiffMediaWriter() : CImageSequenceMediaWriter(Nimbo::ImageFileFormat_Tiff, ".tiff") {}
};
