#include "adkit/rendering/AKNotificationCenter.h"

#include <algorithm>

#include "adkit/foundation/AKMacros.h"
#include "adkit/rendering/AKNotification.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSLog.h"

namespace AKNotificationCenter {

std::shared_ptr<NSNotificationCenter> defaultCenter() { return NSNotificationCenter::defaultCenter(); }

void postNotificationFromURL(const std::string& URL, const std::shared_ptr<AKWebView>& webView) {
    QV_ASSERT_MAIN_THREAD();
    const AKNotificationPtr note = AKNotification::initWithNotificationURL(URL);
    if (!note || !webView) return;
    ValueDictionary userInfo;
    for (const auto& [key, value] : note->parameters()) userInfo.emplace(key, Value(value));
    // A page names the message, so only observers of its own web view hear it.
    defaultCenter()->postNotificationToObserversOfObject(
        NSNotification(note->name(), std::static_pointer_cast<NSObject>(webView), Value(std::move(userInfo))));
}

void postNotificationFromURL(const std::string& URL, const std::shared_ptr<AKWebView>& webView, double delay) {
    const auto nanoseconds = static_cast<std::int64_t>(std::max(delay, 0.0) * 1e9);
    // The web view is held until the post and let go on the main thread, whatever
    // thread the timer machinery drops its copies of the blocks on.
    auto held = std::make_shared<std::shared_ptr<AKWebView>>(webView);
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, nanoseconds), dispatch_get_main_queue(), [URL, held] {
        NSOperationQueue::mainQueue()->addOperationWithBlock([URL, held] {
            const std::shared_ptr<AKWebView> view = std::move(*held);
            postNotificationFromURL(URL, view);
        });
    });
}

void postJSNotification(const std::string& name, const std::optional<Value>& userInfo,
                        const std::shared_ptr<AKWebView>& webView) {
    std::string command = JSCommandForNotificationName(name, userInfo);
    dispatch_async(dispatch_get_main_queue(), [command = std::move(command), webView] {
        if (webView) (void)webView->stringByEvaluatingJavaScriptFromString(command);  // the answer is not used
    });
}

std::string JSCommandForNotificationName(const std::string& name, const std::optional<Value>& userInfo) {
    if (!userInfo) return format("%@('%@');", kJSFunctionName, name);
    std::string payload = userInfo->isDictionary() ? AKMacros::dictionaryToJSONString(*userInfo) : std::string();
    // A payload that is no JSON goes as null, so the page still gets a call that parses.
    if (payload.empty()) payload = "null";
    return format("%@('%@', %@);", kJSFunctionName, name, payload);
}

}  // namespace AKNotificationCenter
