#pragma once
// The publisher's entry for activity reports: builds the request, pairs it
// with fresh PMACoreMetadata and hands both to the shared PMACoreController.
// One process-wide instance (`sharedInstance`); any thread.
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/PMAActivityRequest.h"
#include "adkit/requests/PMACoreController.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class PMAActivityReporter : public NSObject {
public:
    static std::shared_ptr<PMAActivityReporter> sharedInstance();
    // init: with the shared controller.
    PMAActivityReporter();
    explicit PMAActivityReporter(std::shared_ptr<PMACoreController> controller);

    // A request without a publisher-provided identifier, then reportWithRequest.
    bool reportWithAdUnitID(const std::string& adUnitID, const Value& customParameters);
    // False when the report could not be written as JSON (and was logged).
    bool reportWithRequest(const PMAActivityRequest& request);
    const std::shared_ptr<PMACoreController>& controller() const { return controller_; }

private:
    const std::shared_ptr<PMACoreController> controller_;
};
