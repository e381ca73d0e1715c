#pragma once
// The network extras of custom events: per-label dictionaries a publisher
// registers on its ad request (AKRequest registerAdNetworkExtras). A custom
// event gets a copy of the dictionary stored under its entry's "label"
// (AKCustomEventRequest additionalParameters).
//
// setExtras with no label writes the publisher log line "Must specify a label
// for extras." and changes nothing; a null dictionary removes the label.
// Values are copied in and out; any thread.
#include <mutex>
#include <optional>
#include <string>

#include "adkit/requests/AKAdNetExtras.h"

class AKCustomEventExtras : public AKAdNetworkExtras {
public:
    void setExtras(const Value& extras, const std::optional<std::string>& label);
    // The label's dictionary (a copy); null when none is stored.
    Value extrasForLabel(const std::string& label) const;
    void removeAllExtras();
    // Every label's dictionary (a copy).
    Value allExtras() const;

private:
    mutable std::mutex mutex_;
    Value extras_ = Value::dictionary();
};
