// What an emulated camera hands its frames to: the stream grabber's queue of buffers (the same
// sink every device backend feeds).
#pragma once

#include "../DeviceBackend.h"

namespace Nimbo {
namespace emulation {

using Nimbo::FrameBuffer;
using Nimbo::FrameInfo;
using Nimbo::FrameSink;

} // namespace emulation
} // namespace Nimbo
