#include "adkit/rendering/AKPublisherToolbarController.h"

#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/rendering/AKNotification.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIToolbar.h"

namespace {
constexpr const char* kPageStart = "<html><head><script>";
constexpr const char* kScriptEnd = "</script>";
constexpr const char* kPageEnd = "</head><body></body></html>";

// A web view's frame in a view of these bounds: all but the bar. Web views are
// made at their size (a page resized while it sets up stalls the engine).
CGRect webViewFrame(CGRect bounds) {
    return CGRectMake(0, 0, bounds.size.width, bounds.size.height - AKPublisherToolbarController::kToolbarHeight);
}

// One character of a single-quoted script string literal.
void appendEscaped(std::string& out, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\'': out += "\\'"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            // U+2028 and U+2029 (E2 80 A8/A9) end a line inside a script literal too.
            if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
                (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
                out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
                i += 2;
            } else {
                out += c;
            }
        }
    }
}
}  // namespace

std::shared_ptr<AKPublisherToolbarController> AKPublisherToolbarController::initWithAdContent(
    std::optional<std::string> adContent, std::optional<std::string> adUnitID) {
    auto controller = std::make_shared<AKPublisherToolbarController>(std::move(adContent), std::move(adUnitID));
    const std::string script = AKAdHosts::staticContentOrigin().URLString(kScriptPath);
    controller->helperJS_ = AKCachedFile::initWithURL(NSURL::URLWithString(script));
    if (controller->helperJS_) controller->helperJS_->setDelegate(controller);
    return controller;
}

AKPublisherToolbarController::AKPublisherToolbarController(std::optional<std::string> adContent,
                                                           std::optional<std::string> adUnitID)
    : credentials_(std::make_shared<AKPublisherToolbarCredentials>()),
      spinnyWheel_(std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleGray)),
      adUnitID_(std::move(adUnitID)),
      adContent_(std::move(adContent)) {}

AKPublisherToolbarController::~AKPublisherToolbarController() {
    if (helperJS_) helperJS_->cancel();
    for (const auto& view : {jsWebView_, oauthWebView_})
        if (view) view->stopLoading();
}

// ---- Start ---------------------------------------------------------------------------------

void AKPublisherToolbarController::viewWillAppear(bool animated) {
    AKViewController::viewWillAppear(animated);
    if (viewsBuilt_) return;
    viewsBuilt_ = true;
    configureSpinny();
    createWebViewToolbar();
    loadJavaScript();
}

void AKPublisherToolbarController::configureWebView(const std::shared_ptr<UIWebView>& webView) {
    webView->setFrame(webViewFrame(view()->bounds()));
    webView->setHidden(true);
    webView->setDelegate(std::weak_ptr<UIWebViewDelegate>(self<AKPublisherToolbarController>()));
    view()->addSubview(webView);
}

void AKPublisherToolbarController::configureSpinny() {
    const CGRect bounds = view()->bounds();
    spinnyWheel_->setCenter(CGPointMake(CGRectGetMidX(bounds), CGRectGetMidY(bounds)));
    view()->setBackgroundColor(UIColor::whiteColor()->CGColor());
    view()->addSubview(spinnyWheel_);
    spinnyWheel_->startAnimating();
}

void AKPublisherToolbarController::createWebViewToolbar() {
    const CGRect bounds = view()->bounds();
    toolbar_ = std::make_shared<UIToolbar>(
        CGRectMake(0, bounds.size.height - kToolbarHeight, bounds.size.width, kToolbarHeight));
    toolbar_->setTintColor(UIColor::blackColor()->CGColor());
    std::weak_ptr<AKPublisherToolbarController> weak = weakSelf<AKPublisherToolbarController>();
    doneButton_ = UIBarButtonItem::initWithBarButtonSystemItem(UIBarButtonSystemItemDone, [weak](UIBarButtonItem&) {
        if (const auto me = weak.lock()) me->relinquishScreen();
    });
    doneButton_->setStyle(UIBarButtonItemStyleDone);
    doneButton_->setAccessibilityLabel("Done");
    doneButton_->setIsAccessibilityElement(true);
    toolbar_->setItems({doneButton_});
    view()->addSubview(toolbar_);
}

void AKPublisherToolbarController::loadJavaScript() {
    if (helperJS_) helperJS_->validate();
}

void AKPublisherToolbarController::cachedFileDownloadDidEnd(AKCachedFile& file) {
    QV_ASSERT_MAIN_THREAD();
    if (!viewsBuilt_) return;
    if (!jsWebView_) {
        jsWebView_ = std::make_shared<UIWebView>(webViewFrame(view()->bounds()), UIWebViewProcessGroup::Library);
        configureWebView(jsWebView_);
        view()->bringSubviewToFront(toolbar_);
    }
    const std::string script = file.contentAsString().value_or("");
    toolbarPageURL_.reset();
    awaitingToolbarPage_ = true;
    jsWebView_->loadHTMLString(kPageStart + script + kScriptEnd + kPageEnd, "");
}

void AKPublisherToolbarController::cachedFileDownloadDidFail(AKCachedFile&, const NSErrorPtr&) {
    QV_ASSERT_MAIN_THREAD();
    // A presentation still animating in is closed once it is on screen, so that
    // it is dismissed (and its full-screen notifications paired) like any other.
    if (!hasViewAppeared()) {
        closeOnAppearance_ = true;
        return;
    }
    relinquishScreen();
}

void AKPublisherToolbarController::viewDidAppear(bool animated) {
    AKViewController::viewDidAppear(animated);
    if (!closeOnAppearance_) return;
    closeOnAppearance_ = false;
    relinquishScreen();
}

// ---- The pages ------------------------------------------------------------------------------

bool AKPublisherToolbarController::shouldStartLoadWithRequest(UIWebView& webView,
                                                              const std::shared_ptr<NSURLRequest>& request,
                                                              UIWebViewNavigationType /*navigationType*/) {
    QV_ASSERT_MAIN_THREAD();
    if (!request || !AKNotification::isNotificationURL(request->URL())) return true;
    std::weak_ptr<AKPublisherToolbarController> weak = weakSelf<AKPublisherToolbarController>();
    std::weak_ptr<UIWebView> sender = webView.weakSelf<UIWebView>();
    dispatch_async(dispatch_get_main_queue(), [weak, sender, URL = request->URL()] {
        const auto me = weak.lock();
        const auto view = sender.lock();
        if (me && view) me->handleMessage(URL, view.get());
    });
    return false;
}

bool AKPublisherToolbarController::isToolbarPage(const UIWebView* sender) const {
    if (sender != jsWebView_.get() || !toolbarPageURL_) return false;
    const auto request = jsWebView_->request();
    return request && request->URL() == *toolbarPageURL_;
}

void AKPublisherToolbarController::handleMessage(const std::string& URL, const UIWebView* sender) {
    const auto note = AKNotification::initWithNotificationURL(URL);
    if (!note) return;
    const std::string& name = note->name();
    const auto& parameters = note->parameters();
    if (name == "loadAuthenticationUri") {
        if (const auto uri = parameters.find("authenticationUri"); uri != parameters.end()) loadAuthenticationUri(uri->second);
    } else if (name == "showJavaScriptWebView") {
        spinnyWheel_->stopAnimating();
        jsWebView_->setHidden(false);
    } else if (name == "clearCredentials") {
        credentials_->clearCredentials();
    } else if (name == "storeCredentials") {
        if (!isToolbarPage(sender)) {
            AKMacros::pubLog("Publisher toolbar: credentials refused from a page that is not the toolbar's");
            return;
        }
        Value stored = Value::dictionary();
        for (const auto& [key, value] : parameters) stored.setObject(key, Value(value));
        credentials_->storeCredentials(stored);
    }
}

void AKPublisherToolbarController::webViewDidFinishLoad(UIWebView& webView) {
    QV_ASSERT_MAIN_THREAD();
    if (oauthWebView_ && &webView == oauthWebView_.get()) {
        const std::string title = oauthWebView_->stringByEvaluatingJavaScriptFromString("document.title");
        if (!title.starts_with("Success")) return;
        oauthWebView_->setHidden(true);
        spinnyWheel_->startAnimating();
        decodeImpression(title);
    } else if (&webView == jsWebView_.get()) {
        if (awaitingToolbarPage_) {  // the document the script was given
            awaitingToolbarPage_ = false;
            const auto request = jsWebView_->request();
            if (request) toolbarPageURL_ = request->URL();
        }
        launchToolbar();
    }
}

void AKPublisherToolbarController::launchToolbar() {
    Value arguments = Value::dictionary();
    if (adUnitID_) arguments.setObject("adUnitID", Value(*adUnitID_));
    const Value& stored = credentials_->credentials();
    if (stored.isDictionary() && stored.count() > 0) arguments.setObject("credentials", stored);
    if (adContent_) arguments.setObject("adContent", Value(*adContent_));
    callJavaScriptMethod("ADNET_initializeToolbar", AKMacros::dictionaryToJSONString(arguments), false);
}

void AKPublisherToolbarController::loadAuthenticationUri(const std::string& uri) {
    if (!jsWebView_) return;  // no view yet
    if (!oauthWebView_) {
        oauthWebView_ = std::make_shared<UIWebView>(webViewFrame(view()->bounds()), UIWebViewProcessGroup::Library);
        configureWebView(oauthWebView_);
    }
    jsWebView_->setHidden(true);
    oauthWebView_->setHidden(false);
    oauthWebView_->loadRequest(NSURLRequest::requestWithURL(uri));
}

void AKPublisherToolbarController::decodeImpression(const std::string& title) {
    Value arguments = Value::dictionary();
    if (adContent_) arguments.setObject("adContent", Value(*adContent_));
    arguments.setObject("authenticationPageTitle", Value(title));
    callJavaScriptMethod("ADNET_decodeImpression", AKMacros::dictionaryToJSONString(arguments), false);
}

std::string AKPublisherToolbarController::javaScriptCall(const std::string& name,
                                                         const std::optional<std::string>& argument,
                                                         bool wrappedAsString) {
    if (!argument) return name + "();";
    std::string text = name + "(";
    if (wrappedAsString) {
        text += '\'';
        appendEscaped(text, *argument);
        text += '\'';
    } else {
        text += *argument;
    }
    return text + ");";
}

void AKPublisherToolbarController::callJavaScriptMethod(const std::string& name,
                                                        const std::optional<std::string>& argument,
                                                        bool wrappedAsString) {
    if (!jsWebView_) return;
    (void)jsWebView_->stringByEvaluatingJavaScriptFromString(javaScriptCall(name, argument, wrappedAsString));
}
