#include "adkit/mediation/AKCustomEventExtras.h"

#include "adkit/foundation/AKMacros.h"

void AKCustomEventExtras::setExtras(const Value& extras, const std::optional<std::string>& label) {
    if (!label) {
        AKMacros::pubLog("Must specify a label for extras.");
        return;
    }
    std::lock_guard lock(mutex_);
    extras_.setObject(*label, extras.copy());  // null removes the label
}

Value AKCustomEventExtras::extrasForLabel(const std::string& label) const {
    std::lock_guard lock(mutex_);
    return extras_[label].copy();
}

void AKCustomEventExtras::removeAllExtras() {
    std::lock_guard lock(mutex_);
    extras_ = Value::dictionary();
}

Value AKCustomEventExtras::allExtras() const {
    std::lock_guard lock(mutex_);
    return extras_.copy();
}
