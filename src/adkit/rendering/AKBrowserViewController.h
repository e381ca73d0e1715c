#pragma once
// The in-app browser: a full-screen ad controller (AKViewController) in which
// an ad's landing page opens without leaving the application. A browser web
// view fills the screen above a toolbar of back, forward, reload (a spinner
// while a page loads), open-outside and done buttons.
//
// Call order: make() → setSupportedOrientations / setSlot → load (kept in
// URLToLoad until the view is built) → presentFromViewController → the first
// viewWillAppear builds the web view, its delegate and the toolbar and loads
// the waiting URL → refreshToolbar after every load start, finish and failure
// (the browser web view's delegate calls it) → Done: relinquishScreen.
//
// Loading: a request whose "Referer" is the referring URL's host only (none
// without a referring URL); a null URL is ignored.
//
// Open outside (openInSafari): the current page's URL goes to a new opener
// (this controller its view controller, this controller's slot, no auto-click
// guard) which leaves the application with it; only when a URL was opened the
// ad statistic "pcbo" is set. The opener that opened this browser (when it
// gave itself, setOpenedBy) is marked as having opened another application
// too, so that the full-screen ad below keeps its screen on the first return
// to the application, as it does when it leaves the application itself.
//
// Main thread only. The slot and the opening opener are held weakly.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKViewController.h"

class AKBrowserWebViewDelegate;
class AKOpener;
class AKSlot;
class AKWebView;
class UIActivityIndicatorView;
class UIBarButtonItem;
class UIImage;
class UIToolbar;

class AKBrowserViewController : public AKViewController {
public:
    static constexpr CGFloat kToolbarHeight = 44;
    static constexpr CGFloat kLandscapePhoneToolbarHeight = 30;

    static std::shared_ptr<AKBrowserViewController> make();
    AKBrowserViewController() = default;
    ~AKBrowserViewController() override;

    void load(const std::optional<std::string>& URL) { load(URL, std::nullopt); }
    void load(const std::optional<std::string>& URL, const std::optional<std::string>& referringURL);

    // Button actions (Done is relinquishScreen); stop is on no button.
    void back();
    void forward();
    void reload();
    void stop();
    void openInSafari();

    // Called by the browser web view's delegate when a load starts, finishes or fails.
    virtual void refreshToolbar();
    void createToolbarButtons();
    using ButtonAction = void (AKBrowserViewController::*)();
    std::shared_ptr<UIBarButtonItem> buttonWithImage(const std::shared_ptr<UIImage>& image, const std::string& name,
                                                     std::int64_t width, bool enabled, ButtonAction action);

    // The opener that opened this browser (see above).
    void setOpenedBy(const std::shared_ptr<AKOpener>& opener) { openedBy_ = opener; }

    // Platform overrides.
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation fromOrientation) override;

    // Fields.
    const std::optional<std::string>& URLToLoad() const { return URLToLoad_; }
    const std::optional<std::string>& referringURLToLoad() const { return referringURLToLoad_; }
    const std::shared_ptr<AKBrowserWebViewDelegate>& webViewDelegate() const { return webViewDelegate_; }
    const std::shared_ptr<AKWebView>& webView() const { return webView_; }
    const std::shared_ptr<UIToolbar>& toolbar() const { return toolbar_; }
    const std::shared_ptr<UIBarButtonItem>& flexibleSpaceButton() const { return flexibleSpaceButton_; }
    const std::shared_ptr<UIBarButtonItem>& backButton() const { return backButton_; }
    const std::shared_ptr<UIBarButtonItem>& forwardButton() const { return forwardButton_; }
    const std::shared_ptr<UIBarButtonItem>& reloadButton() const { return reloadButton_; }
    const std::shared_ptr<UIBarButtonItem>& safariButton() const { return safariButton_; }
    const std::shared_ptr<UIBarButtonItem>& doneButton() const { return doneButton_; }
    const std::shared_ptr<UIBarButtonItem>& spinnerContainingButton() const { return spinnerContainingButton_; }
    const std::shared_ptr<UIActivityIndicatorView>& spinner() const { return spinner_; }

private:
    void buildView();
    // The action as the items' action, reaching this controller while it lives.
    std::function<void(UIBarButtonItem&)> itemAction(ButtonAction action);

    std::optional<std::string> URLToLoad_;
    std::optional<std::string> referringURLToLoad_;
    std::shared_ptr<AKBrowserWebViewDelegate> webViewDelegate_;
    std::shared_ptr<AKWebView> webView_;
    std::shared_ptr<UIToolbar> toolbar_;
    std::shared_ptr<UIBarButtonItem> flexibleSpaceButton_;
    std::shared_ptr<UIBarButtonItem> backButton_, forwardButton_;
    std::shared_ptr<UIBarButtonItem> reloadButton_, safariButton_, doneButton_;
    std::shared_ptr<UIBarButtonItem> spinnerContainingButton_;
    std::shared_ptr<UIActivityIndicatorView> spinner_;
    std::weak_ptr<AKOpener> openedBy_;
};
