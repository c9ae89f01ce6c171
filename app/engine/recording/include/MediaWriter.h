// The interface through which a recording writes every output format.
#pragma once

#include "SdkTypes.h"

#include <cstddef>
#include <cstdint>

// One output of a recording (a video file or an image sequence).
//
// Threads: open, isOpen and close run on the thread that starts and ends the recording (the GUI
// thread); add on the buffered image sink's writer thread (on several of them at once for a writer
// whose concurrentAdds is above 1); imageCount and bytesWritten on the thread that reads the status.
// Each writer makes its counters safe to read while add runs.
class IMediaWriter {
public:
    // Closes nothing by itself; each writer's destructor does its own clean-up.
    virtual ~IMediaWriter() = default;
    // Prepares output under a base name (folder, camera name and start time, no extension); the writer
    // appends its own suffix and extension.
    virtual void open(const GenICam::gcstring& baseName) = 0;
    virtual bool isOpen() const = 0;
    // Finishes the output.
    virtual void close() = 0;
    // Writes one frame held in an SDK image.
    virtual void add(const Nimbo::CNimboImage& image) = 0;
    // Writes one frame given as raw memory.
    virtual void add(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width,
                     uint32_t height, uint32_t paddingX) = 0;
    // Whether the writer takes the image, or the raw buffer, without converting it.
    virtual bool acceptsImageAsIs(const Nimbo::CNimboImage& image) const = 0;
    virtual bool acceptsBufferAsIs(Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
                                   uint32_t paddingX) const = 0;
    // Frames added so far.
    virtual uint32_t imageCount() const = 0;

    // How many frames may be written at the same time, each on a thread of its own. A writer that
    // answers more than 1 keeps every frame's place in its output whatever order the writes end in:
    // claimPlace is called in arrival order (never concurrently), and addAt writes the frame to the
    // place claimed for it, concurrently with other addAt calls. Writers of one stream answer 1.
    virtual unsigned concurrentAdds() const { return 1; }
    virtual uint32_t claimPlace() { return 0; }
    virtual void addAt(const Nimbo::CNimboImage& image, uint32_t /*place*/) { add(image); }
    // Writes a frame at its place in the recording's sampled sequence: `sample` counts from 0 at the
    // first frame sampled, and a gap before it stands for frames sampled but never handed over (refused
    // by a full queue, lost by the camera). A film keeps the gap's time, so that it plays as long as
    // the recording ran; writers without time write the frame at `place` (see claimPlace).
    virtual void addSampled(const Nimbo::CNimboImage& image, uint64_t /*sample*/, uint32_t place)
    {
        addAt(image, place);
    }
    // Bytes of image data written so far.
    virtual uint64_t bytesWritten() const = 0;
};
