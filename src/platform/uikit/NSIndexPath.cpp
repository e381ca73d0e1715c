#include "platform/uikit/NSIndexPath.h"

std::string NSIndexPath::description() const {
    return "<NSIndexPath {length = 2, path = " + std::to_string(section) + " - " + std::to_string(index) + "}>";
}
