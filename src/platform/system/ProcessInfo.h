#pragma once

namespace platform {

class ProcessInfo {
  public:
    virtual ~ProcessInfo() = default;
    // Processors online now; processors can be taken offline and back while we run.
    virtual int activeProcessorCount() const;
};

}  // namespace platform
