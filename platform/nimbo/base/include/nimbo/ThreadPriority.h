// Real-time priority of the calling thread (SCHED_FIFO on Linux).
#pragma once

namespace Nimbo {

// The priority range SetRTThreadPriority accepts.
void GetRTThreadPriorityCapabilities(int& minPriority, int& maxPriority);
// Gives the calling thread SCHED_FIFO at that priority. Throws GenICam::RuntimeException with the
// system's reason when it is refused (commonly: no permission); the thread keeps its old policy.
void SetRTThreadPriority(int priority);
// The calling thread's current priority (0 for ordinary threads).
int GetRTThreadPriority();

} // namespace Nimbo
