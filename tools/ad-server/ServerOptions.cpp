#include "ServerOptions.h"

#include <charconv>
#include <functional>
#include <map>

namespace adserver {

namespace {

constexpr const char* kUsage =
    "usage: ad-server [--http-port N] [--https-port N] [--port-file PATH] [--ca-out PATH]\n"
    "                 [--root DIR] [--units PATH] [--control] [--control-port N]\n"
    "                 [--exit-with-parent] [--verbose]\n";

bool parsePort(const std::string& text, int& port) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 65535) return false;
    port = value;
    return true;
}

}  // namespace

std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& arguments, std::string& message,
                                                bool& helpShown) {
    ServerOptions options;
    options.root = QUORVANE_AD_SERVER_DEFAULT_ROOT;
    helpShown = false;
    const std::map<std::string, std::function<bool(const std::string&)>> valued{
        {"--http-port", [&](const std::string& v) { return parsePort(v, options.httpPort); }},
        {"--https-port", [&](const std::string& v) { return parsePort(v, options.httpsPort); }},
        {"--port-file", [&](const std::string& v) { options.portFile = v; return !v.empty(); }},
        {"--ca-out", [&](const std::string& v) { options.caOut = v; return !v.empty(); }},
        {"--root", [&](const std::string& v) { options.root = v; return !v.empty(); }},
        {"--units", [&](const std::string& v) { options.unitsPath = v; return !v.empty(); }},
        {"--control-port",
         [&](const std::string& v) { options.control = true; return parsePort(v, options.controlPort); }},
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--help" || name == "-h") {
            helpShown = true;
            message = kUsage;
            return std::nullopt;
        }
        if (name == "--exit-with-parent" || name == "--verbose" || name == "--control") {
            (name == "--verbose" ? options.verbose : name == "--control" ? options.control : options.exitWithParent) = true;
            continue;
        }
        const auto setter = valued.find(name);
        if (setter == valued.end()) {
            message = "unknown option " + name + "\n" + kUsage;
            return std::nullopt;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                message = "option " + name + " needs a value\n";
                return std::nullopt;
            }
            inlineValue = arguments[++i];
        }
        if (!setter->second(*inlineValue)) {
            message = "bad value \"" + *inlineValue + "\" for " + name + "\n";
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace adserver
