// Page messages: AKNotification made from arbitrary URL text. A message exists
// only for an "amsg" URL (any case) and has a name; its name and parameters
// written back into a message URL, every byte but the unreserved ones
// escaped, read as the same message; a message made from its own name and
// parameters equals it.
#include "Harnesses.h"
#include "adkit/rendering/AKNotification.h"
#include "platform/foundation/NSString.h"
#include "support/FuzzSupport.h"

namespace fuzz::page_message {
namespace {

std::string escaped(const std::string& text) {
    return stringByAddingPercentEncodingWithAllowedCharacters(text, URLUnreservedCharacters());
}

// The message written back as an amsg URL.
std::string written(const AKNotification& note) {
    std::string URL = "amsg://x/" + escaped(note.name());
    std::string query;
    for (const auto& [key, value] : note.parameters()) query += (query.empty() ? "" : "&") + escaped(key) + "=" + escaped(value);
    return query.empty() ? URL : URL + "?" + query;
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const bool isMessageURL = AKNotification::isNotificationURL(text);
    auto note = AKNotification::initWithNotificationURL(text);
    if (!note) return 0;
    check(isMessageURL, "a message from a URL that is not an amsg URL");
    check(!note->name().empty(), "a message without a name");
    (void)note->description();
    auto again = AKNotification::initWithNotificationURL(written(*note));
    check(again != nullptr, "a message written back is no message");
    check(again->name() == note->name(), "a message written back has another name");
    check(again->parameters() == note->parameters(), "a message written back has other parameters");
    auto made = AKNotification::initWithName(note->name(), note->parameters());
    check(made && made->name() == note->name() && made->parameters() == note->parameters(),
          "a message made from its name and parameters differs");
    return 0;
}

}  // namespace fuzz::page_message
