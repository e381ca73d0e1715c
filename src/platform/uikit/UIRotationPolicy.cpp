#include "platform/uikit/UIRotationPolicy.h"

namespace {
UIRotationPolicy& current() {
    static UIRotationPolicy policy;
    return policy;
}
}  // namespace

void UIRotationPolicy::install(UIRotationPolicy policy) { current() = std::move(policy); }

const UIRotationPolicy& UIRotationPolicy::installed() { return current(); }
