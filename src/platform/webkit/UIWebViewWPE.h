#pragma once
// The web engine behind UIWebView (WPE WebKit with the FDO shared-memory
// backend). Internal to platform/webkit: only the UIWebViewWPE*.cpp files
// include the engine's headers; this header forward-declares its types.
//
// Pieces, one file each:
// - UIWebViewWPEContext.cpp: the one web context (data and cache under the
//   application home), the engine's GLib context pumped from the main run
//   loop (a wait observer), and the process groups;
// - UIWebViewWPEWatchdog.cpp: per process group, a trivial script every
//   250 ms in the group's anchor view; a process silent for 1 s is ended
//   (one still starting, before its anchor's page loaded, gets 5 s);
// - UIWebViewWPESurface.cpp: the view backend: shared-memory frames copied
//   into the view's layer, acknowledged from a timer at up to 60 Hz, size,
//   scale, activity state and pointer input;
// - UIWebViewWPE.cpp: the backing (loads, settings, evaluation);
// - UIWebViewWPENavigation.cpp: the engine's signals recorded in one queue
//   per view and delivered in order from the run loop, decisions held meanwhile.
//
// A view's engine view, and with the first one its group's anchor, process
// and watchdog, is made when a call must first reach its page (a load, a
// script evaluation); what the view was told before (geometry, visibility,
// background, settings) is applied then. A view that never loads costs no
// process.
//
// Geometry: a page is made with its view's size and scale, and the engine view
// hears of a later change only when there is one. A change of a visible page
// makes the engine's host side wait on the main thread, up to half a second,
// for the page's answer; meanwhile the main thread serves no compositor
// traffic, so a page of the same process that is setting up its compositor
// (its web process's main thread waits on that) cannot answer: every process
// idles until the wait times out, and a few such waits end the process.
//
// Engine callbacks only record what happened: the backing client is called
// from the view's queue, never from inside an engine callback. A process that
// stops answering is ended by the watchdog: its creative views fail their load
// with NSURLErrorResourceUnavailable (-1008) and start a new process on their
// next load (a host load not started yet starts there at once);
// library pages reload; every view of the process drops its last frame (and
// any that comes after the end).
//
// A new document's first frames: the engine paints a new page's initial empty
// document, and each main document from its commit until it has a body and
// was laid out, opaque white whatever the view's background. So while the
// view's background is not opaque white, from the engine view's making and
// each commit a uniformly opaque white frame is held back (the previous
// page's frame, or the view's background, stays), until the first frame that
// is neither that nor wholly clear (nothing painted yet: it shows the
// background too), or the second frame after the document's load ended (the
// first may have been painted before the end). A page that really is white
// and paints nothing more after its end shows its held frame a short grace
// after the end. Main thread only.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/webkit/UIWebView.h"

typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitPolicyDecision WebKitPolicyDecision;
typedef struct _GMainContext GMainContext;
struct wpe_view_backend_exportable_fdo;
struct wpe_fdo_shm_exported_buffer;

// The code of a load ended because its page's process stopped answering.
inline constexpr long UIWebViewWPEUnresponsiveErrorCode = -1008;  // NSURLErrorResourceUnavailable

class UIWebViewWPESurface;

// One web process shared by the views of a group, watched through its anchor
// (a blank view of its own). A terminated process ends the generation: the
// views of the old generation make new engine views on their next load.
class UIWebViewWPEGroup {
public:
    explicit UIWebViewWPEGroup(UIWebViewProcessGroup kind) : kind_(kind) {}
    ~UIWebViewWPEGroup();
    UIWebViewProcessGroup kind() const { return kind_; }
    // The anchor of the current generation (made on first use).
    WebKitWebView* anchor();
    std::uint64_t generation() const { return generation_; }
    // False from a missed deadline until the process is replaced.
    bool responsive() const { return responsive_; }
    // The longest a synchronous evaluation waits for the process: the
    // watchdog's allowance, longer while the process is still starting.
    double evaluationLimit() const;
    // A synchronous wait gave up on the process: end it now.
    void giveUp();
    // The process was ended or crashed: a new generation from now on.
    void processEnded();

private:
    friend struct UIWebViewWPEWatchdogTick;
    void startWatchdog();
    void stopWatchdog();
    void tick();

    UIWebViewProcessGroup kind_;
    std::unique_ptr<UIWebViewWPESurface> anchorSurface_;
    WebKitWebView* anchor_ = nullptr;
    std::uint64_t generation_ = 1;
    bool responsive_ = true;
    bool started_ = false;  // the anchor's page loaded: the process runs
    unsigned watchdogSource_ = 0;
    std::shared_ptr<int> pingToken_;  // the outstanding ping (null: none)
    double pingSent_ = 0;
};

// The process-wide engine state.
namespace UIWebViewWPEContext {
// The web context (made, with the engine loaded and the protocols installed,
// on first use).
WebKitWebContext* context();
UIWebViewWPEGroup& group(UIWebViewProcessGroup kind);
// Real seconds on a monotonic clock.
double now();
// Runs the engine's context (not the run loop) until done() holds or
// `seconds` pass; true when done() held.
bool pumpUntil(const std::function<bool()>& done, double seconds);
}  // namespace UIWebViewWPEContext

// Frames of one engine view. The sink gets each frame as an image (main
// thread, from the engine context's dispatch).
class UIWebViewWPESurface {
public:
    using FrameSink = std::function<void(CGImageRef image, double scale)>;
    UIWebViewWPESurface(CGSize size, double scale, FrameSink sink);
    ~UIWebViewWPESurface();
    UIWebViewWPESurface(const UIWebViewWPESurface&) = delete;
    UIWebViewWPESurface& operator=(const UIWebViewWPESurface&) = delete;

    // A new view backend for a new engine view (the previous one belongs to
    // its view, which destroys it).
    void* makeViewBackend();
    void setSize(CGSize size, double scale);
    void setVisible(bool visible);
    // A pointer event at a point in points: motion (phase 1), press and motion
    // (0), release (2, 3).
    void pointer(CGPoint point, int phase);

private:
    struct Backend;
    static void exportShmBuffer(void* data, wpe_fdo_shm_exported_buffer* buffer);
    static int acknowledge(void* data);
    void scheduleAcknowledge();
    void applyState();

    std::shared_ptr<Backend> backend_;
    FrameSink sink_;
    CGSize size_;
    double scale_;
    bool visible_ = true;
    unsigned ackSource_ = 0;
    double lastAck_ = 0;
};

// The backing.
class UIWebViewWPE : public UIWebViewBacking {
public:
    UIWebViewWPE(UIWebViewBackingClient& client, UIWebViewProcessGroup group);
    ~UIWebViewWPE() override;
    static UIWebView::BackingFactory factory();

    void loadHTMLString(const std::string& html, const std::string& baseURL) override;
    void loadData(const Data& data, const std::string& MIMEType, const std::string& textEncodingName,
                  const std::string& baseURL) override;
    void loadRequest(const std::shared_ptr<NSURLRequest>& request) override;
    void stopLoading() override;
    void reload() override;
    void goBack() override;
    void goForward() override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    bool isLoading() const override { return loading_; }
    std::shared_ptr<NSURLRequest> request() const override { return request_; }
    std::optional<long> mainDocumentStatusCode() const override { return statusCode_; }
    std::string documentTitle() const override;
    std::string evaluateJavaScript(const std::string& script) override;
    void setViewSize(CGSize size, double scale) override;
    void setEngineVisible(bool visible) override;
    void setBackground(double red, double green, double blue, double alpha, bool opaque) override;
    void setScalesPageToFit(bool scales) override;
    void setMediaPlaybackRequiresUserAction(bool required) override;
    // Media plays inline whatever the setting: the engine has no other mode.
    void setAllowsInlineMediaPlayback(bool) override {}
    void setFailsLoadOnErrorStatus(bool fails) override { failsOnErrorStatus_ = fails; }
    void touch(CGPoint point, int phase) override;
    bool navigationIsUserGesture() const override { return deciding_ && decidingGesture_; }
    bool hasPage() const override { return view_ != nullptr; }

    // Navigation (UIWebViewWPENavigation.cpp); the signal handlers are its friends.
    struct Signals;
    friend struct Signals;

private:
    // Makes the engine view (on first need, again after its process ended)
    // with the geometry, visibility, background and settings told so far.
    void makeEngineView();
    void dropEngineView();
    // Before a host load: a view without an engine view, or of an ended
    // generation, gets a new one.
    WebKitWebView* viewForLoad(const std::string& URL);
    // A load the host asks for (public loads) and one the backing starts. It
    // ends any continuation: its start is a new load's even with the same URI
    // (the reload after the page's process ended before a continued attempt
    // started, which a busy machine's watchdog may do, would otherwise be
    // taken for that attempt and never reported).
    void hostNavigates() {
        ++hostNavigations_;
        continuations_ = 0;
        continuing_ = false;
    }
    void startRequest(const std::shared_ptr<NSURLRequest>& request);
    // Starts a load from text with base URL `base`, once its server's
    // certificate was fetched when a test authority needs it (UIWebViewWPETrust).
    void startFromText(const std::string& base, std::function<void()> start);
    void connectSignals();
    // The queue: engine callbacks append, the run loop delivers in order.
    void enqueue(std::function<void()> event);
    void drain();
    // Load state (queue delivery only).
    void loadStarted();
    void loadCommitted();
    void loadFinished();
    void loadFailed(const NSError& error);
    void failCurrentLoad(long code, const std::string& description);
    // The load's attempt failed in a way that asking again mends (a
    // certificate allowed for its host, a connection the network layer
    // cancelled by itself): the same load asks for the failing URI again (no
    // new decision, start or end), unless the host navigated since it started
    // (`since`: hostNavigations_ when it started): then it was replaced (-999).
    void continueLoad(const std::string& URI, std::uint64_t since);
    void processEnded();
    // A frame for the view (queue delivery): put into the layer unless it is
    // the engine's white of a new document (see the header's comment).
    void deliverFrame(CGImageRef image, double scale);
    bool holdsFrame(const CGImageRef& image);
    void newDocumentStarts();
    void cancelHold();  // drops the held frame and its grace
    void endHold();     // the held frame (if any) shows; later frames pass
    void showFrame(CGImageRef image, double scale);  // into the layer, a painted frame
    bool whiteBackground() const;  // the engine's white is the view's background
    void documentLoadEnds();
    void decide(WebKitPolicyDecision* decision, int decisionType);
    // A response decision: the main document's answer outside 200-299 is
    // refused (when the view asks for that) and its load failed; true then.
    bool refusedErrorResponse(WebKitPolicyDecision* decision);
    // With scalesPageToFit, a finished page wider than the view is zoomed out
    // until its width fits the view's (page zoom; 1 otherwise).
    void fitPageWidth();
    void startTimeout(double seconds);
    void cancelTimeout();

    UIWebViewBackingClient& client_;
    UIWebViewWPEGroup& group_;
    std::unique_ptr<UIWebViewWPESurface> surface_;
    WebKitWebView* view_ = nullptr;
    std::uint64_t generation_ = 0;
    std::vector<unsigned long> handlers_;
    struct Queue {
        std::deque<std::function<void()>> events;
        bool scheduled = false;
        bool draining = false;
        bool alive = true;
    };
    std::shared_ptr<Queue> queue_ = std::make_shared<Queue>();
    // URLs of loads the host started, oldest first (the engine does not say
    // which navigation is the main frame's).
    std::deque<std::string> hostLoads_;
    // URLs the delegate already allowed for this view (a new-window navigation
    // loaded here): their host decision is not asked again.
    std::deque<std::string> approved_;
    // The last load the host started, to start again in a new process.
    std::function<void()> lastLoad_;
    std::shared_ptr<NSURLRequest> request_;
    std::shared_ptr<NSURLRequest> pendingRequest_;  // of the last host load, until it starts
    std::optional<long> statusCode_;
    bool loading_ = false;
    bool committed_ = false;
    // The last host load has not started (nor been refused); whether it was allowed.
    bool hostLoadPending_ = false;
    bool hostLoadAllowed_ = false;
    // Host navigations asked for so far, and their count when the engine last
    // started a load (both as the engine's signals come).
    std::uint64_t hostNavigations_ = 0;
    std::uint64_t startedAt_ = 0;
    // The count after the host stopped the load under way. Once the host has
    // navigated again, that load's end (whenever the engine sends it) is
    // nobody's: the delegate by then is the new load's.
    std::optional<std::uint64_t> stoppedAt_;
    // At a load's end: whether the client hears it (not when the host stopped
    // it and loaded anew since). The stop is forgotten either way.
    bool endIsHeard() {
        const auto stopped = std::exchange(stoppedAt_, std::nullopt);
        return !stopped || *stopped == hostNavigations_;
    }
    // A load goes on after an allowed certificate: its new attempt (the next
    // start with this URI) is no new load, and the failed one's end no end.
    bool continuing_ = false;
    std::string continuingURI_;
    unsigned continuations_ = 0;  // of the current load
    bool deciding_ = false;  // while the client decides on a navigation
    bool decidingGesture_ = false;
    double timeout_ = 0;  // of the pending host request's main document; 0: none
    unsigned timeoutSource_ = 0;
    bool visible_ = true;
    bool mediaNeedsGesture_ = true;
    bool failsOnErrorStatus_ = false;
    bool scalesPageToFit_ = false;
    // A new document's frames are checked for the engine's white; its load
    // ended, and the frames that came since.
    bool newDocument_ = false;
    bool documentLoadEnded_ = false;
    unsigned framesSinceLoadEnded_ = 0;
    CGImageRef heldFrame_;  // the last frame held back, and its scale
    double heldScale_ = 1;
    unsigned holdSource_ = 0;  // the grace after the load's end
    // Long enough for a busy machine's engine to deliver the page's own first
    // frame after its load's end (250 ms let the held white through there).
    static constexpr unsigned kWhiteFrameGraceMs = 1000;
    struct Background {
        double red = 1, green = 1, blue = 1, alpha = 1;
    } background_;
    CGSize size_{};
    double scale_ = 1;
};
