#pragma once

namespace platform {

class ProcessInfo {
  public:
    ProcessInfo() = delete;
    // Processors online now; processors can be taken offline and back while we run.
    static int activeProcessorCount();
};

}  // namespace platform
