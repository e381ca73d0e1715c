#pragma once
// The command line of the ad server (see README.md for each option).
#include <optional>
#include <string>
#include <vector>

namespace adserver {

struct ServerOptions {
    int httpPort = 0;   // 0: any free port
    int httpsPort = 0;  // 0: any free port
    std::string portFile;
    std::string caOut;
    std::string root;       // the document root
    std::string unitsPath;  // empty: no units until control sets them
    bool control = false;
    int controlPort = 0;
    bool exitWithParent = false;
    bool verbose = false;
};

// Parses argv. Empty optional with `message` set on an error or for --help
// (`helpShown` tells which).
std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& arguments, std::string& message,
                                                bool& helpShown);

}  // namespace adserver
