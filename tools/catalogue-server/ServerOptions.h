#pragma once
// The command line of the catalogue server.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Catalogue.h"

namespace catalogue {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 8080;  // 0: any free port
    std::string portFile;
    std::string genresPath;
    bool exitWithParent = false;
    bool verbose = false;
    // The control endpoint (see ControlServer.h): off unless asked for.
    bool control = false;
    int controlPort = 0;  // 0: any free port
    std::string controlPortFile;
    CatalogueSettings catalogue;

    // The server configuration the "getversion" action answers with.
    std::string appVersion = "1.0";
    std::string appLink;  // empty: the server's own /update page
    int advType = 0;
    int advCount = 3;
    std::string advIdBanner = "quorvane-banner-0001";
    std::string advIdInter = "quorvane-interstitial-0001";
    // --config-json: a JSON object served as the whole configuration instead
    // of the one made from the options above (nulls and odd types included,
    // as a misconfigured backend would send them).
    std::string configJsonPath;
    std::optional<nlohmann::json> configuration;
};

// Reads the --config-json file: a JSON object, else nullopt with `error` set.
std::optional<nlohmann::json> loadConfigurationFile(const std::string& path, std::string& error);

// Parses argv. Empty optional with `message` set on an error or for --help
// (`helpShown` tells which).
std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& arguments, std::string& message,
                                                bool& helpShown);

}  // namespace catalogue
