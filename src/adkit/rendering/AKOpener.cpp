#include "adkit/rendering/AKOpener.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
AKOpener::Factory& factorySlot() {
    static ProcessLifetime<AKOpener::Factory> factory;
    return *factory;
}
}  // namespace

std::shared_ptr<AKOpener> AKOpener::make() {
    QV_ASSERT_MAIN_THREAD();
    auto& factory = factorySlot();
    return factory ? factory() : std::make_shared<AKOpener>();
}

void AKOpener::setFactory(Factory factory) {
    QV_ASSERT_MAIN_THREAD();
    factorySlot() = std::move(factory);
}
