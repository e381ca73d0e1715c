#include "adkit/rendering/AKCorePage.h"

#include <utility>

#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/AnnotatedMutex.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
struct Installed {
    AnnotatedMutex mutex;
    AKCorePage::Source source QV_GUARDED_BY(mutex);
};

Installed& installed() {
    static ProcessLifetime<Installed> holder;
    return *holder;
}
}  // namespace

namespace AKCorePage {

Source setActiveWebViewSource(Source source) {
    auto& slot = installed();
    AnnotatedLock lock(slot.mutex);
    return std::exchange(slot.source, std::move(source));
}

std::shared_ptr<AKWebView> activeWebView() {
    QV_ASSERT_MAIN_THREAD();
    Source source;
    {
        auto& slot = installed();
        AnnotatedLock lock(slot.mutex);
        source = slot.source;
    }
    // Called outside the lock: the source takes locks of its own.
    return source ? source() : nullptr;
}

}  // namespace AKCorePage
