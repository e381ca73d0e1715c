// Protects every test executable's set-up: the process preparation, temporary application homes and waits on the main run loop.
#include "support/TestEnvironment.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/runloop/NSThread.h"
#include "platform/runloop/NSRunLoop.h"

namespace testsupport {

void prepareProcess(int, char**) {
    signal(SIGPIPE, SIG_IGN);
    NSThread::currentThread();  // the main thread adopts itself first
}

TempHome::TempHome() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quorvane-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    const char* prev = std::getenv("QUORVANE_HOME");
    hadPrevious_ = prev != nullptr;
    previous_ = prev ? prev : "";
    setenv("QUORVANE_HOME", path_.c_str(), 1);
}

TempHome::~TempHome() {
    if (hadPrevious_) setenv("QUORVANE_HOME", previous_.c_str(), 1);
    else unsetenv("QUORVANE_HOME");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

bool runMainUntil(const std::function<bool()>& condition, double timeoutSeconds) {
    return NSRunLoop::mainRunLoop()->runUntil(condition, timeoutSeconds);
}

std::string selfExecutable() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

}  // namespace testsupport
