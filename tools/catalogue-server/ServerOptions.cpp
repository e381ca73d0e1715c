#include "ServerOptions.h"

#include "CommandLine.h"
#include "PeerProcess.h"

#ifndef QUORVANE_DEFAULT_GENRES_PATH
#define QUORVANE_DEFAULT_GENRES_PATH "resources/MovieGenresData.json"
#endif

namespace catalogue {

namespace {

constexpr const char* kUsage =
    "usage: catalogue-server [options]\n"
    "  --host ADDRESS          address to listen on (default 127.0.0.1)\n"
    "  --port N                port, 0 for any free port (default 8080)\n"
    "  --port-file PATH        write the port there once listening\n"
    "  --genres PATH           genre list (default: the source tree's resources/MovieGenresData.json)\n"
    "  --seed N                seed of the generated catalogue (default 1)\n"
    "  --movies N              number of movies (default 120)\n"
    "  --shows N               number of TV shows (default 48)\n"
    "  --media-size BYTES      size of the largest stream file of a chapter (default 4194304)\n"
    "  --app-version TEXT      \"AppVersion\" of getversion (default 1.0)\n"
    "  --app-link URL          \"AppLink\" of getversion (default: this server's /update page)\n"
    "  --adv-type N            \"AdvType\" (default 0)\n"
    "  --adv-count N           \"AdvCount\" (default 3)\n"
    "  --adv-id-banner TEXT    \"AdvIDBaner\"\n"
    "  --adv-id-inter TEXT     \"AdvIDInter\"\n"
    "  --config-json PATH      serve that JSON object as the whole configuration instead\n"
    "  --exit-with-parent      stop when the starting process ends\n"
    "  --verbose               log every request to stderr\n"
    "  --control               serve the control endpoint on another port of 127.0.0.1 (printed)\n"
    "  --control-port N        its port, 0 for any free port (default 0; implies --control)\n"
    "  --control-port-file PATH  write its port there before the main port file (implies --control)\n";

}  // namespace

std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& arguments, std::string& message,
                                                bool& helpShown) {
    ServerOptions options;
    options.genresPath = QUORVANE_DEFAULT_GENRES_PATH;
    using peers::parseNumber;
    const peers::CommandLine line{
        kUsage,
        {
            {"--host", [&](const std::string& v) { options.host = v; return !v.empty(); }},
            {"--port", [&](const std::string& v) { return peers::parsePort(v, options.port); }},
            {"--port-file", [&](const std::string& v) { options.portFile = v; return !v.empty(); }},
            {"--genres", [&](const std::string& v) { options.genresPath = v; return !v.empty(); }},
            {"--seed", [&](const std::string& v) { return parseNumber<std::uint64_t>(v, options.catalogue.seed, 0, UINT64_MAX); }},
            {"--movies", [&](const std::string& v) { return parseNumber(v, options.catalogue.movieCount, 0, 3000); }},
            {"--shows", [&](const std::string& v) { return parseNumber(v, options.catalogue.showCount, 0, 3000); }},
            {"--media-size",
             [&](const std::string& v) { return parseNumber<std::uint64_t>(v, options.catalogue.mediaSize, 4096, 1ull << 30); }},
            {"--app-version", [&](const std::string& v) { options.appVersion = v; return true; }},
            {"--app-link", [&](const std::string& v) { options.appLink = v; return true; }},
            {"--adv-type", [&](const std::string& v) { return parseNumber(v, options.advType, INT32_MIN, INT32_MAX); }},
            {"--adv-count", [&](const std::string& v) { return parseNumber(v, options.advCount, INT32_MIN, INT32_MAX); }},
            {"--adv-id-banner", [&](const std::string& v) { options.advIdBanner = v; return true; }},
            {"--adv-id-inter", [&](const std::string& v) { options.advIdInter = v; return true; }},
            {"--config-json", [&](const std::string& v) { options.configJsonPath = v; return !v.empty(); }},
            {"--control-port",
             [&](const std::string& v) { options.control = true; return peers::parsePort(v, options.controlPort); }},
            {"--control-port-file",
             [&](const std::string& v) { options.control = true; options.controlPortFile = v; return !v.empty(); }},
        },
        {{"--exit-with-parent", &options.exitWithParent}, {"--verbose", &options.verbose}, {"--control", &options.control}},
    };
    if (!peers::parseCommandLine(line, arguments, message, helpShown)) return std::nullopt;
    return options;
}

std::optional<nlohmann::json> loadConfigurationFile(const std::string& path, std::string& error) {
    auto configuration = peers::readJsonFile(path, "configuration", error);
    if (configuration && !configuration->is_object()) {
        error = "the configuration " + path + " is not a JSON object";
        return std::nullopt;
    }
    return configuration;
}

}  // namespace catalogue
