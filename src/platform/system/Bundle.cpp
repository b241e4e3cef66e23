#include "platform/system/Bundle.h"

namespace platform {

QString Bundle::shortVersionString() const {
    return SPOUTWISE_VERSION;
}

}  // namespace platform
