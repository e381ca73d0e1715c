#include "adkit/rendering/AKBadAdUtil.h"

#include <algorithm>

#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
std::shared_ptr<AKBadAdUtil>& installed() {
    static ProcessLifetime<std::shared_ptr<AKBadAdUtil>> shared;
    return *shared;
}
}  // namespace

std::shared_ptr<AKBadAdUtil> AKBadAdUtil::sharedInstance() {
    QV_ASSERT_MAIN_THREAD();
    auto& instance = installed();
    if (!instance) instance = std::make_shared<AKBadAdUtil>();
    return instance;
}

void AKBadAdUtil::setSharedInstance(std::shared_ptr<AKBadAdUtil> instance) {
    QV_ASSERT_MAIN_THREAD();
    installed() = std::move(instance);
}

AKBadAdUtil::~AKBadAdUtil() {
    if (connection_) connection_->cancel();
}

Data AKBadAdUtil::jsonData(const std::optional<std::string>& text) {
    const Value document{{"debugHeader", text ? Value(*text) : Value()}};
    const auto json = ak_JSONStringPretty(document, true);
    if (!json) return {};
    return Data(json->begin(), json->end());
}

NSURLPtr AKBadAdUtil::badAdURL() {
    const auto configured = NSUserDefaults::standardUserDefaults()->stringForKey(kReportPathKey);
    if (configured && !configured->empty()) return NSURL::URLWithString(*configured);
    return NSURL::URLWithString(AKAdHosts::staticContentOrigin().URLString(kBuiltInReportPath));
}

std::shared_ptr<AKURLConnection> AKBadAdUtil::urlConnection() { return std::make_shared<AKURLConnection>(); }

void AKBadAdUtil::reportBadAd(const std::optional<std::string>& text) {
    QV_ASSERT_MAIN_THREAD();
    const NSURLPtr url = badAdURL();
    if (!url) return;
    const Data body = jsonData(text);
    std::erase_if(detached_, [](const auto& earlier) { return !earlier->isInProgress(); });
    if (connection_) {
        connection_->clearDelegate();
        if (connection_->isInProgress()) detached_.push_back(connection_);
    }
    connection_ = urlConnection();
    NSErrorPtr error;
    if (!connection_->startWithURL(url, body, std::string("application/json"), self<AKBadAdUtil>(), &error))
        NSLog("Bad-ad report not sent: %@", error ? error->localizedDescription() : std::string("no connection"));
}
