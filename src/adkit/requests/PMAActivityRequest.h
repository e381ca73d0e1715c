#pragma once
// An activity a publisher reports for an ad unit without showing an ad: the
// unit, an optional publisher-provided identifier and custom parameters. All
// read-only, copied in; any thread. Its JSON (compact): "ad_unit_id" (when
// set), "publisher_provided" {"id": ...} (when an identifier is set) and
// "custom_parameters" (when set).
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/AKJSONSerializable.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class PMAActivityRequest : public NSObject, public AKJSONSerializable {
public:
    // requestWithAdUnitID:publisherProvidedID:customParameters: (a deep copy of the parameters).
    static std::shared_ptr<PMAActivityRequest> requestWithAdUnitID(std::optional<std::string> adUnitID,
                                                                   std::optional<std::string> publisherProvidedID,
                                                                   const Value& customParameters);
    PMAActivityRequest(std::optional<std::string> adUnitID, std::optional<std::string> publisherProvidedID,
                       const Value& customParameters);
    // copyWithZone: an equal request.
    std::shared_ptr<PMAActivityRequest> copy() const;

    const std::optional<std::string>& adUnitID() const { return adUnitID_; }
    const std::optional<std::string>& publisherProvidedID() const { return publisherProvidedID_; }
    Value customParameters() const { return customParameters_.copy(); }

    std::optional<std::string> JSONStringValue(std::string* failure = nullptr) const override;

private:
    const std::optional<std::string> adUnitID_;
    const std::optional<std::string> publisherProvidedID_;
    const Value customParameters_;
};
