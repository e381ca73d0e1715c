#include "CommandLine.h"

#include <optional>

namespace peers {

bool parseCommandLine(const CommandLine& line, const std::vector<std::string>& arguments, std::string& message,
                      bool& helpShown) {
    helpShown = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--help" || name == "-h") {
            helpShown = true;
            message = line.usage;
            return false;
        }
        if (const auto flag = line.flags.find(name); flag != line.flags.end()) {
            *flag->second = true;
            continue;
        }
        const auto setter = line.valued.find(name);
        if (setter == line.valued.end()) {
            message = "unknown option " + name + "\n" + line.usage;
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                message = "option " + name + " needs a value\n";
                return false;
            }
            inlineValue = arguments[++i];
        }
        if (!setter->second(*inlineValue)) {
            message = "bad value \"" + *inlineValue + "\" for " + name + "\n";
            return false;
        }
    }
    return true;
}

}  // namespace peers
