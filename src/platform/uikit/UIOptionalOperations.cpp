#include "platform/uikit/UIOptionalOperations.h"

#include "platform/uikit/UISystemVersion.h"

namespace {
bool atLeast(long major) { return operatingSystemVersion().majorVersion >= major; }
}  // namespace

bool UIViewRespondsToTintAdjustmentMode() { return atLeast(7); }
bool UIViewControllerRespondsToPreferredContentSize() { return atLeast(7); }
bool UIViewControllerRespondsToEdgesForExtendedLayout() { return atLeast(7); }
bool NSProcessInfoRespondsToOperatingSystemVersion() { return atLeast(8); }
