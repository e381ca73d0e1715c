#include "adkit/requests/PMAActivityReporter.h"

#include "adkit/requests/PMACoreMetadata.h"
#include "platform/foundation/ProcessLifetime.h"

std::shared_ptr<PMAActivityReporter> PMAActivityReporter::sharedInstance() {
    static ProcessLifetime<std::shared_ptr<PMAActivityReporter>> shared(std::make_shared<PMAActivityReporter>());
    return *shared;
}

PMAActivityReporter::PMAActivityReporter() : PMAActivityReporter(PMACoreController::sharedInstance()) {}

PMAActivityReporter::PMAActivityReporter(std::shared_ptr<PMACoreController> controller)
    : controller_(std::move(controller)) {}

bool PMAActivityReporter::reportWithAdUnitID(const std::string& adUnitID, const Value& customParameters) {
    return reportWithRequest(*PMAActivityRequest::requestWithAdUnitID(adUnitID, std::nullopt, customParameters));
}

bool PMAActivityReporter::reportWithRequest(const PMAActivityRequest& request) {
    return controller_->reportActivityWithMetadata(PMACoreMetadata(), request);
}
