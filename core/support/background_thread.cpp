#include "core/support/background_thread.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace BackgroundThread {

void yieldToWindows()
{
#if defined(__linux__)
    // On Linux the nice value belongs to each thread. At 10 a busy window's thread gets about
    // nine tenths of a shared processor.
    constexpr int niceness = 10;
    const id_t self = static_cast<id_t>(gettid());
    if (getpriority(PRIO_PROCESS, self) < niceness)
        setpriority(PRIO_PROCESS, self, niceness);
#endif
}

} // namespace BackgroundThread
