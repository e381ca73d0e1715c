// Navigation of an engine view: the engine's signals are recorded in the
// view's queue (decisions held) and delivered in order from the run loop, so
// the delegate is never called from inside an engine callback and may
// evaluate script meanwhile. One start, then one finish or fail per main-frame
// load; a replaced load fails with NSURLErrorCancelled, and so does one the
// host stopped, unless the host has loaded anew since (then its end is
// nobody's and goes unheard); an attempt that asking again mends (a
// certificate allowed on the way) continues the same load. A view that fails
// loads on error statuses refuses such a main document at its response
// decision, before the engine shows or runs any of it.
#include <glib.h>
#include <wpe/webkit.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/base/ThreadAssertions.h"
#include "platform/net/NSURLError.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/webkit/UIWebViewWPE.h"
#include "platform/webkit/UIWebViewWPETrust.h"

namespace {
// Attempts of one load asked for again after a cancellation of the network
// layer's own.
constexpr unsigned kMaxContinuations = 3;

// A GObject reference held by a queued event.
template <class T>
std::shared_ptr<T> hold(T* object) {
    g_object_ref(object);
    return std::shared_ptr<T>(object, [](T* o) { g_object_unref(o); });
}

long codeOf(const GError* error) {
    if (!error) return NSURLErrorUnknown;
    if (error->domain == WEBKIT_NETWORK_ERROR) {
        switch (error->code) {
        case WEBKIT_NETWORK_ERROR_CANCELLED: return NSURLErrorCancelled;
        case WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL: return NSURLErrorUnsupportedURL;
        case WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST: return NSURLErrorResourceUnavailable;
        default: return NSURLErrorCannotConnectToHost;
        }
    }
    if (error->domain == WEBKIT_POLICY_ERROR) {
        if (error->code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) return NSURLErrorCancelled;
        return NSURLErrorUnsupportedURL;
    }
    if (error->domain == G_RESOLVER_ERROR) return NSURLErrorCannotFindHost;
    if (error->domain == G_TLS_ERROR) return NSURLErrorSecureConnectionFailed;
    if (error->domain == G_IO_ERROR) {
        switch (error->code) {
        case G_IO_ERROR_TIMED_OUT: return NSURLErrorTimedOut;
        case G_IO_ERROR_CONNECTION_REFUSED: return NSURLErrorCannotConnectToHost;
        case G_IO_ERROR_CANCELLED: return NSURLErrorCancelled;
        case G_IO_ERROR_BROKEN_PIPE: return NSURLErrorNetworkConnectionLost;
        default: return NSURLErrorCannotConnectToHost;
        }
    }
    return NSURLErrorUnknown;
}
}  // namespace

// The signal handlers: each records an event.
struct UIWebViewWPE::Signals {
    static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 UIWebViewWPE* self) {
        auto held = hold(decision);
        self->enqueue([self, held, type] { self->decide(held.get(), static_cast<int>(type)); });
        return TRUE;
    }
    static void loadChanged(WebKitWebView* view, WebKitLoadEvent event, UIWebViewWPE* self) {
        switch (event) {
        case WEBKIT_LOAD_STARTED: {
            // A continued load's new attempt starts with its failing URI.
            const char* uri = webkit_web_view_get_uri(view);
            const bool continued = self->continuing_ && uri && self->continuingURI_ == uri;
            self->continuing_ = false;
            self->startedAt_ = self->hostNavigations_;
            if (!continued) self->enqueue([self] { self->loadStarted(); });
            break;
        }
        case WEBKIT_LOAD_COMMITTED: self->enqueue([self] { self->loadCommitted(); }); break;
        case WEBKIT_LOAD_FINISHED: self->enqueue([self] { self->loadFinished(); }); break;
        default: break;
        }
    }
    static gboolean loadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* uri, GError* error, UIWebViewWPE* self) {
        // The engine's own cancellations (a replaced or stopped load) come in
        // its domain. One of the network layer's before the page committed is
        // nobody's (seen under load when a refused certificate ended the
        // navigation's preconnection, whose connection the main document was
        // waiting for): asked again, the load meets the certificate itself.
        if (event == WEBKIT_LOAD_STARTED && uri && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED) &&
            self->continuations_ < kMaxContinuations) {
            self->enqueue([self, failing = std::string(uri), since = self->startedAt_] {
                self->continueLoad(failing, since);
            });
            return TRUE;
        }
        auto failure = NSURLErrorMake(codeOf(error), uri ? uri : "", error ? error->message : "");
        self->enqueue([self, failure] { self->loadFailed(*failure); });
        return TRUE;  // no error page: the delegate says what to show
    }
    static gboolean tlsFailed(WebKitWebView* view, gchar* uri, GTlsCertificate* certificate, GTlsCertificateFlags errors,
                              UIWebViewWPE* self) {
        if (UIWebViewWPETrust::allowAfterFailure(view, uri, certificate, static_cast<unsigned>(errors))) {
            // The engine ends this attempt next (load-changed FINISHED) and
            // would not reload a page that never committed: the load goes on.
            self->enqueue([self, failing = std::string(uri ? uri : ""), since = self->startedAt_] {
                self->continueLoad(failing, since);
            });
        } else {
            auto failure = NSURLErrorMake(NSURLErrorServerCertificateUntrusted, uri ? uri : "");
            self->enqueue([self, failure] { self->loadFailed(*failure); });
        }
        return TRUE;
    }
    static void resourceStarted(WebKitWebView* view, WebKitWebResource* resource, WebKitURIRequest*, UIWebViewWPE*) {
        // The main document's own TLS failure is load-failed-with-tls-errors's.
        if (resource != webkit_web_view_get_main_resource(view))
            g_signal_connect(resource, "failed-with-tls-errors", G_CALLBACK(&Signals::resourceTlsFailed), nullptr);
    }
    static void resourceTlsFailed(WebKitWebResource* resource, GTlsCertificate* certificate, GTlsCertificateFlags,
                                  gpointer) {
        UIWebViewWPETrust::allowAfterSubresourceFailure(UIWebViewWPEContext::context(),
                                                        webkit_web_resource_get_uri(resource), certificate);
    }
    static WebKitWebView* create(WebKitWebView*, WebKitNavigationAction* action, UIWebViewWPE* self) {
        // A new window's page loads in this view; the page gets no window.
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        std::string uri = request ? webkit_uri_request_get_uri(request) : "";
        const auto type = static_cast<UIWebViewNavigationType>(webkit_navigation_action_get_navigation_type(action));
        const bool gesture = webkit_navigation_action_is_user_gesture(action);
        self->enqueue([self, uri, type, gesture] {
            if (uri.empty()) return;
            auto queue = self->queue_;  // the delegate may let the view go
            self->deciding_ = true;
            self->decidingGesture_ = gesture;
            const bool allowed = self->client_.backingShouldStartLoad(NSURLRequest::requestWithURL(uri), type);
            if (!queue->alive) return;
            self->deciding_ = false;
            if (!allowed) return;
            self->approved_.push_back(uri);
            self->loadRequest(NSURLRequest::requestWithURL(uri));
        });
        return nullptr;
    }
    static void terminated(WebKitWebView*, WebKitWebProcessTerminationReason, UIWebViewWPE* self) {
        if (self->generation_ == self->group_.generation()) self->group_.processEnded();
        self->enqueue([self] { self->processEnded(); });
    }
};

void UIWebViewWPE::connectSignals() {
    auto connect = [this](const char* name, GCallback callback) {
        handlers_.push_back(g_signal_connect(view_, name, callback, this));
    };
    connect("decide-policy", G_CALLBACK(&Signals::decidePolicy));
    connect("load-changed", G_CALLBACK(&Signals::loadChanged));
    connect("load-failed", G_CALLBACK(&Signals::loadFailed));
    connect("load-failed-with-tls-errors", G_CALLBACK(&Signals::tlsFailed));
    connect("resource-load-started", G_CALLBACK(&Signals::resourceStarted));
    connect("create", G_CALLBACK(&Signals::create));
    connect("web-process-terminated", G_CALLBACK(&Signals::terminated));
}

void UIWebViewWPE::enqueue(std::function<void()> event) {
    queue_->events.push_back(std::move(event));
    if (queue_->scheduled || queue_->draining) return;
    queue_->scheduled = true;
    NSRunLoop::mainRunLoop()->performBlock([queue = std::weak_ptr<Queue>(queue_), this] {
        auto held = queue.lock();
        if (!held || !held->alive) return;
        held->scheduled = false;
        drain();
    });
}

void UIWebViewWPE::drain() {
    QV_ASSERT_MAIN_THREAD();
    auto queue = queue_;  // the view may go away inside a delivery
    if (queue->draining) return;
    queue->draining = true;
    while (queue->alive && !queue->events.empty()) {
        auto event = std::move(queue->events.front());
        queue->events.pop_front();
        event();
    }
    queue->draining = false;
}

void UIWebViewWPE::decide(WebKitPolicyDecision* decision, int decisionType) {
    if (decisionType == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        if (!refusedErrorResponse(decision)) webkit_policy_decision_use(decision);
        return;
    }
    auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(navigation);
    WebKitURIRequest* engineRequest = webkit_navigation_action_get_request(action);
    const std::string uri = webkit_uri_request_get_uri(engineRequest);
    const auto type = static_cast<UIWebViewNavigationType>(webkit_navigation_action_get_navigation_type(action));
    auto request = NSURLRequest::requestWithURL(uri);
    struct Deciding {
        UIWebViewWPE& self;
        std::shared_ptr<Queue> queue;
        Deciding(UIWebViewWPE& view, bool gesture) : self(view), queue(view.queue_) {
            self.deciding_ = true;
            self.decidingGesture_ = gesture;
        }
        ~Deciding() {
            if (queue->alive) self.deciding_ = false;
        }
    } deciding(*this, webkit_navigation_action_is_user_gesture(action));
    if (decisionType == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        // The new window's page loads in this view, once the delegate allows it.
        webkit_policy_decision_ignore(decision);
        auto queue = queue_;  // the delegate may let the view go
        if (!client_.backingShouldStartLoad(request, type) || !queue->alive) return;
        approved_.push_back(uri);
        loadRequest(request);
        return;
    }
    bool allowed = true;
    auto hostLoad = std::find(hostLoads_.begin(), hostLoads_.end(), uri);
    const bool byHost = type == UIWebViewNavigationTypeOther && hostLoad != hostLoads_.end();
    if (byHost) {
        hostLoads_.erase(hostLoads_.begin(), std::next(hostLoad));
        if (pendingRequest_ && pendingRequest_->URL() == uri) request = pendingRequest_;
    }
    auto approved = std::find(approved_.begin(), approved_.end(), uri);
    auto queue = queue_;  // the delegate may let the view go
    if (byHost && approved != approved_.end()) {
        approved_.erase(approved);
    } else {
        allowed = client_.backingShouldStartLoad(request, type) && queue->alive;
    }
    if (!allowed) {
        if (byHost && queue->alive) hostLoadPending_ = false;
        webkit_policy_decision_ignore(decision);
        return;
    }
    if (byHost) {
        request_ = request;
        hostLoadAllowed_ = true;
    }
    WebKitWebsitePolicies* policies =
        webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW_WITHOUT_SOUND, nullptr);
    webkit_policy_decision_use_with_policies(decision, policies);
    g_object_unref(policies);
}

bool UIWebViewWPE::refusedErrorResponse(WebKitPolicyDecision* decision) {
    if (!failsOnErrorStatus_ || !loading_ || !view_) return false;
    WebKitURIResponse* response =
        webkit_response_policy_decision_get_response(WEBKIT_RESPONSE_POLICY_DECISION(decision));
    const guint status = response ? webkit_uri_response_get_status_code(response) : 0;
    if (status == 0 || (status >= 200 && status <= 299)) return false;  // not over HTTP, or a success
    // 2.38 does not say whose response this is: the main document's is the one
    // for the URI the view is loading (a frame of the page shown has its own).
    const char* responseURI = webkit_uri_response_get_uri(response);
    const char* viewURI = webkit_web_view_get_uri(view_);
    if (!responseURI || !viewURI || std::string(responseURI) != viewURI) return false;
    // Refused before the engine commits the page: nothing of the body shows or
    // runs. The load ends here; the engine's own end of it comes to a load
    // already over and is dropped.
    webkit_policy_decision_ignore(decision);
    statusCode_ = static_cast<long>(status);
    failCurrentLoad(NSURLErrorBadServerResponse, "the server answered with status " + std::to_string(status));
    return true;
}

void UIWebViewWPE::continueLoad(const std::string& URI, std::uint64_t since) {
    if (!loading_ || !view_) return;
    ++continuations_;
    if (since != hostNavigations_ || URI.empty()) return failCurrentLoad(NSURLErrorCancelled, "replaced by another load");
    approved_.push_back(URI);  // decided already
    startRequest(request_ && request_->URL() == URI ? request_ : NSURLRequest::requestWithURL(URI));
    timeout_ = 0;  // the load's own time-out runs on
    hostLoadPending_ = false;  // the load is under way
    continuing_ = true;
    continuingURI_ = URI;
}

void UIWebViewWPE::loadStarted() {
    if (loading_) {
        auto queue = queue_;  // the delegate may let the view go
        failCurrentLoad(NSURLErrorCancelled, "replaced by another load");
        if (!queue->alive) return;
    }
    loading_ = true;
    committed_ = false;
    hostLoadPending_ = false;
    continuations_ = 0;
    statusCode_.reset();
    if (const char* uri = view_ ? webkit_web_view_get_uri(view_) : nullptr; uri && (!request_ || request_->URL() != uri))
        request_ = NSURLRequest::requestWithURL(uri);
    cancelTimeout();
    if (timeout_ > 0) startTimeout(timeout_);
    timeout_ = 0;
    client_.backingDidStartLoad();
}

void UIWebViewWPE::loadCommitted() {
    committed_ = true;
    // A new document: the engine's white of it is held back (the previous
    // page's frame, or the view's background, shows until its first frame).
    newDocumentStarts();
    // The page now shown: the engine names a followed link's URL only from here on.
    if (const char* uri = view_ ? webkit_web_view_get_uri(view_) : nullptr; uri && (!request_ || request_->URL() != uri))
        request_ = NSURLRequest::requestWithURL(uri);
    cancelTimeout();
}

void UIWebViewWPE::loadFinished() {
    if (!loading_ || continuing_) return;  // the failed attempt of a continued load
    loading_ = false;
    cancelTimeout();
    documentLoadEnds();
    statusCode_.reset();
    if (WebKitWebResource* resource = view_ ? webkit_web_view_get_main_resource(view_) : nullptr) {
        WebKitURIResponse* response = webkit_web_resource_get_response(resource);
        if (response && webkit_uri_response_get_status_code(response) > 0)
            statusCode_ = static_cast<long>(webkit_uri_response_get_status_code(response));
    }
    if (!endIsHeard()) return;
    fitPageWidth();  // before the client hears of the page
    client_.backingDidFinishLoad();
}

void UIWebViewWPE::loadFailed(const NSError& error) {
    if (!loading_) return;
    loading_ = false;
    cancelTimeout();
    if (committed_) documentLoadEnds();  // the document shown is the failed load's
    if (!endIsHeard()) return;
    client_.backingDidFailLoad(error);
}

void UIWebViewWPE::failCurrentLoad(long code, const std::string& description) {
    loadFailed(*NSURLErrorMake(code, request_ ? request_->URL() : "", description));
}

void UIWebViewWPE::processEnded() {
    cancelHold();
    client_.backingDidLosePage();
    if (group_.kind() == UIWebViewProcessGroup::Library) {
        // The library's own page comes back in a new process; a load under
        // way is replaced by that one.
        if (lastLoad_ && generation_ != group_.generation()) {
            auto queue = queue_;  // the delegate may let the view go
            failCurrentLoad(NSURLErrorCancelled, "replaced by a reload in a new process");
            if (!queue->alive) return;
            auto load = lastLoad_;
            load();
        }
        return;
    }
    if (!loading_ && hostLoadPending_ && lastLoad_ && pendingRequest_) {
        // A host load not started yet never reached the ended process: it
        // starts in a new one (not asked again when it was allowed).
        hostLoadPending_ = false;
        if (hostLoadAllowed_) approved_.push_back(pendingRequest_->URL());
        auto load = lastLoad_;
        load();
        return;
    }
    failCurrentLoad(UIWebViewWPEUnresponsiveErrorCode, "the page's process stopped answering and was ended");
}

void UIWebViewWPE::startTimeout(double seconds) {
    timeoutSource_ = g_timeout_add(
        static_cast<guint>(seconds * 1000),
        [](gpointer data) -> gboolean {
            auto* self = static_cast<UIWebViewWPE*>(data);
            self->timeoutSource_ = 0;
            self->enqueue([self] {
                if (!self->loading_ || self->committed_) return;
                // Stopped first: the delegate may let the view go when told.
                if (self->view_) webkit_web_view_stop_loading(self->view_);
                self->failCurrentLoad(NSURLErrorTimedOut, "the main document did not arrive in time");
            });
            return G_SOURCE_REMOVE;
        },
        this);
}

void UIWebViewWPE::cancelTimeout() {
    if (timeoutSource_) g_source_remove(timeoutSource_);
    timeoutSource_ = 0;
}
