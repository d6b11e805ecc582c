#include "platform/thread_priority.hpp"

#include <windows.h>

namespace tav {

void LowerThisThreadPriority() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace tav
