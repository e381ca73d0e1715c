#include "adkit/mediation/AKMUtilities.h"

#include <utility>

#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKSession.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/requests/AKRequest.h"

namespace AKMUtilities {

namespace {
std::string reportsURL(const char* pathAndQuery) { return AKAdHosts::mediationReportsOrigin().description() + pathAndQuery; }
}  // namespace

NSURLPtr mediationURLFrom(const std::string& urlTemplate, const PingValues& values) {
    const std::pair<const char*, std::optional<std::string>> keywords[] = {
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
    std::string text = urlTemplate;
    for (const auto& [keyword, value] : keywords)
        if (value) ak_replaceAtQuotedKeywordPattern(text, keyword, *value);
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
        if (auto url = mediationURLFrom(*urlTemplate, values)) collection->trackURL(url);
    }
}

}  // namespace AKMUtilities
