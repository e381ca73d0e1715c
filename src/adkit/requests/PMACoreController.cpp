#include "adkit/requests/PMACoreController.h"

#include <optional>

#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKMacros.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

// The object's JSON, or nullopt after the publisher log line saying why not.
std::optional<std::string> reportArgument(const AKJSONSerializable& object, const char* role) {
    std::string failure;
    auto text = object.JSONStringValue(&failure);
    if (!text) AKMacros::pubLog(std::string("Activity not reported: the ") + role + " cannot be written as JSON (" +
                                failure + ").");
    return text;
}

}  // namespace

std::shared_ptr<PMACoreController> PMACoreController::sharedInstance() {
    static ProcessLifetime<std::shared_ptr<PMACoreController>> shared(init());
    return *shared;
}

std::shared_ptr<PMACoreController> PMACoreController::init() {
    return initWithURLString(AKAdHosts::staticContentOrigin().URLString(kControllerPath), kFallbackPage);
}

std::shared_ptr<PMACoreController> PMACoreController::initWithURLString(const std::string& URLString,
                                                                        const std::string& fallbackString) {
    return std::make_shared<PMACoreController>(
        AKJSContainer::initWithURL(NSURL::URLWithString(URLString), dataFromString(fallbackString)));
}

PMACoreController::PMACoreController(std::shared_ptr<AKJSContainer> container) : container_(std::move(container)) {}

bool PMACoreController::reportActivityWithMetadata(const AKJSONSerializable& metadata,
                                                   const AKJSONSerializable& request) {
    const auto metadataJSON = reportArgument(metadata, "metadata");
    if (!metadataJSON) return false;
    const auto requestJSON = reportArgument(request, "request");
    if (!requestJSON) return false;
    // False only means the call waits for the page; it runs once the page has loaded.
    (void)container_->invokeJavaScriptFromString(std::string(kReportFunction) + "(" + *metadataJSON + "," +
                                                 *requestJSON + ")");
    return true;
}

std::string PMACoreController::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    return container_->stringByEvaluatingJavaScriptFromString(script);
}
