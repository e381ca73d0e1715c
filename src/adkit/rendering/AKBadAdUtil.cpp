#include "adkit/rendering/AKBadAdUtil.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
std::shared_ptr<AKBadAdUtil>& installed() {
    static ProcessLifetime<std::shared_ptr<AKBadAdUtil>> shared;
    return *shared;
}
}  // namespace

std::shared_ptr<AKBadAdUtil> AKBadAdUtil::sharedInstance() {
    QV_ASSERT_MAIN_THREAD();
    auto& instance = installed();
    if (!instance) instance = std::make_shared<AKBadAdUtil>();
    return instance;
}

void AKBadAdUtil::setSharedInstance(std::shared_ptr<AKBadAdUtil> instance) {
    QV_ASSERT_MAIN_THREAD();
    installed() = std::move(instance);
}
