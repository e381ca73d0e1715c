#pragma once
// Mediation ping URLs: filling one URL template, and pinging a list of them.
//
// A template holds placeholders "@keyword@" (a run of "@" before the keyword
// of even length escapes it; the run's last "@" and the first "@" after the
// keyword belong to the placeholder, the other "@" stay). The keywords:
// gw_adlocid, gw_qdata, gw_sdkver, gw_sessid, gw_seqnum, gw_devid (always
// empty), gw_adnetrefresh ("1"/"0"), gw_adnetid, gw_allocid, gw_aec, gw_adt.
// The template is filled in one pass from left to right: a value is never
// searched for placeholders, so a qdata holding "@gw_sessid@" arrives as sent.
// Values go in unescaped but for what cannot stand in a query: space,
// controls, non-ASCII bytes, '"', '<', '>', '\', '^', '`', '{', '|', '}', '#'
// and a "%" that does not open a "%XX" escape are percent-escaped (%XX upper
// case). An absent value leaves its placeholder as it is; "@@" is not turned
// back into "@". An empty result, or text that is no URL, gives no URL.
//
// The three default templates point at the mediation reporting server
// (AKAdHosts::mediationReportsOrigin(), read at each call).
//
// Pinging runs on the main thread, through the shared AKClickTrackerCollection.
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/foundation/NSURL.h"

namespace AKMUtilities {

struct PingValues {
    std::optional<std::string> adLocationID = std::nullopt;
    bool adNetworkRefresh = false;
    std::optional<std::string> allocationID = std::nullopt;
    std::optional<std::string> adNetworkID = std::nullopt;
    std::optional<std::string> qData = std::nullopt;
    std::optional<std::string> sessionID = std::nullopt;
    std::optional<std::string> sequenceNumber = std::nullopt;
    std::optional<std::string> exitCodes = std::nullopt;
    std::optional<std::string> durations = std::nullopt;
};

// The filled template as text.
std::string filledTemplate(const std::string& urlTemplate, const PingValues& values);
// mediationURLFrom:adLocationID:...: the filled template as a URL, or null.
NSURLPtr mediationURLFrom(const std::string& urlTemplate, const PingValues& values);

std::string defaultClickTemplate();
std::string defaultImpressionTemplate();
std::string defaultNoFillTemplate();

// trackMediationURLsFromTemplates:defaultTemplate:...: a null list takes the
// default (when given); an empty list pings nothing; elements that are not
// text are skipped. Each URL draws the next sequence number and reads the
// current session ID from the shared AKApplication. Only http and https URLs
// (with a host) are pinged.
struct PingReport {
    Value templates = Value();
    std::optional<std::string> defaultTemplate = std::nullopt;
    std::optional<std::string> networkID = std::nullopt;
    std::optional<std::string> allocationID = std::nullopt;
    std::optional<std::string> qData = std::nullopt;
    std::optional<std::string> appKey = std::nullopt;
    bool refresh = false;
    std::optional<std::string> durations = std::nullopt;
    std::optional<std::string> exitCodes = std::nullopt;
};
void trackMediationURLsFromTemplates(const PingReport& report);

}  // namespace AKMUtilities
