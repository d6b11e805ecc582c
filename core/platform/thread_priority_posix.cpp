#include "platform/thread_priority.hpp"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tav {

void LowerThisThreadPriority() {
    // On Linux a nice value is the thread's own, and threads it creates
    // inherit it: the decoder's worker threads come out low as well.
    constexpr int kBackgroundNice = 10;
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    const int now = ::getpriority(PRIO_PROCESS, tid);
    if (now < kBackgroundNice) ::setpriority(PRIO_PROCESS, tid, kBackgroundNice);
}

}  // namespace tav
