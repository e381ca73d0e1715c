#pragma once
// The bad-ad report: the debug dialog's "Report" hands the ad's debug text to
// the shared instance's reportBadAd, which sends one POST of the pretty JSON
// {"debugHeader": text} ("application/json"; null for a missing text, an empty
// body when no JSON can be made) to the report endpoint, fire and forget.
//
// Endpoint: the user-defaults string "bad_ad_report_path" when present and not
// empty (used as it is), else "/s/reportAd" on the static-content server
// (AKAdHosts). Each report replaces the previous one as `connection`; the
// previous one loses its delegate but is not stopped (it is kept until it
// ends). Answers, errors and redirects are ignored (redirects followed).
// Destroying an instance stops its current connection.
//
// setSharedInstance installs another instance (tests record reports that
// way); null restores the library's. Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/foundation/AKURLConnection.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"

class AKBadAdUtil : public NSObject, public AKURLConnectionDelegate {
public:
    static constexpr const char* kReportPathKey = "bad_ad_report_path";
    static constexpr const char* kBuiltInReportPath = "/s/reportAd";

    static std::shared_ptr<AKBadAdUtil> sharedInstance();
    static void setSharedInstance(std::shared_ptr<AKBadAdUtil> instance);

    ~AKBadAdUtil() override;

    virtual void reportBadAd(const std::optional<std::string>& text);

    // The body for a debug text.
    static Data jsonData(const std::optional<std::string>& text);
    // The endpoint (null when none can be made).
    static NSURLPtr badAdURL();
    virtual std::shared_ptr<AKURLConnection> urlConnection();
    const std::shared_ptr<AKURLConnection>& connection() const { return connection_; }

    // AKURLConnectionDelegate: redirects followed, no cached copies, outcomes ignored.
    NSErrorPtr connectionShouldRedirectToURL(AKURLConnection&, const NSURLPtr&) override { return nullptr; }
    void connectionLoadDidReceiveRedirectResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>&) override {}
    bool connectionLoadShouldUseCachedResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>&) override {
        return false;
    }
    void connectionLoadDidReceiveCachedResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>&) override {}
    void connectionLoadDidFinish(AKURLConnection&, const std::optional<std::string>&, const NSURLPtr&) override {}
    void connectionLoadDidFail(AKURLConnection&, const NSErrorPtr&, long) override {}

private:
    std::shared_ptr<AKURLConnection> connection_;
    // Earlier reports still on their way, detached from this object.
    std::vector<std::shared_ptr<AKURLConnection>> detached_;
};
