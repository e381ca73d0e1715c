#include "support/FuzzSupport.h"

#include <csignal>

#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSThread.h"

namespace fuzz {

void setUpProcess() {
    std::signal(SIGPIPE, SIG_IGN);
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
