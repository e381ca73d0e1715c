#pragma once
// Process set-up for the test executables and per-test temporary homes.
#include <functional>
#include <string>

namespace testsupport {

void prepareProcess(int argc, char** argv);

// A fresh application home for one test: QUORVANE_HOME points at a new temporary
// folder while the object lives; the folder is removed afterwards.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_;
};

// Runs the main run loop until the condition holds; false after the timeout.
bool runMainUntil(const std::function<bool()>& condition, double timeoutSeconds = 10);

// The path of the running test executable (for tests that start a second process).
std::string selfExecutable();

}  // namespace testsupport
