#pragma once
// The publisher toolbar: a full-screen page for the publisher, opened from an
// ad's debug dialog. It downloads the toolbar script (AKCachedFile, HTTPS on
// the static-content server, "/toolbar/sdk-publisher-toolbar.js"), runs it in
// a hidden web view (jsWebView), calls its ADNET_initializeToolbar with the ad
// unit, the stored credentials and the ad's HTML, shows a sign-in web view
// (oauthWebView) when the script asks, and hands a sign-in page's "Success…"
// title to ADNET_decodeImpression.
//
// Call order: initWithAdContent → presentFromViewController (by the opener)
// → viewWillAppear builds the views (spinner on a white view, a bar of height
// 30 at the bottom, black tint, holding one system Done item in the done style
// that relinquishes the screen) and validates the script → the script page
// loads in the hidden script view → launchToolbar → page messages → Done. A failed script download closes the
// toolbar (once it is on screen, when the failure comes first).
//
// Page messages (amsg URLs of either web view; never loaded):
//   "loadAuthenticationUri" {authenticationUri}  the sign-in view on that URI;
//   "showJavaScriptWebView"                      spinner off, script view on;
//   "clearCredentials"                           credentials removed;
//   "storeCredentials" {any}                     all parameters stored, but only
//        when sent by the script's own page (jsWebView still on the document it
//        was given): a sign-in page cannot plant credentials;
//   "log" and any other name                     nothing.
// Messages are acted on from the main queue, after the navigation was refused.
//
// Script calls: name + "(" + argument + ");" (or name + "();"). A wrapped
// argument is put in single quotes with backslash, both quotes, line breaks
// and U+2028/U+2029 escaped, so any text stays one string literal.
//
// The web views are made at their size when first needed (the script's once
// the script is there, so a failed download makes none; a page resized while
// it sets up stalls the engine). The script's view stays hidden until its page
// says "showJavaScriptWebView".
//
// Main thread only. The controller keeps itself alive while presented
// (AKViewController); its web views and the download hold it weakly.
#include <memory>
#include <optional>
#include <string>

#include "adkit/foundation/AKCachedFile.h"
#include "adkit/rendering/AKPublisherToolbarCredentials.h"
#include "adkit/rendering/AKViewController.h"
#include "platform/webkit/UIWebView.h"

class UIActivityIndicatorView;
class UIToolbar;
class UIBarButtonItem;

class AKPublisherToolbarController : public AKViewController,
                                     public UIWebViewDelegate,
                                     public AKCachedFileDelegate {
public:
    static constexpr const char* kScriptPath = "/toolbar/sdk-publisher-toolbar.js";
    static constexpr double kToolbarHeight = 30;

    static std::shared_ptr<AKPublisherToolbarController> initWithAdContent(std::optional<std::string> adContent,
                                                                           std::optional<std::string> adUnitID);
    AKPublisherToolbarController(std::optional<std::string> adContent, std::optional<std::string> adUnitID);
    ~AKPublisherToolbarController() override;

    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void configureWebView(const std::shared_ptr<UIWebView>& webView);
    void configureSpinny();
    void createWebViewToolbar();
    void loadJavaScript();
    void launchToolbar();
    void loadAuthenticationUri(const std::string& uri);
    void decodeImpression(const std::string& title);
    void callJavaScriptMethod(const std::string& name, const std::optional<std::string>& argument, bool wrappedAsString);
    // The text callJavaScriptMethod evaluates.
    static std::string javaScriptCall(const std::string& name, const std::optional<std::string>& argument,
                                      bool wrappedAsString);

    // UIWebViewDelegate.
    bool shouldStartLoadWithRequest(UIWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    void webViewDidFinishLoad(UIWebView& webView) override;

    // AKCachedFileDelegate: redirects followed.
    NSErrorPtr cachedFileShouldRedirectToURL(AKCachedFile&, const NSURLPtr&) override { return nullptr; }
    void cachedFileDownloadDidEnd(AKCachedFile& file) override;
    void cachedFileDownloadDidFail(AKCachedFile& file, const NSErrorPtr& error) override;

    // Fields.
    const std::shared_ptr<AKPublisherToolbarCredentials>& credentials() const { return credentials_; }
    const std::shared_ptr<UIWebView>& oauthWebView() const { return oauthWebView_; }
    const std::shared_ptr<UIWebView>& jsWebView() const { return jsWebView_; }
    const std::shared_ptr<UIActivityIndicatorView>& spinnyWheel() const { return spinnyWheel_; }
    const std::shared_ptr<AKCachedFile>& helperJS() const { return helperJS_; }
    const std::optional<std::string>& adUnitID() const { return adUnitID_; }
    const std::optional<std::string>& adContent() const { return adContent_; }
    const std::shared_ptr<UIToolbar>& toolbar() const { return toolbar_; }
    const std::shared_ptr<UIBarButtonItem>& doneButton() const { return doneButton_; }

private:
    void handleMessage(const std::string& URL, const UIWebView* sender);
    bool isToolbarPage(const UIWebView* sender) const;

    std::shared_ptr<AKPublisherToolbarCredentials> credentials_;
    std::shared_ptr<UIWebView> oauthWebView_;
    std::shared_ptr<UIWebView> jsWebView_;
    std::shared_ptr<UIActivityIndicatorView> spinnyWheel_;
    std::shared_ptr<AKCachedFile> helperJS_;
    std::optional<std::string> adUnitID_;
    std::optional<std::string> adContent_;
    std::shared_ptr<UIToolbar> toolbar_;
    std::shared_ptr<UIBarButtonItem> doneButton_;
    // The URL of the script's own document, taken when its load finished.
    std::optional<std::string> toolbarPageURL_;
    bool awaitingToolbarPage_ = false;
    bool viewsBuilt_ = false;
    // The script failed before the view appeared: close once it has.
    bool closeOnAppearance_ = false;
};
