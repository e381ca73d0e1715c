#include "platform/webkit/UIWebView.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/webkit/UIWebViewWPE.h"

namespace {
UIWebView::BackingFactory& factorySlot() {
    static UIWebView::BackingFactory factory;
    return factory;
}
}  // namespace

void UIWebView::useBackingFactory(BackingFactory factory) {
    QV_ASSERT_MAIN_THREAD();
    factorySlot() = std::move(factory);
}

UIWebView::UIWebView(CGRect frame, UIWebViewProcessGroup group) : UIView(frame), group_(group) {
    QV_ASSERT_MAIN_THREAD();
    auto& factory = factorySlot();
    backing_ = factory ? factory(*this) : UIWebViewWPE::factory()(*this);
    scrollView_ = std::make_shared<UIScrollView>(CGRectMake(0, 0, frame.size.width, frame.size.height));
    updateViewSize();
}

double UIWebView::backingInitialScale() const { return UIScreen::mainScreen()->scale(); }

void UIWebView::setFrame(CGRect frame) {
    UIView::setFrame(frame);
    updateViewSize();
}

void UIWebView::layoutSubviews() {
    UIView::layoutSubviews();
    updateViewSize();
}

void UIWebView::updateViewSize() {
    const CGSize size = bounds().size;
    if (size.width == engineSize_.width && size.height == engineSize_.height) return;
    engineSize_ = size;
    backing_->setViewSize(size, UIScreen::mainScreen()->scale());
}

void UIWebView::touch(const UITouchSet& touches, int phase) {
    if (touches.empty()) return;
    backing_->touch((*touches.begin())->locationInView(this), phase);
}

void UIWebView::touchesBegan(const UITouchSet& touches, UIEvent*) { touch(touches, 0); }
void UIWebView::touchesMoved(const UITouchSet& touches, UIEvent*) { touch(touches, 1); }
void UIWebView::touchesEnded(const UITouchSet& touches, UIEvent*) { touch(touches, 2); }
void UIWebView::touchesCancelled(const UITouchSet& touches, UIEvent*) { touch(touches, 3); }

UIWebView::~UIWebView() = default;

void UIWebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
    QV_ASSERT_MAIN_THREAD();
    loadedData_ = LoadedData{Data(html.begin(), html.end()), "text/html", "UTF-8", baseURL};
    loadedRequest_.reset();
    ++loads_;
    backing_->loadHTMLString(html, baseURL);
}

void UIWebView::loadData(Data data, std::string MIMEType, std::string textEncodingName, std::string baseURL) {
    QV_ASSERT_MAIN_THREAD();
    loadedData_ = LoadedData{std::move(data), std::move(MIMEType), std::move(textEncodingName), std::move(baseURL)};
    loadedRequest_.reset();
    ++loads_;
    backing_->loadData(loadedData_->data, loadedData_->MIMEType, loadedData_->textEncodingName, loadedData_->baseURL);
}

void UIWebView::loadRequest(std::shared_ptr<NSURLRequest> request) {
    QV_ASSERT_MAIN_THREAD();
    loadedRequest_ = std::move(request);
    loadedData_.reset();
    ++loads_;
    backing_->loadRequest(loadedRequest_);
}

void UIWebView::stopLoading() { backing_->stopLoading(); }
void UIWebView::reload() { backing_->reload(); }
void UIWebView::goBack() { backing_->goBack(); }
void UIWebView::goForward() { backing_->goForward(); }
bool UIWebView::canGoBack() const { return backing_->canGoBack(); }
bool UIWebView::canGoForward() const { return backing_->canGoForward(); }
bool UIWebView::isLoading() const { return backing_->isLoading(); }
std::shared_ptr<NSURLRequest> UIWebView::request() const { return backing_->request(); }
std::optional<long> UIWebView::mainDocumentStatusCode() const { return backing_->mainDocumentStatusCode(); }

std::string UIWebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    QV_ASSERT_MAIN_THREAD();
    return backing_->evaluateJavaScript(script);
}

void UIWebView::setScalesPageToFit(bool scales) {
    scalesPageToFit_ = scales;
    backing_->setScalesPageToFit(scales);
}

void UIWebView::setAllowsInlineMediaPlayback(bool allows) {
    allowsInlineMediaPlayback_ = allows;
    backing_->setAllowsInlineMediaPlayback(allows);
}

void UIWebView::setMediaPlaybackRequiresUserAction(bool required) {
    mediaPlaybackRequiresUserAction_ = required;
    backing_->setMediaPlaybackRequiresUserAction(required);
}

void UIWebView::setFailsLoadOnErrorStatus(bool fails) {
    failsLoadOnErrorStatus_ = fails;
    backing_->setFailsLoadOnErrorStatus(fails);
}

void UIWebView::setBackgroundColor(CGColorRef color) {
    UIView::setBackgroundColor(color);
    double r = 0, g = 0, b = 0, a = 0;
    if (color) color->getRGBA(r, g, b, a);
    backing_->setBackground(r * a, g * a, b * a, a, isOpaque());
}

void UIWebView::setOpaque(bool opaque) {
    UIView::setOpaque(opaque);
    setBackgroundColor(backgroundColor());
}

void UIWebView::setEngineVisible(bool visible) { backing_->setEngineVisible(visible); }

bool UIWebView::backingShouldStartLoad(const std::shared_ptr<NSURLRequest>& request,
                                       UIWebViewNavigationType navigationType) {
    auto delegate = delegate_.lock();
    return !delegate || delegate->shouldStartLoadWithRequest(*this, request, navigationType);
}

void UIWebView::backingDidStartLoad() {
    if (auto delegate = delegate_.lock()) delegate->webViewDidStartLoad(*this);
}

void UIWebView::backingDidFinishLoad() {
    if (auto delegate = delegate_.lock()) delegate->webViewDidFinishLoad(*this);
}

void UIWebView::backingDidFailLoad(const NSError& error) {
    if (auto delegate = delegate_.lock()) delegate->didFailLoadWithError(*this, error);
}

void UIWebView::backingDidPaintFrame() { ++paintedFrames_; }

void UIWebView::backingDidReceiveFrame(CGImageRef image, double scale) {
    layer()->setContentsScale(scale);
    layer()->setContents(std::move(image));
}

// A page whose process was ended shows the view's background, not its last frame.
void UIWebView::backingDidLosePage() { layer()->setContents(nullptr); }
