#include "adkit/mediation/AKMUtilities.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKSession.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/requests/AKRequest.h"
#include "platform/foundation/HexString.h"
#include "platform/foundation/NSString.h"

namespace AKMUtilities {

namespace {

std::string reportsURL(const char* pathAndQuery) { return AKAdHosts::mediationReportsOrigin().description() + pathAndQuery; }

using Keywords = std::pair<std::string_view, std::optional<std::string>>;

// Printable ASCII but what may not stand in a query as it is.
const std::string& queryAllowedCharacters() {
    static const std::string allowed = [] {
        std::string characters;
        for (char c = 0x21; c < 0x7F; ++c)
            if (std::string_view("\"<>\\^`{|}#").find(c) == std::string_view::npos) characters += c;
        return characters;
    }();
    return allowed;
}

// A value as it goes into a query: unchanged but for space, controls, non-ASCII bytes, '"<>\^`{|}#' and a "%"
// that does not open an escape, each percent-escaped.
std::string queryValue(std::string_view value) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = value.find('%'); at != std::string_view::npos; at = value.find('%', at + 1)) {
        if (at + 2 < value.size() && hexDigitValue(value[at + 1]) >= 0 && hexDigitValue(value[at + 2]) >= 0)
            continue;
        out += stringByAddingPercentEncodingWithAllowedCharacters(value.substr(from, at - from), queryAllowedCharacters());
        out += "%25";
        from = at + 1;
    }
    return out + stringByAddingPercentEncodingWithAllowedCharacters(value.substr(from), queryAllowedCharacters());
}

std::size_t endOfRun(std::string_view text, std::size_t at) {
    while (at < text.size() && text[at] == '@') ++at;
    return at;
}

// One pass over the template: a keyword after an odd run of "@" and before the next "@" is a placeholder; the
// run's last "@" and the first "@" after the keyword go, its value (escaped) comes in. Values are never searched
// for placeholders; an absent value leaves its placeholder as written.
std::string fill(std::string_view urlTemplate, const std::vector<Keywords>& keywords) {
    std::string out;
    std::size_t at = 0;
    while (at < urlTemplate.size()) {
        const std::size_t run = urlTemplate.find('@', at);
        out.append(urlTemplate.substr(at, run == std::string_view::npos ? run : run - at));
        if (run == std::string_view::npos) break;
        const std::size_t runEnd = endOfRun(urlTemplate, run);
        at = runEnd;
        const std::size_t close = urlTemplate.find('@', runEnd);
        const auto keyword = std::ranges::find(keywords, urlTemplate.substr(runEnd, close - runEnd), &Keywords::first);
        if ((runEnd - run) % 2 == 0 || close == std::string_view::npos || keyword == keywords.end()) {
            out.append(runEnd - run, '@');
            continue;
        }
        const std::size_t closeEnd = endOfRun(urlTemplate, close);
        at = closeEnd;
        if (!keyword->second) {
            out.append(urlTemplate.substr(run, closeEnd - run));
            continue;
        }
        out.append(runEnd - run - 1, '@');
        out += queryValue(*keyword->second);
        out.append(closeEnd - close - 1, '@');
    }
    return out;
}

}  // namespace

std::string filledTemplate(const std::string& urlTemplate, const PingValues& values) {
    const std::vector<Keywords> keywords = {
        {"gw_adlocid", values.adLocationID},
        {"gw_qdata", values.qData},
        {"gw_sdkver", AKRequest::sdkVersion()},
        {"gw_sessid", values.sessionID},
        {"gw_seqnum", values.sequenceNumber},
        {"gw_devid", std::string()},
        {"gw_adnetrefresh", std::string(values.adNetworkRefresh ? "1" : "0")},
        {"gw_adnetid", values.adNetworkID},
        {"gw_allocid", values.allocationID},
        {"gw_aec", values.exitCodes},
        {"gw_adt", values.durations},
    };
    return fill(urlTemplate, keywords);
}

NSURLPtr mediationURLFrom(const std::string& urlTemplate, const PingValues& values) {
    const std::string text = filledTemplate(urlTemplate, values);
    if (text.empty()) return nullptr;
    return NSURL::URLWithString(text);
}

std::string defaultClickTemplate() {
    return reportsURL("/clk?ad_loc=@gw_adlocid@&qdata=@gw_qdata@&ad_network_id=@gw_adnetid@&js=@gw_sdkver@"
                      "&session_id=@gw_sessid@&seq_num=@gw_seqnum@&nr=@gw_adnetrefresh@");
}

std::string defaultImpressionTemplate() {
    return reportsURL("/imp?ad_loc=@gw_adlocid@&qdata=@gw_qdata@&ad_network_id=@gw_adnetid@&js=@gw_sdkver@"
                      "&session_id=@gw_sessid@&seq_num=@gw_seqnum@&nr=@gw_adnetrefresh@&adt=@gw_adt@&aec=@gw_aec@");
}

std::string defaultNoFillTemplate() {
    return reportsURL("/nofill?ad_loc=@gw_adlocid@&qdata=@gw_qdata@&js=@gw_sdkver@&session_id=@gw_sessid@"
                      "&seq_num=@gw_seqnum@&aec=@gw_aec@&adt=@gw_adt@");
}

void trackMediationURLsFromTemplates(const PingReport& report) {
    Value templates = report.templates;
    if (templates.isNull() && report.defaultTemplate) templates = Value::array({*report.defaultTemplate});
    if (!templates.isArray()) return;
    auto application = AKApplication::sharedApplication();
    auto collection = AKClickTrackerCollection::sharedInstance();
    for (std::size_t i = 0; i < templates.count(); ++i) {
        const Value element = templates[i];
        const std::string* urlTemplate = element.string();
        if (!urlTemplate) continue;
        PingValues values{report.appKey,    report.refresh, report.allocationID, report.networkID,
                          report.qData.value_or(""), std::nullopt, application->nextSequenceNumberAsString(),
                          report.exitCodes, report.durations};
        if (const auto& session = application->currentSession()) values.sessionID = session->sessionIDAsString();
        // Only web URLs are pinged: a template of another scheme ("file:", ...) sends nothing.
        const auto url = mediationURLFrom(*urlTemplate, values);
        if (url && AKHTTPURLFromString(url->absoluteString())) collection->trackURL(url);
    }
}

}  // namespace AKMUtilities
