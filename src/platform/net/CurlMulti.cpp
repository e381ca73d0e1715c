#include "platform/net/CurlMulti.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cassert>
#include <cstdint>
#include <mutex>

#include "platform/foundation/NSLog.h"
#include "platform/net/CurlTransfer.h"
#include "platform/net/NSURLConnectionBacking.h"

namespace curlbacking {

namespace {

const char kMultiKey = 0;

[[nodiscard]] bool globalInit() {
    static std::once_flag once;
    static CURLcode result = CURLE_FAILED_INIT;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result == CURLE_OK;
}

// The answer of a multi-handle callback: 0 when `body` ran, -1 (curl fails the
// transfers concerned) when it threw, as nothing may cross into libcurl.
template <class F>
int callbackAnswer(const char* what, F&& body) noexcept {
    try {
        body();
        return 0;
    } catch (const std::exception& e) {
        try {
            NSLogLine(std::string("URL loading: ") + what + " failed: " + e.what());
        } catch (...) {
            // The line is lost; the answer is not.
        }
    } catch (...) {
    }
    return -1;
}

}  // namespace

Data BufferPool::take(std::size_t bytes) {
    if (spare_.empty()) {
        Data buffer;
        buffer.reserve(bytes);
        return buffer;
    }
    Data buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
}

void BufferPool::give(Data&& buffer) {
    // Small buffers cost little to make; oversized ones are given back to the system.
    if (spare_.size() >= kMaxBuffers || buffer.capacity() < kMinBuffer || buffer.capacity() > 2 * kMaxCoalescedBody)
        return;
    buffer.clear();
    spare_.push_back(std::move(buffer));
}

std::shared_ptr<Multi> Multi::forRunLoop(const std::shared_ptr<NSRunLoop>& loop) {
    if (auto existing = loop->associated<Multi>(&kMultiKey)) return existing;
    auto multi = std::make_shared<Multi>(Private{}, loop);
    if (!multi->init()) return nullptr;
    loop->setAssociatedObject(&kMultiKey, multi);
    return multi;
}

Multi::Multi(Private, const std::shared_ptr<NSRunLoop>& loop) : loop_(loop) {}

bool Multi::init() {
    if (!globalInit()) return false;
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ < 0) return false;
    multi_ = curl_multi_init();
    return multi_ && curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &Multi::socketCallback) == CURLM_OK &&
           curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this) == CURLM_OK &&
           curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &Multi::timerCallback) == CURLM_OK &&
           curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this) == CURLM_OK;
}

Multi::~Multi() {
    for (auto& [transfer, connection] : active_)
        if (transfer->easy) curl_multi_remove_handle(multi_, transfer->easy);  // freed by its transfer
    for (CURL* easy : idle_) curl_easy_cleanup(easy);
    if (auto loop = loop_.lock()) {
        for (auto& [fd, socket] : sockets_)
            for (auto id : socket.ids) loop->removeFileDescriptor(id);
        for (auto id : timerIds_) loop->removeFileDescriptor(id);
    }
    if (multi_) curl_multi_cleanup(multi_);
    if (timerFd_ >= 0) close(timerFd_);
}

void Multi::assertOnLoopThread() const {
    assert(std::this_thread::get_id() == thread_ && "a multi handle is used on its run loop's thread only");
}

void Multi::addMode(const NSRunLoopMode& mode) {
    assertOnLoopThread();
    if (!modes_.insert(mode).second) return;
    auto loop = loop_.lock();
    if (!loop) return;
    for (auto& [fd, socket] : sockets_) socket.ids.push_back(addSource(*loop, fd, socket.events, mode));
    timerIds_.push_back(addTimerSource(*loop, mode));
}

CURL* Multi::takeHandle() {
    assertOnLoopThread();
    if (idle_.empty()) return curl_easy_init();
    CURL* easy = idle_.back();
    idle_.pop_back();
    return easy;
}

CURLMcode Multi::add(const NSURLConnectionPtr& connection, NSURLConnection::Transfer* transfer) {
    assertOnLoopThread();
    active_[transfer] = connection;
    CURLMcode code = curl_multi_add_handle(multi_, transfer->easy);
    if (code != CURLM_OK) return code;
    // Adding asks for a timer of 0 ms; acting now (no curl callback is running
    // here) sends the request without waiting for that timer to fire. Loads
    // with news are handed over in the next pass: this may run inside the
    // delivery of another event of the same load.
    auto keep = shared_from_this();
    int running = 0;
    CURLMcode kicked = curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
    if (kicked != CURLM_OK)
        NSLogLine(std::string("URL loading: socket action failed: ") + curl_multi_strerror(kicked));
    for (auto& pending : collectFinished()) NSURLConnectionBacking::postDrain(pending);
    return CURLM_OK;
}

void Multi::detach(CURL* easy) {
    assertOnLoopThread();
    // A handle that was never added answers CURLM_BAD_EASY_HANDLE: nothing to take out.
    (void)curl_multi_remove_handle(multi_, easy);
    // A load that never reached a server (its name lookup failed) leaves libcurl's
    // receive buffer on the handle, which then refuses the next load's buffer size:
    // such a handle is not kept.
    char* address = nullptr;
    const bool reachedServer = curl_easy_getinfo(easy, CURLINFO_PRIMARY_IP, &address) == CURLE_OK && address &&
                               *address != '\0';
    if (!reachedServer || idle_.size() >= kMaxIdleHandles) return curl_easy_cleanup(easy);
    // Back to the defaults: no option of this load (its callbacks' data, its
    // header list, its error buffer) outlives it.
    curl_easy_reset(easy);
    idle_.push_back(easy);
}

void Multi::forget(NSURLConnection::Transfer* transfer) {
    assertOnLoopThread();
    active_.erase(transfer);
}

NSRunLoop::SourceId Multi::addSource(NSRunLoop& loop, int fd, short events, const NSRunLoopMode& mode) {
    std::weak_ptr<Multi> weak = weak_from_this();
    return loop.addFileDescriptor(
        fd, events,
        [weak](int readyFd, short revents) {
            if (auto self = weak.lock()) self->onSocket(readyFd, revents);
        },
        mode);
}

int Multi::socketCallback(CURL*, curl_socket_t fd, int what, void* user, void*) {
    auto* self = static_cast<Multi*>(user);
    return callbackAnswer("watching a socket", [&] { self->watch(fd, what); });
}

void Multi::watch(curl_socket_t fd, int what) {
    assertOnLoopThread();
    auto loop = loop_.lock();
    if (!loop) return;
    if (what == CURL_POLL_REMOVE) {
        auto it = sockets_.find(fd);
        if (it != sockets_.end()) {
            for (auto id : it->second.ids) loop->removeFileDescriptor(id);
            sockets_.erase(it);
        }
        return;
    }
    short events = 0;
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= POLLIN;
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= POLLOUT;
    auto it = sockets_.find(fd);
    if (it == sockets_.end()) {
        Socket socket;
        socket.events = events;
        for (const auto& mode : modes_) socket.ids.push_back(addSource(*loop, fd, events, mode));
        sockets_[fd] = std::move(socket);
    } else if (it->second.events != events) {
        it->second.events = events;
        for (auto id : it->second.ids) loop->setFileDescriptorEvents(id, events);
    }
}

int Multi::timerCallback(CURLM*, long timeoutMs, void* user) {
    auto* self = static_cast<Multi*>(user);
    return callbackAnswer("scheduling the transfer timer", [&] { self->schedule(timeoutMs); });
}

// Curl asks for its timer again and again (often for "now"): the one timerfd
// is re-armed each time; 0 ms arms it for the next pass.
void Multi::schedule(long timeoutMs) {
    assertOnLoopThread();
    itimerspec spec{};
    if (timeoutMs >= 0) {
        spec.it_value.tv_sec = timeoutMs / 1000;
        spec.it_value.tv_nsec = (timeoutMs % 1000) * 1000000L;
        if (timeoutMs == 0) spec.it_value.tv_nsec = 1;  // an all-zero value would disarm it
    }
    timerfd_settime(timerFd_, 0, &spec, nullptr);
}

NSRunLoop::SourceId Multi::addTimerSource(NSRunLoop& loop, const NSRunLoopMode& mode) {
    std::weak_ptr<Multi> weak = weak_from_this();
    return loop.addFileDescriptor(
        timerFd_, POLLIN,
        [weak](int fd, short) {
            std::uint64_t expirations = 0;
            if (read(fd, &expirations, sizeof expirations) != sizeof expirations) return;  // re-armed meanwhile
            if (auto self = weak.lock()) self->onTimeout();
        },
        mode);
}

void Multi::onSocket(int fd, short revents) {
    int mask = 0;
    if (revents & (POLLIN | POLLHUP)) mask |= CURL_CSELECT_IN;
    if (revents & POLLOUT) mask |= CURL_CSELECT_OUT;
    if (revents & (POLLERR | POLLNVAL)) mask |= CURL_CSELECT_ERR;
    act(fd, mask);
}

void Multi::onTimeout() { act(CURL_SOCKET_TIMEOUT, 0); }

void Multi::act(curl_socket_t fd, int mask) {
    assertOnLoopThread();
    auto keep = shared_from_this();
    int running = 0;
    CURLMcode code = curl_multi_socket_action(multi_, fd, mask, &running);
    // A socket curl closed before its source went away is no fault.
    if (code != CURLM_OK && code != CURLM_BAD_SOCKET)
        NSLogLine(std::string("URL loading: socket action failed: ") + curl_multi_strerror(code));
    afterAction();
}

void Multi::afterAction() {
    // The delegate may end or start loads while events are handed over.
    for (auto& connection : collectFinished()) NSURLConnectionBacking::drain(connection);
}

std::vector<NSURLConnectionPtr> Multi::collectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        char* owner = nullptr;
        if (curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner) != CURLE_OK) continue;
        auto it = active_.find(reinterpret_cast<NSURLConnection::Transfer*>(owner));
        if (it == active_.end()) continue;
        CURLcode code = message->data.result;
        (void)curl_multi_remove_handle(multi_, message->easy_handle);  // a handle that is done leaves as it is
        it->first->curlDone = true;
        it->first->push({NSURLConnection::Transfer::Event::Kind::Done, {}, {}, 0, 0, 0, code});
    }
    std::vector<NSURLConnectionPtr> pending;
    for (auto& [transfer, connection] : active_)
        if (!transfer->events.empty()) pending.push_back(connection);
    return pending;
}

}  // namespace curlbacking
