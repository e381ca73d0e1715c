// The opener's composers and calendar editor: "mailto:" and "sms:" URLs become
// the platform's composers, presented once the ad's full-screen controller is
// on view; rich-media calendar parameters become the event editor.
#include <algorithm>
#include <cmath>

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKMRAIDCalendarProperties.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKViewController.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/eventkit/EKEventEditViewController.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/messageui/MFMailComposeViewController.h"
#include "platform/messageui/MFMessageComposeViewController.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIApplication.h"

namespace {

// A composer URL taken apart: what stands between the scheme and the first
// "?" (as written), and the query's parameters with lower-cased keys.
struct ComposerAddress {
    std::string head;
    Value parameters = Value::dictionary();
};

ComposerAddress parseComposerURL(const std::string& URL, std::size_t schemeLength) {
    ComposerAddress address;
    std::string rest = URL.size() > schemeLength ? URL.substr(schemeLength) : std::string();
    if (rest.starts_with("//")) rest.erase(0, 2);  // "sms://123" names the same recipient as "sms:123"
    const auto question = rest.find('?');
    if (question != std::string::npos) {
        if (const NSURLPtr url = NSURL::URLWithString(URL))
            address.parameters = ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(*url, true);
        rest.resize(question);
    }
    address.head = std::move(rest);
    return address;
}

// An address as the composer shows it; an escape that does not decode leaves it as written.
std::string decodedAddress(const std::string& text) { return stringByReplacingPercentEscapes(text).value_or(text); }

// A list of addresses split at ",", empty pieces left out (query values come decoded).
std::vector<std::string> addressList(const std::string& text, bool decode) {
    std::vector<std::string> items;
    for (const std::string& item : componentsSeparatedByString(text, ","))
        if (!item.empty()) items.push_back(decode ? decodedAddress(item) : item);
    return items;
}

// Closes a composer: dismisses what the presenter presents (only that: asked
// with nothing presented, the platform would dismiss the presenter itself, the
// full-screen ad), then makes the presenter first responder.
void finishComposing(const std::shared_ptr<UIViewController>& presenter) {
    if (!presenter) return;
    if (presenter->presentedViewController()) presenter->dismissViewControllerAnimated(true);
    (void)presenter->becomeFirstResponder();  // a controller that cannot be first responder stays as it is
}

// A composer's delegate, kept by the composer itself: it forwards to the
// opener, or, once the opener is gone, closes the composer from the
// controller the opener presented from.
class ComposerDelegate : public MFMailComposeViewControllerDelegate, public MFMessageComposeViewControllerDelegate {
public:
    ComposerDelegate(const std::shared_ptr<AKOpener>& opener, const std::shared_ptr<UIViewController>& presenter)
        : opener_(opener), presenter_(presenter) {}
    // A new delegate for the composer, held by it.
    static std::shared_ptr<ComposerDelegate> attach(UIViewController& composer,
                                                    const std::shared_ptr<AKOpener>& opener) {
        static const char key = 0;
        auto delegate = std::make_shared<ComposerDelegate>(opener, opener->viewController());
        composer.setAssociatedObject(&key, delegate);
        return delegate;
    }
    void mailComposeController(MFMailComposeViewController& controller, MFMailComposeResult result,
                               const NSErrorPtr& error) override {
        if (const auto opener = opener_.lock()) opener->mailComposeController(controller, result, error);
        else finishComposing(presenter_.lock());
    }
    void messageComposeViewController(MFMessageComposeViewController& controller,
                                      MessageComposeResult result) override {
        if (const auto opener = opener_.lock()) opener->messageComposeViewController(controller, result);
        else finishComposing(presenter_.lock());
    }

private:
    std::weak_ptr<AKOpener> opener_;
    std::weak_ptr<UIViewController> presenter_;
};

std::string stringParameter(const Value& parameters, const char* key) {
    const Value value = parameters[key];
    return value.isString() ? value.stringValue() : std::string();
}

}  // namespace

void AKOpener::openEmailComposer(const std::string& URL) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction() || !checkStateWithParamter(!URL.empty())) return;
    // No mail account: no composer, and nothing to report (nothing was opened).
    auto composer = MFMailComposeViewController::make();
    if (!composer) return;
    const ComposerAddress address = parseComposerURL(URL, std::string_view("mailto:").size());
    composer->setMailComposeDelegate(ComposerDelegate::attach(*composer, self<AKOpener>()));
    composer->setToRecipients({decodedAddress(address.head)});
    composer->setCcRecipients(addressList(stringParameter(address.parameters, "cc"), false));
    composer->setBccRecipients(addressList(stringParameter(address.parameters, "bcc"), false));
    composer->setSubject(stringParameter(address.parameters, "subject"));
    composer->setMessageBody(stringParameter(address.parameters, "body"), false);
    composer->setModalTransitionStyle(UIModalTransitionStyleCoverVertical);
    const auto keepAlive = self<AKOpener>();  // the reports may let the opener's owner go
    presentComposerController(composer);
    didOpenExternalApp();
}

void AKOpener::openSmsComposer(const std::string& URL) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction() || !checkStateWithParamter(!URL.empty())) return;
    if (!MFMessageComposeViewController::canSendText()) return;
    const ComposerAddress address = parseComposerURL(URL, std::string_view("sms:").size());
    auto composer = std::make_shared<MFMessageComposeViewController>();
    composer->setMessageComposeDelegate(ComposerDelegate::attach(*composer, self<AKOpener>()));
    composer->setRecipients(addressList(address.head, true));
    composer->setBody(stringParameter(address.parameters, "body"));
    composer->setModalTransitionStyle(UIModalTransitionStyleCoverVertical);
    const auto keepAlive = self<AKOpener>();
    presentComposerController(composer);
    didOpenExternalApp();
}

void AKOpener::presentComposerController(const std::shared_ptr<UIViewController>& composer) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction() || !composer) return;  // the guard is consulted even for no composer
    // Counted in tries rather than compared in time: sums of the delay may round either way.
    presentComposerControllerTrying(composer, static_cast<int>(std::lround(kComposerRetryLimit / kComposerRetryDelay)));
}

void AKOpener::presentComposerControllerTrying(const std::shared_ptr<UIViewController>& composer, int triesLeft) {
    const auto presenter = viewController();
    if (!presenter) return;
    const auto adController = std::dynamic_pointer_cast<AKViewController>(presenter);
    // A full-screen ad that is leaving (or was never shown) presents nothing any more.
    if (adController && (!adController->isPresented() || adController->isBeingDismissed())) return;
    if (adController && !adController->hasViewAppeared()) {
        // The full-screen ad is not on view yet: try again shortly, unless the
        // wait has gone on too long.
        if (triesLeft <= 0) {
            NSLog("The composer was not shown: the full-screen ad did not appear in time.");
            return;
        }
        const std::weak_ptr<AKOpener> weak = self<AKOpener>();
        NSRunLoop::mainRunLoop()->schedulePerform(self(), "presentComposerController:", kComposerRetryDelay,
                                                  [weak, composer, triesLeft] {
            if (const auto opener = weak.lock()) opener->presentComposerControllerTrying(composer, triesLeft - 1);
        });
        return;
    }
    presenter->presentViewController(composer, true);
    const auto application = UIApplication::sharedApplication();
    if (application->isStatusBarHidden()) application->setStatusBarHidden(true);
}

void AKOpener::mailComposeController(MFMailComposeViewController& /*controller*/, MFMailComposeResult /*result*/,
                                     const NSErrorPtr& /*error*/) {
    QV_ASSERT_MAIN_THREAD();
    finishComposing(viewController());
}

void AKOpener::messageComposeViewController(MFMessageComposeViewController& /*controller*/,
                                            MessageComposeResult /*result*/) {
    QV_ASSERT_MAIN_THREAD();
    finishComposing(viewController());
}

void AKOpener::openCalendarWithDictionary(const Value& parameters) {
    QV_ASSERT_MAIN_THREAD();
    auto editor = std::make_shared<EKEventEditViewController>();
    const auto store = editor->eventStore();
    const auto properties = AKMRAIDCalendarProperties::initWithDictionary(parameters);
    if (!properties) return;
    auto event = EKEvent::eventWithEventStore(store);
    event->setTitle(properties->eventDescription());
    event->setNotes(properties->summary());
    event->setLocation(properties->location());
    event->setStartDate(properties->startTime());
    event->setEndDate(properties->endTime());
    editor->setEvent(std::move(event));
    if (AKDevice::isOSAtLeastMajor(6, 0, 0)) {
        // The answer may come on another thread; the page hears of a refusal from the main queue.
        store->requestAccessToEntityType(EKEntityTypeEvent, [webView = webView_](bool granted, const NSErrorPtr&) {
            if (granted) return;
            dispatch_async(dispatch_get_main_queue(), [webView] {
                if (const auto view = webView.lock())
                    AKNotificationCenter::postJSNotification("onCalendarEventCanceled", std::nullopt, view);
            });
        });
    }
    if (const auto presenter = viewController()) presenter->presentViewController(editor, true);
}
