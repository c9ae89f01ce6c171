// Splitting the lines of one image over a small pool of threads shared by every converter in the process.
#pragma once

#include <cstdint>
#include <functional>

namespace Nimbo {
namespace rowbands {

// Threads that can work on one image at once: the caller plus the pool's workers (at most 4 in all,
// never more than the machine's cores).
unsigned maxThreads();

// Runs work(begin, end) over the lines [0, lines) split into `bands` nearly equal bands, one on the
// calling thread and the others on the pool; returns when every band is done. With one band (or one
// line) everything runs on the caller. `work` must not throw: a band has nobody to report to.
void run(uint32_t lines, unsigned bands, const std::function<void(uint32_t begin, uint32_t end)>& work);

} // namespace rowbands
} // namespace Nimbo
