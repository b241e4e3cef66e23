#pragma once

#include <QString>

namespace platform {

// What the build put into the application: its version.
class Bundle {
  public:
    virtual ~Bundle() = default;
    // The project version compiled in; may be empty.
    virtual QString shortVersionString() const;
};

}  // namespace platform
