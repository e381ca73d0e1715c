#pragma once
// What a group of builders shares with its visual-format members: views,
// metrics and a direction (0x30000, the platform's direction mask, meaning
// not chosen). The object-valued properties are read and written whole.
#include <mutex>
#include <optional>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/NSLayoutConstraint.h"

class LYGroupContext : public NSObject {
public:
    using Views = NSLayoutConstraint::Views;
    using Metrics = NSLayoutConstraint::Metrics;
    static constexpr NSLayoutFormatOptions directionNotChosen = NSLayoutFormatDirectionMask;  // 0x30000

    // Initially none.
    std::optional<Views> views() const;
    void setViews(std::optional<Views> views);
    std::optional<Metrics> metrics() const;
    void setMetrics(std::optional<Metrics> metrics);
    NSLayoutFormatOptions direction() const { return direction_; }
    void setDirection(NSLayoutFormatOptions direction) { direction_ = direction; }

private:
    mutable std::mutex mutex_;  // guards views_ and metrics_
    std::optional<Views> views_;
    std::optional<Metrics> metrics_;
    NSLayoutFormatOptions direction_ = directionNotChosen;
};
