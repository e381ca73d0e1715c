#pragma once
// The command line of a local peer: "--name value" or "--name=value" options, flags
// without a value, and --help (-h). Each valued option has a setter that stores the text
// and says whether it is acceptable.
#include <charconv>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace peers {

using OptionSetter = std::function<bool(const std::string&)>;

struct CommandLine {
    std::string usage;                           // shown for --help and after an unknown option
    std::map<std::string, OptionSetter> valued;  // options that take a value
    std::map<std::string, bool*> flags;          // options that set a flag
};

// Runs every option through its setter or flag. False with `message` set on an error or
// for --help (`helpShown` tells which, and `message` is then the usage).
[[nodiscard]] bool parseCommandLine(const CommandLine& line, const std::vector<std::string>& arguments,
                                    std::string& message, bool& helpShown);

// The whole text as a number in [low, high], stored in `value`; false leaves it alone.
template <typename Number>
bool parseNumber(const std::string& text, Number& value, Number low, Number high) {
    Number parsed{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

inline bool parsePort(const std::string& text, int& port) { return parseNumber(text, port, 0, 65535); }

}  // namespace peers
