// The sampling interface of a recording: it says when a frame is due and when the limit is reached.
#pragma once

#include <functional>

class IMediaImageController {
public:
    // Answers true when the frame was taken into the recording.
    using ImageDueCallback = std::function<bool()>;
    using LimitReachedCallback = std::function<void()>;

    virtual ~IMediaImageController() = default;
    // The recording has started (its output is open): a stop limit in time counts from now, whether
    // frames come or not.
    virtual void onRecordingStarted() = 0;
    // The first frame of the recording has arrived.
    virtual void start() = 0;
    // No more images are due.
    virtual void stop() = 0;
    // A new frame has arrived (for the first frame, right after start).
    virtual void onNewImage() = 0;
    // The stop limit is enabled and counted in images, with a limit of at least 1.
    virtual bool hasImageLimit() const = 0;
    virtual void setImageDueCallback(ImageDueCallback callback) = 0;
    virtual void clearImageDueCallback() = 0;
    virtual void setLimitReachedCallback(LimitReachedCallback callback) = 0;
    virtual void clearLimitReachedCallback() = 0;
};
