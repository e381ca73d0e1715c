#include "ui/popover/FLPopoverDrawingCaches.h"

#include <memory>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIApplication.h"

namespace {

// The shared caches, emptied when the system runs short of memory.
struct SharedCaches {
    DrawingCache chrome{4};
    DrawingCache innerView{4};
    std::shared_ptr<NSObject> memoryWarnings;
    SharedCaches() {
        memoryWarnings = NSNotificationCenter::defaultCenter()->addObserverForName(
            UIApplicationDidReceiveMemoryWarningNotification, nullptr, nullptr, [this](const NSNotification&) {
                chrome.removeAll();
                innerView.removeAll();
            });
    }
};

SharedCaches& shared() {
    QV_ASSERT_MAIN_THREAD();
    static SharedCaches caches;
    return caches;
}

}  // namespace

DrawingCache& FLPopoverChromeDrawingCache() { return shared().chrome; }

DrawingCache& FLPopoverInnerViewDrawingCache() { return shared().innerView; }
