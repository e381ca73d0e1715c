#pragma once
// The life of a local peer's process: the signals that stop it, waited for on the main
// thread (never taken by a handler), the stop that follows the process that started it,
// files others read (port files) written whole, and JSON files read.
#include <signal.h>
#include <sys/types.h>

#include <initializer_list>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace peers {

// Blocks SIGINT, SIGTERM, SIGHUP and the `extra` signals in this thread (every thread made
// later inherits the mask) after setting their dispositions back to the default (a shell
// starting a background job ignores SIGINT, and an ignored signal is thrown away rather
// than waited for); ignores SIGPIPE. The set to give sigwait.
sigset_t blockStopSignals(std::initializer_list<int> extra = {});

// Asks for SIGTERM when the parent `parent` ends; false when it has ended already.
[[nodiscard]] bool followParent(pid_t parent);

// Writes beside the target and renames over it, so a reader never sees half of it.
[[nodiscard]] bool writeFileAtomically(const std::string& path, const std::string& text);

// The file's JSON (discarded when it is no JSON); null with `error` ("cannot read the
// <what> <path>") when it cannot be read.
std::optional<nlohmann::json> readJsonFile(const std::string& path, const std::string& what, std::string& error);

}  // namespace peers
