#include "platform/system/ProcessInfo.h"

#include <unistd.h>

#include <algorithm>

namespace platform {

int ProcessInfo::activeProcessorCount() {
    // sysconf gives -1 if it cannot tell; one processor is surely running us.
    return static_cast<int>(std::max(sysconf(_SC_NPROCESSORS_ONLN), 1L));
}

}  // namespace platform
