#include "support/FuzzSupport.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

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
    // A fresh application home: parsers of the ad library keep statistics and
    // user defaults there, never in the user's own home.
    static std::string home = (std::filesystem::temp_directory_path() / "quorvane-fuzz-XXXXXX").string();
    if (::mkdtemp(home.data())) {
        ::setenv("QUORVANE_HOME", home.c_str(), 1);
        std::atexit([] {
            std::error_code ignored;  // a home that cannot be removed stays in the temporary folder
            std::filesystem::remove_all(home, ignored);
        });
    }
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
