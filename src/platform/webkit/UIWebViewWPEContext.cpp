// The web engine's process-wide state: the engine loaded once, one web context
// with its data under the application home, and the engine's GLib context
// pumped by the main run loop (its descriptors as run-loop sources, its
// time-out as the bound of the loop's wait, in real time whatever the Clock).
#include <glib.h>
#include <poll.h>
#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <vector>

#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/webkit/UIWebViewWPE.h"
#include "platform/webkit/UIWebViewWPEProtocols.h"

namespace {

// One GLib pass split around the run loop's wait: prepare and query before
// it, check and dispatch after it.
class GlibPump {
public:
    GlibPump() : context_(g_main_context_default()) {
        if (!g_main_context_acquire(context_)) NSLog("Web engine: the GLib context belongs to another thread");
        auto loop = NSRunLoop::mainRunLoop();
        loop->addWaitObserver([this] { return beforeWait(); }, [this] { afterWait(); });
    }

    // Before the wait: prepare, query, and make the descriptors run-loop sources.
    double beforeWait() {
        finish();
        gint timeout = -1;
        query(&timeout);
        syncSources();
        prepared_ = true;
        return timeout < 0 ? std::numeric_limits<double>::infinity() : timeout / 1000.0;
    }

    // After the wait: check what became ready, dispatch.
    void afterWait() { finish(); }

    // A pass of the engine's context alone, waiting up to `seconds`.
    void iterate(double seconds) {
        finish();
        gint timeout = -1;
        query(&timeout);
        const double waitMs = std::min(seconds * 1000.0, timeout < 0 ? 1e9 : static_cast<double>(timeout));
        std::vector<pollfd> fds(polls_.size());
        for (std::size_t i = 0; i < polls_.size(); ++i)
            fds[i] = {polls_[i].fd, static_cast<short>(polls_[i].events), 0};
        int ready = ::poll(fds.data(), fds.size(), static_cast<int>(std::ceil(std::max(0.0, waitMs))));
        for (std::size_t i = 0; i < polls_.size(); ++i) polls_[i].revents = ready > 0 ? fds[i].revents : 0;
        if (g_main_context_check(context_, priority_, polls_.data(), static_cast<gint>(polls_.size())))
            g_main_context_dispatch(context_);
    }

private:
    void query(gint* timeout) {
        g_main_context_prepare(context_, &priority_);
        gint needed = static_cast<gint>(polls_.size());
        for (;;) {
            polls_.resize(static_cast<std::size_t>(needed));
            gint got = g_main_context_query(context_, priority_, timeout, polls_.data(), needed);
            if (got <= needed) {
                polls_.resize(static_cast<std::size_t>(got));
                break;
            }
            needed = got;
        }
        for (auto& p : polls_) p.revents = 0;
    }

    // The run loop watches exactly the descriptors of the last query.
    void syncSources() {
        auto loop = NSRunLoop::mainRunLoop();
        std::map<int, short> wanted;
        for (auto& p : polls_) wanted[p.fd] |= static_cast<short>(p.events);
        for (auto it = sources_.begin(); it != sources_.end();) {
            if (!wanted.count(it->first)) {
                loop->removeFileDescriptor(it->second.id);
                it = sources_.erase(it);
            } else {
                ++it;
            }
        }
        for (auto& [fd, events] : wanted) {
            auto it = sources_.find(fd);
            if (it == sources_.end()) {
                auto id = loop->addFileDescriptor(fd, events, [this](int readyFd, short revents) {
                    ready_[readyFd] |= revents;
                });
                sources_[fd] = {id, events};
            } else if (it->second.events != events) {
                loop->setFileDescriptorEvents(it->second.id, events);
                it->second.events = events;
            }
        }
    }

    void finish() {
        if (!prepared_) return;
        prepared_ = false;
        for (auto& p : polls_) {
            auto it = ready_.find(p.fd);
            p.revents = it == ready_.end() ? 0 : static_cast<gushort>(it->second & (p.events | POLLERR | POLLHUP));
        }
        ready_.clear();
        if (g_main_context_check(context_, priority_, polls_.data(), static_cast<gint>(polls_.size())))
            g_main_context_dispatch(context_);
    }

    struct Watched {
        NSRunLoop::SourceId id;
        short events;
    };
    GMainContext* context_;
    gint priority_ = 0;
    std::vector<GPollFD> polls_;
    std::map<int, Watched> sources_;
    std::map<int, short> ready_;
    bool prepared_ = false;
};

GlibPump& pump() {
    static ProcessLifetime<GlibPump> shared;
    return *shared;
}

// Folders of the engine's data under the application home; the engine's
// helpers find them through the XDG variables too.
void prepareEnvironment(std::string& data, std::string& cache) {
    namespace fs = std::filesystem;
    data = (fs::path(AppHome::root()) / "Library" / "WebKit").string();
    cache = (fs::path(AppHome::caches()) / "WebKit").string();
    std::error_code error;  // a folder that cannot be made: the engine reports its own failures
    fs::create_directories(data, error);
    fs::create_directories(cache, error);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    // No accessibility bus here: an empty address keeps the engine from
    // looking for one (and from warning that it found none).
    setenv("WEBKIT_A11Y_BUS_ADDRESS", "", 0);
}

WebKitWebContext* makeContext() {
    QV_ASSERT_MAIN_THREAD();
    pump();
    if (!wpe_loader_init("libWPEBackend-fdo-1.0.so.1")) NSLog("Web engine: cannot load the FDO backend");
    if (!wpe_fdo_initialize_shm()) NSLog("Web engine: cannot initialise shared-memory frames");
    std::string data, cache;
    prepareEnvironment(data, cache);
    WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
    g_object_unref(manager);
    // The smallest cache model: no page cache and the least memory cache. The
    // creatives and the library's pages never go back through history, and a
    // refreshed banner loads a new creative. (Memory pressure settings, a limit
    // of 100 or 200 MiB polled every 5 s, were measured too: they kept the web
    // processes at the size they had and lowered no total, so the engine's
    // defaults stay; the creatives' process holds about 90 MiB of its own
    // memory, the library's 45, that no cache release gives back.)
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    UIWebViewWPEProtocols::install(context);
    return context;
}

}  // namespace

WebKitWebContext* UIWebViewWPEContext::context() {
    static WebKitWebContext* shared = makeContext();  // lives as long as the process
    return shared;
}

UIWebViewWPEGroup& UIWebViewWPEContext::group(UIWebViewProcessGroup kind) {
    static ProcessLifetime<UIWebViewWPEGroup> creatives(UIWebViewProcessGroup::Creatives);
    static ProcessLifetime<UIWebViewWPEGroup> library(UIWebViewProcessGroup::Library);
    return kind == UIWebViewProcessGroup::Library ? *library : *creatives;
}

double UIWebViewWPEContext::now() { return static_cast<double>(g_get_monotonic_time()) / 1e6; }

bool UIWebViewWPEContext::pumpUntil(const std::function<bool()>& done, double seconds) {
    QV_ASSERT_MAIN_THREAD();
    const double deadline = now() + seconds;
    while (!done()) {
        const double left = deadline - now();
        if (left <= 0) return done();
        pump().iterate(left);
    }
    return true;
}
