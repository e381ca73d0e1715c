#pragma once
// What a group of builders shares with its visual-format members: views,
// metrics and a direction (0x30000, the platform's direction mask, meaning
// not chosen). The object-valued properties are read and written whole.
#include <optional>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "ui/layout/LYAtomicProperty.h"

class LYGroupContext : public NSObject {
public:
    using Views = NSLayoutConstraint::Views;
    using Metrics = NSLayoutConstraint::Metrics;
    static constexpr NSLayoutFormatOptions directionNotChosen = NSLayoutFormatDirectionMask;  // 0x30000

    // Initially none.
    std::optional<Views> views() const { return views_.get(); }
    void setViews(std::optional<Views> views) { views_.set(std::move(views)); }
    std::optional<Metrics> metrics() const { return metrics_.get(); }
    void setMetrics(std::optional<Metrics> metrics) { metrics_.set(std::move(metrics)); }
    NSLayoutFormatOptions direction() const { return direction_; }
    void setDirection(NSLayoutFormatOptions direction) { direction_ = direction; }

private:
    LYAtomicProperty<std::optional<Views>> views_;
    LYAtomicProperty<std::optional<Metrics>> metrics_;
    NSLayoutFormatOptions direction_ = directionNotChosen;
};
