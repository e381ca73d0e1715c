#include "ServerOptions.h"

#include "CommandLine.h"

namespace adserver {

namespace {

constexpr const char* kUsage =
    "usage: ad-server [--http-port N] [--https-port N] [--port-file PATH] [--ca-out PATH]\n"
    "                 [--root DIR] [--units PATH] [--control] [--control-port N]\n"
    "                 [--exit-with-parent] [--verbose]\n";

}  // namespace

std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& arguments, std::string& message,
                                                bool& helpShown) {
    ServerOptions options;
    options.root = QUORVANE_AD_SERVER_DEFAULT_ROOT;
    const peers::CommandLine line{
        kUsage,
        {
            {"--http-port", [&](const std::string& v) { return peers::parsePort(v, options.httpPort); }},
            {"--https-port", [&](const std::string& v) { return peers::parsePort(v, options.httpsPort); }},
            {"--port-file", [&](const std::string& v) { options.portFile = v; return !v.empty(); }},
            {"--ca-out", [&](const std::string& v) { options.caOut = v; return !v.empty(); }},
            {"--root", [&](const std::string& v) { options.root = v; return !v.empty(); }},
            {"--units", [&](const std::string& v) { options.unitsPath = v; return !v.empty(); }},
            {"--control-port",
             [&](const std::string& v) { options.control = true; return peers::parsePort(v, options.controlPort); }},
        },
        {{"--exit-with-parent", &options.exitWithParent}, {"--verbose", &options.verbose}, {"--control", &options.control}},
    };
    if (!peers::parseCommandLine(line, arguments, message, helpShown)) return std::nullopt;
    return options;
}

}  // namespace adserver
