#pragma once
// Small helpers of the core tests: running reference tools, files and hex text.
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"

namespace coretest {

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output
};

// Runs a shell command line; standard error goes to the test's own.
CommandResult runCommand(const std::string& commandLine);
std::string shellQuote(const std::string& text);

void writeFile(const std::string& path, const Data& bytes);
std::optional<Data> readFile(const std::string& path);

std::string hex(const Data& bytes);
std::string upper(std::string text);

// What the block writes to the process's standard output.
std::string captureStandardOutput(const std::function<void()>& block);

// Deterministic pseudo-random bytes (a fixed generator, so failures reproduce).
Data patternBytes(std::size_t count, unsigned seed);

}  // namespace coretest
