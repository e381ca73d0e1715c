#include "platform/foundation/NSLocale.h"

#include <cstdlib>
#include <mutex>

#include "platform/foundation/NSString.h"

namespace {
std::mutex gMutex;
std::optional<std::vector<std::string>> gPinned;
}  // namespace

std::string NSLocale::languageTagFromPOSIXLocale(const std::string& name) {
    std::string tag = name.substr(0, name.find_first_of(".@"));
    if (tag.empty() || tag == "C" || tag == "POSIX") return {};
    return stringByReplacingOccurrencesOfString(tag, "_", "-");
}

std::vector<std::string> NSLocale::preferredLanguages() {
    {
        std::lock_guard lock(gMutex);
        if (gPinned) return *gPinned;
    }
    std::vector<std::string> languages;
    auto addTag = [&](const std::string& name) {
        auto tag = languageTagFromPOSIXLocale(name);
        if (tag.empty()) return;
        for (const auto& l : languages)
            if (l == tag) return;
        languages.push_back(tag);
    };
    const char* lcAll = std::getenv("LC_ALL");
    const char* lang = std::getenv("LANG");
    // LANGUAGE only counts when a locale is in force, as with gettext.
    const char* language = std::getenv("LANGUAGE");
    std::string inForce = lcAll && *lcAll ? lcAll : (lang ? lang : "");
    if (language && *language && !languageTagFromPOSIXLocale(inForce).empty())
        for (const auto& part : componentsSeparatedByString(language, ":")) addTag(part);
    if (languages.empty()) addTag(inForce);
    if (languages.empty()) languages.push_back("en");
    return languages;
}

void NSLocale::setPreferredLanguages(std::optional<std::vector<std::string>> languages) {
    std::lock_guard lock(gMutex);
    if (languages && languages->empty()) languages = std::vector<std::string>{"en"};
    gPinned = std::move(languages);
}
