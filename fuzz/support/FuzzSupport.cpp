#include "support/FuzzSupport.h"

#include <csignal>
#include <cstdlib>

#include "platform/foundation/NSLog.h"
#include "platform/runloop/NSThread.h"

namespace fuzz {

void setUpProcess() {
    std::signal(SIGPIPE, SIG_IGN);
    // Every load goes to the loopback server. A reply may redirect a downloader
    // anywhere; a proxy that nobody listens on keeps such a load on this machine
    // (it fails with "cannot connect") while 127.0.0.1 is reached directly.
    ::setenv("all_proxy", "http://127.0.0.1:9", 1);
    ::setenv("http_proxy", "http://127.0.0.1:9", 1);
    ::setenv("https_proxy", "http://127.0.0.1:9", 1);
    ::setenv("no_proxy", "127.0.0.1", 1);
    NSThread::currentThread();  // the main thread adopts itself first
    setLogHook([](const std::string&) {});
}

std::pair<std::string_view, std::string_view> splitAt(const std::uint8_t* data, std::size_t size, char separator) {
    std::string_view all(reinterpret_cast<const char*>(data), size);
    auto at = all.find(separator);
    if (at == std::string_view::npos) return {all, {}};
    return {all.substr(0, at), all.substr(at + 1)};
}

}  // namespace fuzz
