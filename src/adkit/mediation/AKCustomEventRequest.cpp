#include "adkit/mediation/AKCustomEventRequest.h"

#include "adkit/mediation/AKCustomEventExtras.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"

std::shared_ptr<AKCustomEventRequest> AKCustomEventRequest::initWithConnector(
    const AKMAdNetworkConnector& connector, const std::optional<std::string>& label) {
    auto request = std::make_shared<AKCustomEventRequest>();
    request->userGender_ = connector.userGender();
    request->userBirthday_ = connector.userBirthday();
    request->userHasLocation_ = connector.userHasLocation();
    request->userLatitude_ = connector.userLatitude();
    request->userLongitude_ = connector.userLongitude();
    request->userLocationAccuracyInMeters_ = connector.userLocationAccuracyInMeters();
    request->userLocationDescription_ = connector.userLocationDescription();
    request->userKeywords_ = connector.userKeywords().copy();
    if (label) {
        if (auto extras = std::dynamic_pointer_cast<AKCustomEventExtras>(connector.networkExtras()))
            request->additionalParameters_ = extras->extrasForLabel(*label);
    }
    request->isTesting_ = connector.testMode();
    return request;
}
