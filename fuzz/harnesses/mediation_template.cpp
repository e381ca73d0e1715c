// Mediation ping templates filled with arbitrary values. Input: one control byte (bit 0: a network refresh;
// bits 1-7 and the next byte: which of the eight values are absent), then lines: the template, and the values in
// the order of PingValues. Whatever the input: a URL comes exactly when the filled text is non-empty and parses;
// text without "@" is left as it is; a template that is a URL with every "@" in its query (and no "#") still is
// one after filling, whatever the values; and filling with values that name each other's placeholders, twice,
// gives the template back, since a value is never searched for placeholders.
#include <array>

#include "Harnesses.h"
#include "adkit/mediation/AKMUtilities.h"
#include "platform/foundation/NSURL.h"
#include "support/FuzzSupport.h"

namespace fuzz::mediation_template {
namespace {

using AKMUtilities::PingValues;
using Slot = std::optional<std::string> PingValues::*;

// The values a template can be given, in input order.
constexpr std::array<Slot, 8> kSlots = {&PingValues::adLocationID, &PingValues::allocationID,
                                        &PingValues::adNetworkID,  &PingValues::qData,
                                        &PingValues::sessionID,    &PingValues::sequenceNumber,
                                        &PingValues::exitCodes,    &PingValues::durations};

// Pairs of keywords with values the input sets, each given the other's placeholder.
PingValues swappedPlaceholders() {
    PingValues values;
    values.adLocationID = "@gw_qdata@";
    values.qData = "@gw_adlocid@";
    values.sessionID = "@gw_seqnum@";
    values.sequenceNumber = "@gw_sessid@";
    values.adNetworkID = "@gw_allocid@";
    values.allocationID = "@gw_adnetid@";
    values.exitCodes = "@gw_adt@";
    values.durations = "@gw_aec@";
    return values;
}

bool mentionsFixedKeyword(const std::string& text) {
    for (const char* fixed : {"gw_sdkver", "gw_devid", "gw_adnetrefresh"})
        if (text.find(fixed) != std::string::npos) return true;
    return false;
}

// A URL whose placeholders all stand in its query.
bool placeholdersOnlyInQuery(const std::string& urlTemplate) {
    const auto query = urlTemplate.find('?');
    const auto at = urlTemplate.find('@');
    return query != std::string::npos && (at == std::string::npos || query < at) &&
           urlTemplate.find('#') == std::string::npos && NSURL::URLWithString(urlTemplate) != nullptr;
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    const unsigned control = input.take();
    const unsigned absent = (control >> 1) | (static_cast<unsigned>(input.take()) << 7);
    std::string_view rest = input.rest();
    const auto line = [&rest] {
        const auto end = rest.find('\n');
        std::string text(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        return text;
    };
    const std::string urlTemplate = line();
    PingValues values;
    values.adNetworkRefresh = (control & 1) != 0;
    for (std::size_t i = 0; i < kSlots.size(); ++i) {
        std::string value = line();
        if ((absent & (1u << i)) == 0) values.*kSlots[i] = std::move(value);
    }

    const std::string text = AKMUtilities::filledTemplate(urlTemplate, values);
    const auto url = AKMUtilities::mediationURLFrom(urlTemplate, values);
    check((url != nullptr) == (!text.empty() && NSURL::URLWithString(text) != nullptr),
          "a URL that is not the parsed filled text");
    if (urlTemplate.find('@') == std::string::npos) check(text == urlTemplate, "text without placeholders changed");
    if (placeholdersOnlyInQuery(urlTemplate)) check(url != nullptr, "values that broke a URL's query");
    if (!mentionsFixedKeyword(urlTemplate)) {
        const PingValues swapped = swappedPlaceholders();
        check(AKMUtilities::filledTemplate(AKMUtilities::filledTemplate(urlTemplate, swapped), swapped) == urlTemplate,
              "a value searched for placeholders");
    }
    return 0;
}

}  // namespace fuzz::mediation_template
