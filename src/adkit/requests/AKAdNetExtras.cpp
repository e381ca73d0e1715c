#include "adkit/requests/AKAdNetExtras.h"

Value AKAdNetExtras::additionalParameters() const {
    std::lock_guard lock(mutex_);
    return additionalParameters_.copy();
}

void AKAdNetExtras::setAdditionalParameters(const Value& parameters) {
    std::lock_guard lock(mutex_);
    additionalParameters_ = parameters.copy();
}

std::optional<std::string> PMAExtras::publisherProvidedID() const {
    std::lock_guard lock(mutex_);
    return publisherProvidedID_;
}

void PMAExtras::setPublisherProvidedID(std::optional<std::string> identifier) {
    std::lock_guard lock(mutex_);
    publisherProvidedID_ = std::move(identifier);
}
