// Real-time thread priority with SCHED_FIFO.
#include <nimbo/ThreadPriority.h>

#include <GenICam/GenericException.h>

#include <pthread.h>
#include <sched.h>

#include <cstring>

namespace Nimbo {

void GetRTThreadPriorityCapabilities(int& minPriority, int& maxPriority)
{
    minPriority = sched_get_priority_min(SCHED_FIFO);
    maxPriority = sched_get_priority_max(SCHED_FIFO);
}

void SetRTThreadPriority(int priority)
{
    int minPriority, maxPriority;
    GetRTThreadPriorityCapabilities(minPriority, maxPriority);
    if (priority < minPriority || priority > maxPriority)
        GENICAM_THROW(GenICam::OutOfRangeException, "Real-time priority %d is outside %d..%d.", priority, minPriority,
                      maxPriority);
    sched_param param{};
    param.sched_priority = priority;
    const int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (error != 0)
        GENICAM_THROW(GenICam::RuntimeException, "Cannot set real-time priority %d: %s", priority,
                      std::strerror(error));
}

int GetRTThreadPriority()
{
    int policy = 0;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0)
        return 0;
    return policy == SCHED_FIFO || policy == SCHED_RR ? param.sched_priority : 0;
}

} // namespace Nimbo
