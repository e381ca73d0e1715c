// The engine backing of UIWebView: one engine view related to its group's
// anchor, its settings, host loads and synchronous evaluation.
#include <glib.h>
#include <libsoup/soup.h>
#include <wpe/webkit.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/base/ThreadAssertions.h"
#include "platform/net/NSURLError.h"
#include "platform/webkit/UIWebViewWPE.h"
#include "platform/webkit/UIWebViewWPETrust.h"

namespace {
// Engine views of backings not yet finalized (main thread).
std::size_t liveEngineViews = 0;

void engineViewFinalized(gpointer, GObject*) { --liveEngineViews; }
std::size_t engineViews = 0;  // made since the process started (main thread)
}  // namespace

std::size_t UIWebView::liveEngineViewCount() {
    QV_ASSERT_MAIN_THREAD();
    return liveEngineViews;
}

std::size_t UIWebView::engineViewsMade() { return engineViews; }

UIWebView::BackingFactory UIWebViewWPE::factory() {
    return [](UIWebViewBackingClient& client) {
        return std::make_unique<UIWebViewWPE>(client, client.backingProcessGroup());
    };
}

UIWebViewWPE::UIWebViewWPE(UIWebViewBackingClient& client, UIWebViewProcessGroup group)
    : client_(client), group_(UIWebViewWPEContext::group(group)) {
    QV_ASSERT_MAIN_THREAD();
    // The page starts with the view's geometry: a resize of a page that is
    // still setting up its compositor stalls both processes (UIWebViewWPE.h).
    // The engine view itself (and its group's process) waits for the first
    // call that must reach a page: a view that never loads starts no process.
    size_ = client.backingInitialSize();
    scale_ = client.backingInitialScale() > 0 ? client.backingInitialScale() : 1;
    surface_ = std::make_unique<UIWebViewWPESurface>(size_, scale_, [this](CGImageRef image, double scale) {
        // A frame that comes after its process was ended shows no live page.
        if (generation_ != group_.generation()) return;
        enqueue([this, image = std::move(image), scale]() mutable { deliverFrame(std::move(image), scale); });
    });
}

UIWebViewWPE::~UIWebViewWPE() {
    QV_ASSERT_MAIN_THREAD();
    queue_->alive = false;
    queue_->events.clear();  // held decisions are released (and so used) with their events
    cancelTimeout();
    cancelHold();
    dropEngineView();
}

void UIWebViewWPE::makeEngineView() {
    WebKitWebView* anchor = group_.anchor();
    generation_ = group_.generation();
    ++engineViews;
    auto* backend = static_cast<WebKitWebViewBackend*>(surface_->makeViewBackend());
    // A web view is no floating object here: this is its one reference.
    view_ = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "backend", backend, "related-view", anchor, nullptr));
    ++liveEngineViews;
    g_object_weak_ref(G_OBJECT(view_), &engineViewFinalized, nullptr);
    WebKitSettings* settings = webkit_web_view_get_settings(view_);
    webkit_settings_set_enable_fullscreen(settings, FALSE);
    webkit_settings_set_media_playback_requires_user_gesture(settings, mediaNeedsGesture_);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    surface_->setSize(size_, scale_);
    surface_->setVisible(visible_);
    WebKitColor color = {background_.red, background_.green, background_.blue, background_.alpha};
    webkit_web_view_set_background_color(view_, &color);
    connectSignals();
    newDocumentStarts();  // the page's initial empty document
}

void UIWebViewWPE::newDocumentStarts() {
    newDocument_ = true;
    documentLoadEnded_ = false;
    framesSinceLoadEnded_ = 0;
    cancelHold();
}

void UIWebViewWPE::documentLoadEnds() {
    documentLoadEnded_ = true;
    framesSinceLoadEnded_ = 0;
    if (!newDocument_ || holdSource_) return;
    // A page that really is white may paint nothing after its end: its held
    // frame shows after a short grace.
    holdSource_ = g_timeout_add(
        kWhiteFrameGraceMs,
        [](gpointer data) -> gboolean {
            auto* self = static_cast<UIWebViewWPE*>(data);
            self->holdSource_ = 0;
            self->enqueue([self] { self->endHold(); });
            return G_SOURCE_REMOVE;
        },
        this);
}

void UIWebViewWPE::cancelHold() {
    heldFrame_ = nullptr;
    if (holdSource_) g_source_remove(holdSource_);
    holdSource_ = 0;
}

void UIWebViewWPE::endHold() {
    if (!newDocument_) return;
    newDocument_ = false;
    CGImageRef held = std::move(heldFrame_);
    cancelHold();
    if (held) showFrame(std::move(held), heldScale_);
}

void UIWebViewWPE::showFrame(CGImageRef image, double scale) {
    client_.backingDidReceiveFrame(std::move(image), scale);
    client_.backingDidPaintFrame();
}

bool UIWebViewWPE::whiteBackground() const {
    return background_.alpha >= 1 && background_.red >= 1 && background_.green >= 1 && background_.blue >= 1;
}

void UIWebViewWPE::deliverFrame(CGImageRef image, double scale) {
    if (holdsFrame(image)) {
        heldFrame_ = std::move(image);
        heldScale_ = scale;
        return;
    }
    cancelHold();
    showFrame(std::move(image), scale);
}

bool UIWebViewWPE::holdsFrame(const CGImageRef& image) {
    if (!newDocument_) return false;
    if (whiteBackground() || !image || (documentLoadEnded_ && ++framesSinceLoadEnded_ >= 2)) {
        newDocument_ = false;
        return false;
    }
    // The engine's frames are 32-bit premultiplied words in host order (see
    // UIWebViewWPESurface.cpp): white is all ones but for an unused alpha
    // byte. A document's first frame may be wholly clear, nothing painted yet:
    // it shows the background too, and the engine's white may follow it.
    const std::uint32_t white = image->alphaInfo() != kCGImageAlphaNoneSkipFirst ? 0xffffffffu : 0x00ffffffu;
    bool allWhite = true, allClear = image->alphaInfo() != kCGImageAlphaNoneSkipFirst;
    const std::uint8_t* row = image->data().data();
    for (std::size_t y = 0; y < image->height() && (allWhite || allClear); ++y, row += image->bytesPerRow()) {
        for (std::size_t x = 0; x < image->width() && (allWhite || allClear); ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + x * 4, 4);
            allWhite = allWhite && (word & white) == white;
            allClear = allClear && word == 0;
        }
    }
    if (!allWhite && !allClear) newDocument_ = false;  // the document's own first frame
    return allWhite;
}

void UIWebViewWPE::dropEngineView() {
    if (!view_) return;
    for (auto id : handlers_) g_signal_handler_disconnect(view_, id);
    handlers_.clear();
    g_object_unref(view_);
    view_ = nullptr;
}

WebKitWebView* UIWebViewWPE::viewForLoad(const std::string& URL) {
    if (!view_ || generation_ != group_.generation()) {
        dropEngineView();
        makeEngineView();
    }
    hostLoads_.push_back(URL);
    if (hostLoads_.size() > 16) hostLoads_.pop_front();
    return view_;
}

void UIWebViewWPE::loadHTMLString(const std::string& html, const std::string& baseURL) {
    QV_ASSERT_MAIN_THREAD();
    hostNavigates();
    const std::string base = baseURL.empty() ? "about:blank" : baseURL;
    lastLoad_ = [this, html, baseURL] { loadHTMLString(html, baseURL); };
    pendingRequest_ = NSURLRequest::requestWithURL(base);
    hostLoadPending_ = true;
    hostLoadAllowed_ = false;
    timeout_ = 0;
    startFromText(base, [this, html, base] { webkit_web_view_load_html(viewForLoad(base), html.c_str(), base.c_str()); });
}

void UIWebViewWPE::startFromText(const std::string& base, std::function<void()> start) {
    if (!view_) makeEngineView();  // the certificate allowed below reaches a running engine
    // Such a page's sub-resources from a host trusted with a test authority
    // need its certificate allowed before they load (they never ask).
    const auto since = hostNavigations_;
    const bool waits = UIWebViewWPETrust::fetchCertificateBeforeLoad(
        base, [this, queue = std::weak_ptr<Queue>(queue_), since, start] {
            auto held = queue.lock();
            if (!held || !held->alive || since != hostNavigations_) return;  // gone, or replaced by another load
            start();
        });
    if (!waits) start();
}

void UIWebViewWPE::loadData(const Data& data, const std::string& MIMEType, const std::string& textEncodingName,
                            const std::string& baseURL) {
    QV_ASSERT_MAIN_THREAD();
    hostNavigates();
    const std::string base = baseURL.empty() ? "about:blank" : baseURL;
    lastLoad_ = [this, data, MIMEType, textEncodingName, baseURL] {
        loadData(data, MIMEType, textEncodingName, baseURL);
    };
    pendingRequest_ = NSURLRequest::requestWithURL(base);
    hostLoadPending_ = true;
    hostLoadAllowed_ = false;
    timeout_ = 0;
    startFromText(base, [this, data, MIMEType, textEncodingName, base] {
        GBytes* bytes = g_bytes_new(data.data(), data.size());
        webkit_web_view_load_bytes(viewForLoad(base), bytes, MIMEType.empty() ? nullptr : MIMEType.c_str(),
                                   textEncodingName.empty() ? nullptr : textEncodingName.c_str(), base.c_str());
        g_bytes_unref(bytes);
    });
}

void UIWebViewWPE::loadRequest(const std::shared_ptr<NSURLRequest>& request) {
    QV_ASSERT_MAIN_THREAD();
    if (!request) return;
    hostNavigates();
    startRequest(request);
}

void UIWebViewWPE::startRequest(const std::shared_ptr<NSURLRequest>& request) {
    lastLoad_ = [this, request] { loadRequest(request); };
    pendingRequest_ = request;
    hostLoadPending_ = true;
    hostLoadAllowed_ = false;
    timeout_ = request->timeoutInterval() > 0 ? request->timeoutInterval() : 0;
    WebKitWebView* view = viewForLoad(request->URL());
    // The engine sends the page's User-Agent on every request: a request that
    // names one sets it for its page, one that does not gets the engine's.
    const auto agent = request->valueForHTTPHeaderField("User-Agent");
    webkit_settings_set_user_agent(webkit_web_view_get_settings(view), agent ? agent->c_str() : nullptr);
    WebKitURIRequest* engineRequest = webkit_uri_request_new(request->URL().c_str());
    if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(engineRequest)) {
        for (const auto& [name, value] : request->allHTTPHeaderFields())
            soup_message_headers_replace(headers, name.c_str(), value.c_str());
    }
    webkit_web_view_load_request(view, engineRequest);
    g_object_unref(engineRequest);
}

void UIWebViewWPE::stopLoading() {
    QV_ASSERT_MAIN_THREAD();
    hostNavigates();
    if (loading_) stoppedAt_ = hostNavigations_;
    if (view_) webkit_web_view_stop_loading(view_);
}

void UIWebViewWPE::reload() {
    QV_ASSERT_MAIN_THREAD();
    hostNavigates();
    if (generation_ != group_.generation() && lastLoad_) {
        auto load = lastLoad_;
        load();
        return;
    }
    if (view_) webkit_web_view_reload(view_);
}

void UIWebViewWPE::goBack() {
    hostNavigates();
    if (view_) webkit_web_view_go_back(view_);
}
void UIWebViewWPE::goForward() {
    hostNavigates();
    if (view_) webkit_web_view_go_forward(view_);
}
bool UIWebViewWPE::canGoBack() const { return view_ && webkit_web_view_can_go_back(view_); }
bool UIWebViewWPE::canGoForward() const { return view_ && webkit_web_view_can_go_forward(view_); }

std::string UIWebViewWPE::documentTitle() const {
    // The engine keeps the title the web process last sent: reading it asks the page nothing.
    const gchar* title = view_ ? webkit_web_view_get_title(view_) : nullptr;
    return title ? title : std::string();
}

std::string UIWebViewWPE::evaluateJavaScript(const std::string& script) {
    QV_ASSERT_MAIN_THREAD();
    if (!view_) makeEngineView();  // a blank page until the first load
    if (generation_ != group_.generation() || !group_.responsive()) return {};
    struct Answer {
        bool done = false;
        std::string text;
    };
    auto* answer = new std::shared_ptr<Answer>(std::make_shared<Answer>());
    std::shared_ptr<Answer> mine = *answer;
    webkit_web_view_run_javascript(
        view_, script.c_str(), nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* held = static_cast<std::shared_ptr<Answer>*>(data);
            GError* error = nullptr;
            WebKitJavascriptResult* value = webkit_web_view_run_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
            if (value) {
                JSCValue* js = webkit_javascript_result_get_js_value(value);
                if (!jsc_value_is_undefined(js) && !jsc_value_is_null(js)) {
                    char* text = jsc_value_to_string(js);
                    if (text) (*held)->text = text;
                    g_free(text);
                }
                webkit_javascript_result_unref(value);
            }
            if (error) g_error_free(error);  // an exception or a promise: ""
            (*held)->done = true;
            delete held;
        },
        answer);
    const bool answered = UIWebViewWPEContext::pumpUntil([&] { return mine->done; }, group_.evaluationLimit());
    if (!answered) {
        group_.giveUp();
        return {};
    }
    return mine->text;
}

void UIWebViewWPE::setViewSize(CGSize size, double scale) {
    QV_ASSERT_MAIN_THREAD();
    size_ = size;
    scale_ = scale > 0 ? scale : 1;
    surface_->setSize(size_, scale_);
}

void UIWebViewWPE::setEngineVisible(bool visible) {
    QV_ASSERT_MAIN_THREAD();
    visible_ = visible;
    surface_->setVisible(visible);
}

void UIWebViewWPE::setBackground(double red, double green, double blue, double alpha, bool opaque) {
    QV_ASSERT_MAIN_THREAD();
    // The engine takes straight colour: a page is either opaque or, with any
    // transparency asked for, see-through.
    if (opaque || alpha >= 1) {
        const double a = alpha > 0 ? alpha : 1;
        background_ = {red / a, green / a, blue / a, 1};
        if (alpha <= 0) background_ = {1, 1, 1, 1};
    } else {
        background_ = {alpha > 0 ? red / alpha : 0, alpha > 0 ? green / alpha : 0, alpha > 0 ? blue / alpha : 0, 0};
    }
    if (!view_) return;
    WebKitColor color = {background_.red, background_.green, background_.blue, background_.alpha};
    webkit_web_view_set_background_color(view_, &color);
}

void UIWebViewWPE::setMediaPlaybackRequiresUserAction(bool required) {
    mediaNeedsGesture_ = required;
    if (view_) webkit_settings_set_media_playback_requires_user_gesture(webkit_web_view_get_settings(view_), required);
}

void UIWebViewWPE::setScalesPageToFit(bool scales) {
    QV_ASSERT_MAIN_THREAD();
    scalesPageToFit_ = scales;
    // A page shown is fitted when its next load finishes; one no longer
    // fitted goes back to its own size at once.
    if (!scales && view_ && webkit_web_view_get_zoom_level(view_) != 1) webkit_web_view_set_zoom_level(view_, 1);
}

void UIWebViewWPE::fitPageWidth() {
    if (!scalesPageToFit_ || !view_ || size_.width < 1) return;
    // The page's width is measured at its own size; the zoom and the
    // measuring script reach the page in that order.
    if (webkit_web_view_get_zoom_level(view_) != 1) webkit_web_view_set_zoom_level(view_, 1);
    const std::string widths = evaluateJavaScript(
        "(function(){var e=document.documentElement;"
        "return (e?e.scrollWidth:0)+' '+window.innerWidth;})()");
    double content = 0, view = 0;
    if (std::sscanf(widths.c_str(), "%lf %lf", &content, &view) != 2 || view <= 0 || content <= view) return;
    webkit_web_view_set_zoom_level(view_, view / content);
}

void UIWebViewWPE::touch(CGPoint point, int phase) {
    QV_ASSERT_MAIN_THREAD();
    surface_->pointer(point, phase);
}
