#pragma once
// The parts of one visual-format constraint list under construction: the
// format, the alignment and direction options, the views and the metrics.
//
// Alignment 65535 and direction 0x30000 (the platform's direction mask) mean
// "not chosen": currentOptions leaves an unchosen part out, so a context with
// neither chosen passes 0. buildConstraints hands everything to the platform's
// constraintsWithVisualFormat; its failures (parse errors with their position,
// unknown views) pass through unchanged. Views and metrics that were never set
// are passed as empty dictionaries.
//
// The object-valued properties are read and written whole, from any thread;
// building runs on the main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "ui/layout/LYAtomicProperty.h"

class LYVFLContext : public NSObject {
public:
    using Views = NSLayoutConstraint::Views;
    using Metrics = NSLayoutConstraint::Metrics;
    static constexpr NSLayoutFormatOptions alignmentNotChosen = 65535;
    static constexpr NSLayoutFormatOptions directionNotChosen = NSLayoutFormatDirectionMask;  // 0x30000

    // Initially none.
    std::optional<std::string> format() const { return format_.get(); }
    void setFormat(std::optional<std::string> format) { format_.set(std::move(format)); }
    NSLayoutFormatOptions alignmentOptions() const { return alignmentOptions_; }
    void setAlignmentOptions(NSLayoutFormatOptions options) { alignmentOptions_ = options; }
    NSLayoutFormatOptions directionOptions() const { return directionOptions_; }
    void setDirectionOptions(NSLayoutFormatOptions options) { directionOptions_ = options; }
    // Initially none.
    std::optional<Views> views() const { return views_.get(); }
    void setViews(std::optional<Views> views) { views_.set(std::move(views)); }
    std::optional<Metrics> metrics() const { return metrics_.get(); }
    void setMetrics(std::optional<Metrics> metrics) { metrics_.set(std::move(metrics)); }

    // A new context with the same parts (the views themselves are shared).
    std::shared_ptr<LYVFLContext> copy() const;

    // The alignment (0 when not chosen) or'ed with the direction (when chosen).
    NSLayoutFormatOptions currentOptions() const;
    // The platform's constraints for the format, options, metrics and views.
    [[nodiscard]] std::vector<std::shared_ptr<NSLayoutConstraint>> buildConstraints() const;

private:
    LYAtomicProperty<std::optional<std::string>> format_;
    LYAtomicProperty<std::optional<Views>> views_;
    LYAtomicProperty<std::optional<Metrics>> metrics_;
    NSLayoutFormatOptions alignmentOptions_ = alignmentNotChosen;
    NSLayoutFormatOptions directionOptions_ = directionNotChosen;
};
