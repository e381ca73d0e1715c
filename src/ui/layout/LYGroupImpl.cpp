#include "ui/layout/LYGroupImpl.h"

#include "platform/base/ThreadAssertions.h"
#include "ui/layout/LYLayout.h"
#include "ui/layout/LYVFLLayout.h"

namespace {
// `over`'s entries laid over `base`'s; none when both are none.
template <class Map>
std::optional<Map> overlay(const std::optional<Map>& base, const std::optional<Map>& over) {
    if (!base) return over;
    Map merged = *base;
    if (over)
        for (const auto& [key, value] : *over) merged.insert_or_assign(key, value);
    return merged;
}

void appendAll(LYGroupImpl::Constraints& list, const LYGroupImpl::Constraints& more) {
    for (const auto& constraint : more)
        if (constraint) list.push_back(constraint);  // an empty slot holds no constraint
}
}  // namespace

LYGroupImpl::LYGroupImpl() : context_(std::make_shared<LYGroupContext>()) {}

std::shared_ptr<_LYGroupProtocol> LYGroupImpl::applyDirection(NSLayoutFormatOptions direction) {
    context()->setDirection(direction);
    return self<LYGroupImpl>();
}

std::shared_ptr<_LYGroupProtocol> LYGroupImpl::fromLeadingToTrailing() {
    return applyDirection(NSLayoutFormatDirectionLeadingToTrailing);
}
std::shared_ptr<_LYGroupProtocol> LYGroupImpl::fromLeftToRight() {
    return applyDirection(NSLayoutFormatDirectionLeftToRight);
}
std::shared_ptr<_LYGroupProtocol> LYGroupImpl::fromRightToLeft() {
    return applyDirection(NSLayoutFormatDirectionRightToLeft);
}

std::shared_ptr<_LYGroupProtocol> LYGroupImpl::withViews(const NSLayoutConstraint::Views& views) {
    context()->setViews(views);
    return self<LYGroupImpl>();
}

std::shared_ptr<_LYGroupProtocol> LYGroupImpl::withMetrics(const NSLayoutConstraint::Metrics& metrics) {
    context()->setMetrics(metrics);
    return self<LYGroupImpl>();
}

void LYGroupImpl::applyGroupContext(const LYGroupContext& groupContext, LYVFLContext& toVFLContxt) {
    toVFLContxt.setViews(overlay(groupContext.views(), toVFLContxt.views()));
    toVFLContxt.setMetrics(overlay(groupContext.metrics(), toVFLContxt.metrics()));
    if (groupContext.direction() != LYGroupContext::directionNotChosen &&
        toVFLContxt.directionOptions() == LYVFLContext::directionNotChosen)
        toVFLContxt.setDirectionOptions(groupContext.direction());
}

LYGroupImpl::Constraints LYGroupImpl::asArray() {
    QV_ASSERT_MAIN_THREAD();
    auto group = context();
    Constraints list;
    for (const Member& member : array()) {
        if (const auto* constraints = std::get_if<Constraints>(&member)) {
            appendAll(list, *constraints);
            continue;
        }
        const auto& object = std::get<std::shared_ptr<NSObject>>(member);
        if (auto constraint = std::dynamic_pointer_cast<NSLayoutConstraint>(object)) {
            list.push_back(constraint);
        } else if (auto layout = std::dynamic_pointer_cast<LYLayout>(object)) {
            list.push_back(layout->context()->buildConstraint());
        } else if (auto vfl = std::dynamic_pointer_cast<LYVFLLayout>(object)) {
            // The member's own context stays as it is: the group is merged into a copy.
            auto merged = vfl->context()->copy();
            applyGroupContext(*group, *merged);
            appendAll(list, merged->buildConstraints());
        }
        // Anything else (including an empty member) is not a constraint source: skipped.
    }
    return list;
}
