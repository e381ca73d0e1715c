// Process groups and their watchdog: each group's views are related to its
// anchor, a blank engine view of its own, so they share its web process. Every
// 250 ms the anchor evaluates a trivial script; a process that leaves one
// unanswered for 1 s is ended (every view of the group hears it, see
// UIWebViewWPENavigation.cpp) and the group starts a new generation.
#include <glib.h>
#include <wpe/webkit.h>

#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/webkit/UIWebViewWPE.h"

namespace {
constexpr unsigned kPingIntervalMs = 250;
double silenceLimit = 1.0;  // seconds a process may leave a ping unanswered (main thread)
// Seconds a process may take to start (to load its anchor's page): a busy
// machine starts one slowly, and one that is not running yet is not silent.
constexpr double kStartLimit = 5.0;
// The longest a synchronous evaluation waits for a running process.
constexpr double kEvaluationLimit = 1.0;
}  // namespace

void UIWebView::setUnresponsivePageLimit(double seconds) {
    QV_ASSERT_MAIN_THREAD();
    if (seconds > 0) silenceLimit = seconds;
}

double UIWebView::unresponsivePageLimit() { return silenceLimit; }

struct UIWebViewWPEWatchdogTick {
    static gboolean tick(gpointer data) {
        static_cast<UIWebViewWPEGroup*>(data)->tick();
        return G_SOURCE_CONTINUE;
    }
    static void anchorLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
        auto* group = static_cast<UIWebViewWPEGroup*>(data);
        if (event != WEBKIT_LOAD_FINISHED || group->started_) return;
        group->started_ = true;
        group->pingSent_ = UIWebViewWPEContext::now();  // an outstanding ping's silence counts from now

    }
};

UIWebViewWPEGroup::~UIWebViewWPEGroup() { stopWatchdog(); }

WebKitWebView* UIWebViewWPEGroup::anchor() {
    QV_ASSERT_MAIN_THREAD();
    if (anchor_) return anchor_;
    WebKitWebContext* context = UIWebViewWPEContext::context();
    if (!anchorSurface_) anchorSurface_ = std::make_unique<UIWebViewWPESurface>(CGSizeMake(1, 1), 1.0, nullptr);
    auto* backend = static_cast<WebKitWebViewBackend*>(anchorSurface_->makeViewBackend());
    // Not floating: the group holds the one reference until the process ends.
    anchor_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "backend", backend, "web-context", context, nullptr));
    anchorSurface_->setVisible(false);
    started_ = false;
    g_signal_connect(anchor_, "load-changed", G_CALLBACK(&UIWebViewWPEWatchdogTick::anchorLoadChanged), this);
    webkit_web_view_load_html(anchor_, "<!DOCTYPE html><title>anchor</title>", "about:blank");
    responsive_ = true;
    startWatchdog();
    return anchor_;
}

double UIWebViewWPEGroup::evaluationLimit() const { return started_ ? kEvaluationLimit : kStartLimit; }

void UIWebViewWPEGroup::startWatchdog() {
    if (watchdogSource_) return;
    watchdogSource_ = g_timeout_add(kPingIntervalMs, &UIWebViewWPEWatchdogTick::tick, this);
}

void UIWebViewWPEGroup::stopWatchdog() {
    if (watchdogSource_) g_source_remove(watchdogSource_);
    watchdogSource_ = 0;
    pingToken_.reset();
}

void UIWebViewWPEGroup::tick() {
    if (!anchor_) return;
    if (pingToken_) {
        if (UIWebViewWPEContext::now() - pingSent_ > (started_ ? silenceLimit : kStartLimit)) giveUp();
        return;
    }
    pingToken_ = std::make_shared<int>(0);
    pingSent_ = UIWebViewWPEContext::now();
    struct Ping {
        UIWebViewWPEGroup* group;
        std::weak_ptr<int> token;
    };
    webkit_web_view_run_javascript(
        anchor_, "1", nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* ping = static_cast<Ping*>(data);
            GError* error = nullptr;
            if (auto* value = webkit_web_view_run_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error))
                webkit_javascript_result_unref(value);
            // An error answers too (the process lives); an ended process's
            // ping is no longer awaited.
            if (error) g_error_free(error);
            if (auto token = ping->token.lock(); token && ping->group->pingToken_ == token) {
                ping->group->pingToken_.reset();
                ping->group->responsive_ = true;
            }
            delete ping;
        },
        new Ping{this, pingToken_});
}

void UIWebViewWPEGroup::giveUp() {
    QV_ASSERT_MAIN_THREAD();
    if (!anchor_) return;
    responsive_ = false;
    NSLog("Web engine: a web process stopped answering; ending it");
    webkit_web_view_terminate_web_process(anchor_);
    processEnded();
}

void UIWebViewWPEGroup::processEnded() {
    if (!anchor_) return;
    stopWatchdog();
    WebKitWebView* old = anchor_;
    anchor_ = nullptr;
    ++generation_;
    responsive_ = true;  // the next generation's process starts answering afresh
    g_signal_handlers_disconnect_by_data(old, this);
    // This runs inside the engine's own calls (a termination asked of the
    // anchor, the ended process's signal to each view): the anchor goes once
    // they have returned and what the ended process left queued is dispatched.
    g_idle_add_full(
        G_PRIORITY_LOW,
        [](gpointer view) -> gboolean {
            g_object_unref(view);
            return G_SOURCE_REMOVE;
        },
        old, nullptr);
}
