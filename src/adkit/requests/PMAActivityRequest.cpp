#include "adkit/requests/PMAActivityRequest.h"

std::shared_ptr<PMAActivityRequest> PMAActivityRequest::requestWithAdUnitID(std::optional<std::string> adUnitID,
                                                                            std::optional<std::string> publisherProvidedID,
                                                                            const Value& customParameters) {
    return std::make_shared<PMAActivityRequest>(std::move(adUnitID), std::move(publisherProvidedID), customParameters);
}

PMAActivityRequest::PMAActivityRequest(std::optional<std::string> adUnitID,
                                       std::optional<std::string> publisherProvidedID, const Value& customParameters)
    : adUnitID_(std::move(adUnitID)),
      publisherProvidedID_(std::move(publisherProvidedID)),
      customParameters_(customParameters.copy()) {}

std::shared_ptr<PMAActivityRequest> PMAActivityRequest::copy() const {
    return requestWithAdUnitID(adUnitID_, publisherProvidedID_, customParameters_);
}

std::optional<std::string> PMAActivityRequest::JSONStringValue(std::string* failure) const {
    Value object = Value::dictionary();
    if (adUnitID_) object.setObject("ad_unit_id", *adUnitID_);
    if (publisherProvidedID_) object.setObject("publisher_provided", Value({{"id", *publisherProvidedID_}}));
    if (!customParameters_.isNull()) object.setObject("custom_parameters", customParameters_.copy());
    return object.toJSON(false, failure);
}
