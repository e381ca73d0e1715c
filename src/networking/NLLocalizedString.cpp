#include "networking/NLLocalizedString.h"

#include "platform/foundation/NSBundle.h"

std::string NLLocalizedString(const std::string& key) {
    std::string text = NSBundle::mainBundle()->localizedStringForKey(key, key, "Netline");
    return text.empty() ? key : text;
}
