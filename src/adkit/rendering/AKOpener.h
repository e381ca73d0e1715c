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
class UIViewController;

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
    virtual void openBrowserToURL(const std::string& /*URL*/, AKSupportedOrientations /*orientations*/) {}

    // -- Web apps and rich-media expansion.
    virtual void openWebApp(const std::string& /*URL*/, AKSupportedOrientations /*orientations*/,
                            bool /*usingCustomClose*/) {}
    virtual void openWebAppWithHTML(const std::string& /*html*/, AKSupportedOrientations /*orientations*/,
                                    bool /*usingCustomClose*/) {}
    virtual void expandToWebAppWithSupportedOrientations(AKSupportedOrientations /*orientations*/,
                                                         bool /*usingCustomClose*/) {}

    // -- Composers and the calendar editor.
    virtual void openEmailComposer(const std::string& /*URL*/) {}
    virtual void openSmsComposer(const std::string& /*URL*/) {}
    virtual void openCalendarWithDictionary(const Value& /*parameters*/) {}

    // -- Store sheets.
    virtual bool isInAppStoreSupported() const { return false; }
    virtual void fetchInAppStoreForProductID(const std::string& /*productID*/) {}
    virtual void openInAppStoreWithProductID(const std::string& /*productID*/,
                                             const std::optional<std::string>& /*fallbackURLString*/,
                                             bool /*shouldWaitForFetch*/) {}

    // -- In-app purchase.
    virtual void openInAppPurchase(const std::string& /*productID*/, std::int64_t /*quantity*/,
                                   const std::vector<std::string>& /*reportingURLStringFormats*/) {}

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

    // -- Store sheets.

    // -- In-app purchase.

    // -- The publisher toolbar.

    // -- (end of the area state)
};
