#pragma once
// The URL opener: performs what an ad asks for when acted on (click URLs,
// the in-app browser, web apps, rich-media expansion, store sheets, purchases,
// composers, the calendar editor, other applications). One per web-view
// delegate. Main thread only.
//
// The auto-click guard (shouldPerformOpenAction): while autoClickProtected is
// on, an action runs only once the ad's web view was touched by a real tap;
// otherwise it does nothing and the active core page gets "navigationBlocked"
// with the navigation URL (and the web view's debug dialog), through
// AKCorePage. With the guard off every action runs.
//
// Reports: each opening pings the slot's click URLs (didOpen) and then tells
// the delegate didOpenInApplication (shown inside the application) or
// didLeaveApplication (another application opens).
//
// openApp: guard; an empty or unparsable URL opens nothing. Then, in order:
// didOpenExternalApp, the slot's adWillLeaveApplication,
// didOpenAnotherApplication = YES, the slot's willLeaveAppDueToClick, and on
// the main operation queue the platform application opens the URL (so every
// report arrives before it). The other actions keep their no-op defaults here.
//
// make() gives the opener a new delegate uses; tests install a recording one
// with setFactory. Slot, view controller, web view and delegate are held
// weakly.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/rendering/AKSupportedOrientations.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class AKSlot;
class AKWebView;
class AKWebAppViewController;
class UIViewController;
class AKOpenerStoreSheets;
class SKStoreProductViewController;
// -- Composers and the calendar editor.
class NSError;
class MFMailComposeViewController;
class MFMessageComposeViewController;
enum MFMailComposeResult : long;
enum MessageComposeResult : long;

// Told after each opening (both required): something was shown inside the
// application, or another application is being opened.
class AKOpenerDelegate {
public:
    virtual ~AKOpenerDelegate() = default;
    virtual void didOpenInApplication() = 0;
    virtual void didLeaveApplication() = 0;
};

class AKOpener : public NSObject {
public:
    using Factory = std::function<std::shared_ptr<AKOpener>()>;
    static std::shared_ptr<AKOpener> make();
    // Null restores the library's opener.
    static void setFactory(Factory factory);

    ~AKOpener() override = default;

    // Context, set by the web-view delegate before it acts.
    std::shared_ptr<AKSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::shared_ptr<AKSlot>& slot) { slot_ = slot; }
    std::shared_ptr<UIViewController> viewController() const { return viewController_.lock(); }
    void setViewController(const std::shared_ptr<UIViewController>& controller) { viewController_ = controller; }
    std::shared_ptr<AKWebView> webView() const { return webView_.lock(); }
    void setWebView(const std::shared_ptr<AKWebView>& webView) { webView_ = webView; }
    const std::string& navigationURL() const { return navigationURL_; }
    void setNavigationURL(std::string URL) { navigationURL_ = std::move(URL); }
    const std::string& referringURL() const { return referringURL_; }
    void setReferringURL(std::string URL) { referringURL_ = std::move(URL); }
    // The auto-click guard: the core page may ask for it per ad (setAutoClickProtected:).
    bool autoClickProtected() const { return autoClickProtected_; }
    void setAutoClickProtected(bool protectedFromAutoClicks) { autoClickProtected_ = protectedFromAutoClicks; }
    // Held weakly.
    std::shared_ptr<AKOpenerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<AKOpenerDelegate>& delegate) { delegate_ = delegate; }
    // Set when the opener left the application; the web-app controller reads and clears it.
    bool didOpenAnotherApplication() const { return didOpenAnotherApplication_; }
    void setDidOpenAnotherApplication(bool opened) { didOpenAnotherApplication_ = opened; }

    // The auto-click guard (see above): YES when the action may run.
    bool shouldPerformOpenAction();
    // Reports after an opening.
    void didOpen();
    void didOpenInApp();
    void didOpenExternalApp();

    // checkStateWithParamter: YES when the argument is there (`present`) and
    // there is a view controller to present from.
    bool checkStateWithParamter(bool present) const { return present && viewController() != nullptr; }

    // Actions (URLs as absolute strings), by area.

    // -- Other applications.
    virtual void openApp(const std::string& URL);
    // Rich-media resize (openWebAppWithSize:offset:): consults the guard and opens nothing.
    virtual void openWebAppWithSize(CGSize size, CGPoint offset);

    // -- The in-app browser.
    // Guard, a URL and a view controller; then a new browser (orientations,
    // slot, the URL with the referring URL) presented from the view controller;
    // didOpenInApp once it is presented (a refused presentation reports nothing).
    virtual void openBrowserToURL(const std::string& URL, AKSupportedOrientations orientations);

    // -- Web apps and rich-media expansion.
    // (AKOpenerWebApp.cpp) Each: the guard, the state check on its argument
    // (the URL, the HTML, the opener's web view), a web-app controller
    // presented from viewController, then didOpenInApp. An ad already shown by
    // a full-screen ad controller never expands.
    // overlayWithWebView:orientations:usingCustomClose: builds the controller
    // (a null web view makes it create its own), not presented.
    std::shared_ptr<AKWebAppViewController> overlayWithWebView(const std::shared_ptr<AKWebView>& webView,
                                                              AKSupportedOrientations orientations,
                                                              bool usingCustomClose) const;
    virtual void openWebApp(const std::string& URL, AKSupportedOrientations orientations, bool usingCustomClose);
    virtual void openWebAppWithHTML(const std::string& html, AKSupportedOrientations orientations,
                                    bool usingCustomClose);
    virtual void expandToWebAppWithSupportedOrientations(AKSupportedOrientations orientations, bool usingCustomClose);

    // -- Composers and the calendar editor (AKOpenerComposers.cpp).
    // A "mailto:" URL gives a mail composer (recipient percent-decoded; "cc",
    // "bcc", "subject", "body" from the query, keys in any case); no composer
    // when the device has no mail account, and then no report either.
    virtual void openEmailComposer(const std::string& URL);
    // An "sms:" (or "sms://") URL gives a message composer when the device can
    // send text: recipients split at ",", "body" from the query.
    virtual void openSmsComposer(const std::string& URL);
    // Presents the composer from viewController; while that is a full-screen
    // ad controller not yet on view, tries again every kComposerRetryDelay,
    // giving up when the controller is gone or being dismissed, or after
    // kComposerRetryLimit seconds in all (the last try comes then).
    virtual void presentComposerController(const std::shared_ptr<UIViewController>& composer);
    static constexpr double kComposerRetryDelay = 0.25;
    static constexpr double kComposerRetryLimit = 10;
    // The calendar editor for rich-media calendar parameters (no guard). Refused
    // access sends "onCalendarEventCanceled" to the opener's web view, from the main queue.
    virtual void openCalendarWithDictionary(const Value& parameters);
    // The composers' delegate callbacks: dismiss what viewController presents,
    // then make viewController first responder. (A composer whose opener is
    // gone does the same with the controller it was presented from.)
    void mailComposeController(MFMailComposeViewController& controller, MFMailComposeResult result,
                               const std::shared_ptr<NSError>& error);
    void messageComposeViewController(MFMessageComposeViewController& controller, MessageComposeResult result);

    // -- Store sheets.
    // Bodies in AKOpenerStore.cpp.
    // YES when the platform's class "SKStoreProductViewController" is known by name.
    virtual bool isInAppStoreSupported() const;
    // Guard; then a new sheet loads the product (the ID's integer value; no
    // product ID names none, and the store fails such a load). When the load
    // fails the fallback URL opens outside (openApp); when it succeeds, on the
    // main queue, the sheet is presented (animated) from the view controller
    // unless that is gone or being dismissed, and didOpenInApp follows the
    // presentation. Unsupported: openApp with the fallback at once.
    virtual void openInAppStore(const std::optional<std::string>& productID,
                                const std::optional<std::string>& fallbackURLString);
    // Guard; waiting: openInAppStore. Not waiting: the sheet of
    // fetchInAppStoreForProductID is presented at once from the view
    // controller, and didOpenInApp is reported in the presentation's
    // completion. Without a product ID there is no sheet to show at once: the
    // waiting road is taken, whose load fails and opens the fallback outside.
    virtual void openInAppStoreWithProductID(const std::optional<std::string>& productID,
                                             const std::optional<std::string>& fallbackURLString,
                                             bool shouldWaitForFetch);
    // The sheet for the product: this opener's own, else one the application
    // cache had prefetched (taken out of it, not kept here), else a new one that
    // starts loading and is kept here. No guard, no report. When the opener is
    // destroyed, the sheets it keeps go to the application cache for reuse.
    virtual std::shared_ptr<SKStoreProductViewController> fetchInAppStoreForProductID(const std::string& productID);
    // The sheet's Done: dismisses what the view controller presents (animated)
    // and makes the view controller first responder.
    void productViewControllerDidFinish(const std::shared_ptr<SKStoreProductViewController>& controller);

    // -- In-app purchase.
    // Guard; then a new AKInAppPurchase goes to the slot's didReceiveInAppPurchase,
    // didOpenInApp is reported and a full-screen ad controller relinquishes the screen.
    virtual void openInAppPurchase(const std::string& productID, std::int64_t quantity,
                                   const std::vector<std::string>& reportingURLStringFormats);

    // -- The publisher toolbar.
    // Guarded. A missing ad unit ID is the slot's; the toolbar is presented from
    // viewController, after whatever it presents was dismissed.
    virtual void openPublisherToolbar(const std::optional<std::string>& adUnitID, const std::string& adContent);

    // -- (end of the actions)

private:
    std::weak_ptr<AKSlot> slot_;
    std::weak_ptr<UIViewController> viewController_;
    std::weak_ptr<AKWebView> webView_;
    std::string navigationURL_;
    std::string referringURL_;
    bool autoClickProtected_ = false;
    std::weak_ptr<AKOpenerDelegate> delegate_;
    bool didOpenAnotherApplication_ = false;

    // Area state.

    // -- The in-app browser.

    // -- Web apps and rich-media expansion.

    // -- Composers and the calendar editor.
    void presentComposerControllerTrying(const std::shared_ptr<UIViewController>& composer, int triesLeft);

    // -- Store sheets.
    // The sheets this opener made by product ID, and the sheets' delegate; made on first use.
    std::shared_ptr<AKOpenerStoreSheets> storeSheets_;
    const std::shared_ptr<AKOpenerStoreSheets>& storeSheets();
    void finishStoreLoad(const std::shared_ptr<SKStoreProductViewController>& sheet, bool loaded,
                         const std::optional<std::string>& fallbackURLString);

    // -- In-app purchase.

    // -- The publisher toolbar.

    // -- (end of the area state)
};
