// Protects the constraint layout language: the chains' exact constraints, the
// named exceptions of incomplete chains, the visual-format builder's options,
// and groups that merge into copies of their members (building twice, or in
// two groups, gives the same constraints).
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIView.h"
#include "ui/layout/LYGroupImpl.h"
#include "ui/layout/LYLayout.h"
#include "ui/layout/LYVFLLayout.h"

namespace {
using C = std::shared_ptr<NSLayoutConstraint>;
using List = std::vector<C>;

struct Scene {
    std::shared_ptr<UIView> super = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    std::shared_ptr<UIView> a = std::make_shared<UIView>();
    std::shared_ptr<UIView> b = std::make_shared<UIView>();
    Scene() {
        super->addSubview(a);
        super->addSubview(b);
    }
    std::string name(const std::shared_ptr<UIView>& v) const {
        if (!v) return "nil";
        return v == super ? "super" : v == a ? "a" : v == b ? "b" : "?";
    }
    // "a.leading == b.leading*1 + 8 @1000"; no second item reads "nil".
    std::string text(const C& c) const {
        static const char* const rel[] = {"<=", "==", ">="};
        char tail[96];
        std::snprintf(tail, sizeof tail, "*%g + %g @%g", c->multiplier(), c->constant(), double(c->priority()));
        std::string second = c->secondItem()
                                 ? name(c->secondItem()) + "." + NSStringFromLayoutAttribute(c->secondAttribute())
                                 : std::string("nil");
        return name(c->firstItem()) + "." + NSStringFromLayoutAttribute(c->firstAttribute()) + " " +
               rel[c->relation() + 1] + " " + second + tail;
    }
    std::vector<std::string> texts(const List& list) const {
        std::vector<std::string> out;
        for (const auto& c : list) out.push_back(text(c));
        return out;
    }
    NSLayoutConstraint::Views views() const { return {{"a", a}, {"b", b}}; }
};

// The name of the exception the call raised, or "built".
std::string raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const NSException& e) {
        return e.name();
    }
    return "built";
}

std::string reasonOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const NSException& e) {
        return e.reason();
    }
    return "built";
}

std::shared_ptr<LYVFLLayout> vfl(const std::string& format) {
    auto layout = std::make_shared<LYVFLLayout>();
    layout->context()->setFormat(format);
    return layout;
}
}  // namespace

TEST_CASE("starting functions set the left view and attribute, multiplier 0, constant 0, equal, priority 1000") {
    Scene s;
    auto fresh = std::make_shared<LYLayout>()->context();
    CHECK(fresh->leftView() == nullptr);
    CHECK(fresh->leftAttribute() == NSLayoutAttributeNotAnAttribute);
    CHECK(fresh->rightAtttributeMultiplier() == 0.0);
    CHECK(fresh->priority() == 1000.0f);

    const struct {
        std::shared_ptr<LYLayout> (*start)(const std::shared_ptr<UIView>&);
        NSLayoutAttribute attribute;
    } starts[] = {{layoutTopOf, NSLayoutAttributeTop},
                  {layoutLeadingOf, NSLayoutAttributeLeading},
                  {layoutTrailingOf, NSLayoutAttributeTrailing},
                  {layoutWidthOf, NSLayoutAttributeWidth},
                  {layoutHeightOf, NSLayoutAttributeHeight}};
    for (const auto& start : starts) {
        CAPTURE(NSStringFromLayoutAttribute(start.attribute));
        auto layout = start.start(s.a);
        auto context = layout->context();
        CHECK(context->leftView() == s.a);
        CHECK(context->leftAttribute() == start.attribute);
        CHECK(context->relation() == NSLayoutRelationEqual);
        CHECK(context->rightView() == nullptr);
        CHECK(context->rightAttribute() == NSLayoutAttributeNotAnAttribute);
        CHECK(context->rightAtttributeMultiplier() == 0.0);
        CHECK(context->rightConstant() == 0.0);
        CHECK(context->priority() == 1000.0f);
    }
}

TEST_CASE("every right-hand step sets the view, its attribute and multiplier 1, on the same builder") {
    Scene s;
    using Step = std::shared_ptr<_LYRightHandPart> (LYLayout::*)(const std::shared_ptr<UIView>&);
    const struct {
        Step step;
        NSLayoutAttribute attribute;
    } steps[] = {{&LYLayout::leftOf, NSLayoutAttributeLeft},        {&LYLayout::rightOf, NSLayoutAttributeRight},
                 {&LYLayout::topOf, NSLayoutAttributeTop},          {&LYLayout::bottomOf, NSLayoutAttributeBottom},
                 {&LYLayout::leadingOf, NSLayoutAttributeLeading},  {&LYLayout::trailingOf, NSLayoutAttributeTrailing},
                 {&LYLayout::widthOf, NSLayoutAttributeWidth},      {&LYLayout::heightOf, NSLayoutAttributeHeight},
                 {&LYLayout::centerXOf, NSLayoutAttributeCenterX},  {&LYLayout::centerYOf, NSLayoutAttributeCenterY},
                 {&LYLayout::baselineOf, NSLayoutAttributeBaseline}};
    for (const auto& step : steps) {
        CAPTURE(NSStringFromLayoutAttribute(step.attribute));
        auto layout = layoutTopOf(s.a);
        layout->multipliedTo(3);
        auto stage = ((*layout).*(step.step))(s.b);
        CHECK(dynamic_cast<LYLayout*>(stage.get()) == layout.get());
        CHECK(layout->context()->rightView() == s.b);
        CHECK(layout->context()->rightAttribute() == step.attribute);
        CHECK(layout->context()->rightAtttributeMultiplier() == 1.0);
    }
    // Relations, multiplier, constant and priority steps hand back the same builder too.
    auto layout = layoutWidthOf(s.a);
    CHECK(dynamic_cast<LYLayout*>(layout->lessThan().get()) == layout.get());
    CHECK(dynamic_cast<LYLayout*>(layout->multipliedTo(2).get()) == layout.get());
    CHECK(dynamic_cast<LYLayout*>(layout->constant(4).get()) == layout.get());
    CHECK(dynamic_cast<LYLayout*>(layout->withPriority(10).get()) == layout.get());
}

TEST_CASE("chains give the exact constraint, not yet added to any view") {
    Scene s;
    struct Case {
        const char* chain;
        std::function<C()> build;
        const char* expected;
    };
    const Case cases[] = {
        {"width = constant", [&] { return layoutWidthOf(s.a)->equalTo()->constant(320)->asConstraint(); },
         "a.width == nil*0 + 320 @1000"},
        {"height = constant", [&] { return layoutHeightOf(s.a)->equalTo()->constant(50)->asConstraint(); },
         "a.height == nil*0 + 50 @1000"},
        {"height = constant @500",
         [&] { return layoutHeightOf(s.a)->equalTo()->constant(44)->withPriority(500)->asConstraint(); },
         "a.height == nil*0 + 44 @500"},
        {"leading = leading + 8",
         [&] { return layoutLeadingOf(s.a)->equalTo()->leadingOf(s.b)->plus(8)->asConstraint(); },
         "a.leading == b.leading*1 + 8 @1000"},
        {"leading = leading - 8",
         [&] { return layoutLeadingOf(s.a)->equalTo()->leadingOf(s.b)->minus(8)->asConstraint(); },
         "a.leading == b.leading*1 + -8 @1000"},
        {"grid leading pinned",
         [&] { return layoutLeadingOf(s.a)->equalTo()->leadingOf(s.super)->multipliedTo(1)->plus(0)->asConstraint(); },
         "a.leading == super.leading*1 + 0 @1000"},
        {"grid trailing pinned",
         [&] {
             return layoutTrailingOf(s.a)->equalTo()->trailingOf(s.super)->multipliedTo(1)->plus(0)->asConstraint();
         },
         "a.trailing == super.trailing*1 + 0 @1000"},
        {"title top pinned",
         [&] { return layoutTopOf(s.a)->equalTo()->topOf(s.super)->multipliedTo(1)->plus(0)->asConstraint(); },
         "a.top == super.top*1 + 0 @1000"},
        {"top <= bottom", [&] { return layoutTopOf(s.a)->lessThan()->bottomOf(s.b)->asConstraint(); },
         "a.top <= b.bottom*1 + 0 @1000"},
        {"top >= centerY * 0.5 - 4 @750",
         [&] {
             return layoutTopOf(s.a)
                 ->moreThan()
                 ->centerYOf(s.b)
                 ->multipliedTo(0.5)
                 ->minus(4)
                 ->withPriority(750)
                 ->asConstraint();
         },
         "a.top >= b.centerY*0.5 + -4 @750"},
        {"top = baseline", [&] { return layoutTopOf(s.a)->equalTo()->baselineOf(s.b)->asConstraint(); },
         "a.top == b.baseline*1 + 0 @1000"},
        {"leading >= centerX + 2",
         [&] { return layoutLeadingOf(s.a)->moreThan()->centerXOf(s.b)->plus(2)->asConstraint(); },
         "a.leading >= b.centerX*1 + 2 @1000"},
        {"trailing <= trailing - 10 @250",
         [&] {
             return layoutTrailingOf(s.a)->lessThan()->trailingOf(s.b)->minus(10)->withPriority(250)->asConstraint();
         },
         "a.trailing <= b.trailing*1 + -10 @250"},
        {"width = width * 0.5",
         [&] { return layoutWidthOf(s.a)->equalTo()->widthOf(s.b)->multipliedTo(0.5)->asConstraint(); },
         "a.width == b.width*0.5 + 0 @1000"},
        {"height >= height * 2 + 1 @999",
         [&] {
             return layoutHeightOf(s.a)
                 ->moreThan()
                 ->heightOf(s.b)
                 ->multipliedTo(2)
                 ->plus(1)
                 ->withPriority(999)
                 ->asConstraint();
         },
         "a.height >= b.height*2 + 1 @999"},
        {"width <= height @1",
         [&] { return layoutWidthOf(s.a)->lessThan()->heightOf(s.b)->withPriority(1)->asConstraint(); },
         "a.width <= b.height*1 + 0 @1"},
        {"plus twice keeps the last",
         [&] {
             auto layout = layoutLeadingOf(s.a);
             layout->equalTo()->leadingOf(s.b)->plus(3);
             layout->plus(8);
             return layout->asConstraint();
         },
         "a.leading == b.leading*1 + 8 @1000"},
        {"plus replaces minus",
         [&] {
             auto layout = layoutTopOf(s.a);
             layout->equalTo()->topOf(s.b)->minus(5);
             layout->plus(6);
             return layout->asConstraint();
         },
         "a.top == b.top*1 + 6 @1000"},
        {"left = left (left attribute set on the context)",
         [&] {
             auto layout = layoutLeadingOf(s.a);
             layout->context()->setLeftAttribute(NSLayoutAttributeLeft);
             return layout->equalTo()->leftOf(s.b)->plus(1)->asConstraint();
         },
         "a.left == b.left*1 + 1 @1000"},
        {"left <= right (left attribute set on the context)",
         [&] {
             auto layout = layoutLeadingOf(s.a);
             layout->context()->setLeftAttribute(NSLayoutAttributeLeft);
             return layout->lessThan()->rightOf(s.b)->asConstraint();
         },
         "a.left <= b.right*1 + 0 @1000"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.chain);
        C constraint = c.build();
        REQUIRE(constraint != nullptr);
        CHECK(s.text(constraint) == c.expected);
        CHECK(constraint->installedOn() == nullptr);
    }
    CHECK(s.super->constraints().empty());
    CHECK(s.a->constraints().empty());

    // The caller installs it, as the screens do with the banner's height.
    auto height = layoutHeightOf(s.a)->equalTo()->constant(50)->asConstraint();
    s.a->addConstraint(height);
    REQUIRE(s.a->constraints().size() == 1);
    CHECK(s.a->constraints()[0] == height);
}

TEST_CASE("incomplete chains raise the named exceptions in order, the platform's refusals pass through") {
    Scene s;
    struct Case {
        const char* chain;
        std::function<void()> call;
        const char* expected;
    };
    const Case cases[] = {
        {"builder made directly", [&] { (void)std::make_shared<LYLayout>()->asConstraint(); }, "LeftViewNotSet"},
        {"context given as none (a fresh one is made)",
         [&] {
             auto layout = layoutTopOf(s.a);
             layout->setContext(nullptr);
             (void)layout->equalTo()->topOf(s.b)->asConstraint();
         },
         "LeftViewNotSet"},
        {"start on no view", [&] { (void)layoutTopOf(nullptr)->equalTo()->topOf(s.b)->asConstraint(); },
         "LeftViewNotSet"},
        {"left view without attribute",
         [&] {
             auto layout = std::make_shared<LYLayout>();
             layout->context()->setLeftView(s.a);
             (void)layout->equalTo()->topOf(s.b)->asConstraint();
         },
         "LeftViewAttributeNotSet"},
        {"right-hand step on no view", [&] { (void)layoutTopOf(s.a)->equalTo()->topOf(nullptr)->asConstraint(); },
         "RightViewIsNilButAttributeIsAttribute"},
        {"multiplier on a constant-only chain",
         [&] {
             auto layout = layoutWidthOf(s.a);
             layout->multipliedTo(2);
             (void)layout->equalTo()->constant(5)->asConstraint();
         },
         "RightViewIsNilButAttributeMultiplierNotZero"},
        {"right view with no attribute",
         [&] {
             auto layout = layoutTopOf(s.a);
             (void)layout->rightHandBlockWithAttribute(NSLayoutAttributeNotAnAttribute)(s.b)->asConstraint();
         },
         "RightViewAttributeIsNotAnAttribute"},
        {"right view, no attribute, multiplier 0",
         [&] {
             auto layout = layoutTopOf(s.a);
             layout->context()->setRightView(s.b);
             (void)layout->asConstraint();
         },
         "RightViewAttributeIsNotAnAttribute"},
        {"top = top * 0", [&] { (void)layoutTopOf(s.a)->equalTo()->topOf(s.b)->multipliedTo(0)->asConstraint(); },
         "RightViewAttributeMultiplierIsZero"},
        {"width = width * 0",
         [&] { (void)layoutWidthOf(s.a)->equalTo()->widthOf(s.b)->multipliedTo(0)->asConstraint(); },
         "RightViewAttributeMultiplierIsZero"},
        {"group member incomplete",
         [&] {
             auto group = std::make_shared<LYGroupImpl>();
             group->setArray({std::make_shared<LYLayout>()});
             (void)group->asArray();
         },
         "LeftViewNotSet"},
        {"location against a constant (platform)",
         [&] { (void)layoutTopOf(s.a)->equalTo()->constant(10)->asConstraint(); }, "NSInvalidArgumentException"},
        {"size against a location (platform)", [&] { (void)layoutWidthOf(s.a)->equalTo()->topOf(s.b)->asConstraint(); },
         "NSInvalidArgumentException"},
        {"priority 0 (platform)",
         [&] { (void)layoutWidthOf(s.a)->equalTo()->constant(1)->withPriority(0)->asConstraint(); },
         "NSInvalidArgumentException"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.chain);
        CHECK(raised(c.call) == c.expected);
        if (std::string(c.expected).rfind("NS", 0) != 0) CHECK(reasonOf(c.call).empty());
    }
    CHECK(s.a->constraints().empty());
}

TEST_CASE("the visual-format builder passes the chosen options, or 0, and the platform's list") {
    Scene s;
    using Step = std::function<void(LYVFLLayout&)>;
    const struct {
        const char* steps;
        Step apply;
        NSLayoutFormatOptions expected;
    } cases[] = {
        {"nothing chosen", [](LYVFLLayout&) {}, 0},
        {"alignAllLeft", [](LYVFLLayout& l) { (void)l.alignAllLeft(); }, 2},
        {"alignAllRight", [](LYVFLLayout& l) { (void)l.alignAllRight(); }, 4},
        {"alignAllLeftAndRight", [](LYVFLLayout& l) { (void)l.alignAllLeftAndRight(); }, 6},
        {"alignAllTop", [](LYVFLLayout& l) { (void)l.alignAllTop(); }, 8},
        {"alignAllBottom", [](LYVFLLayout& l) { (void)l.alignAllBottom(); }, 16},
        {"alignAllTopAndBottom", [](LYVFLLayout& l) { (void)l.alignAllTopAndBottom(); }, 24},
        {"alignAllLeading", [](LYVFLLayout& l) { (void)l.alignAllLeading(); }, 32},
        {"alignAllTrailing", [](LYVFLLayout& l) { (void)l.alignAllTrailing(); }, 64},
        {"alignAllLeadingAndTrailing", [](LYVFLLayout& l) { (void)l.alignAllLeadingAndTrailing(); }, 96},
        {"alignAllCenterX", [](LYVFLLayout& l) { (void)l.alignAllCenterX(); }, 512},
        {"alignAllCenterY", [](LYVFLLayout& l) { (void)l.alignAllCenterY(); }, 1024},
        {"alignAllBaseline", [](LYVFLLayout& l) { (void)l.alignAllBaseline(); }, 2048},
        {"fromLeadingToTrailing", [](LYVFLLayout& l) { (void)l.fromLeadingToTrailing(); }, 0},
        {"fromLeftToRight", [](LYVFLLayout& l) { (void)l.fromLeftToRight(); }, 0x10000},
        {"fromRightToLeft", [](LYVFLLayout& l) { (void)l.fromRightToLeft(); }, 0x20000},
        {"alignAllTop, fromRightToLeft", [](LYVFLLayout& l) { (void)l.alignAllTop()->fromRightToLeft(); }, 8 | 0x20000},
        {"alignAllTop replaced by alignAllBottom",
         [](LYVFLLayout& l) {
             (void)l.alignAllTop();
             (void)l.alignAllBottom()->fromLeftToRight();
         },
         16 | 0x10000},
        {"alignment 65535 set on the context", [](LYVFLLayout& l) { l.context()->setAlignmentOptions(65535); }, 0},
    };
    for (const auto& c : cases) {
        CAPTURE(c.steps);
        auto layout = vfl("V:|-[a]-[b]-|");
        c.apply(*layout);
        CHECK(layout->context()->currentOptions() == c.expected);
    }

    // The list is the platform's own for the format, options, metrics and views.
    auto layout = vfl("H:|-m-[a]-[b(==w)]-|");
    List built =
        layout->alignAllCenterY()->fromLeftToRight()->withViews(s.views())->metrics({{"m", 12}, {"w", 40}})->asArray();
    List direct = NSLayoutConstraint::constraintsWithVisualFormat(
        "H:|-m-[a]-[b(==w)]-|", NSLayoutFormatAlignAllCenterY | NSLayoutFormatDirectionLeftToRight,
        {{"m", 12}, {"w", 40}}, s.views());
    CHECK(built.size() >= 5);
    CHECK(s.texts(built) == s.texts(direct));
    auto texts = s.texts(built);
    CHECK(std::find(texts.begin(), texts.end(), "a.left == super.left*1 + 12 @1000") != texts.end());
    CHECK(std::find(texts.begin(), texts.end(), "b.width == nil*1 + 40 @1000") != texts.end());

    // The platform's failures pass through unchanged, position included.
    auto broken = vfl("H:|-[a]-[zz]-|");
    (void)broken->withViews(s.views());
    std::optional<std::size_t> ours, platforms;
    std::string ourReason, platformReason;
    try {
        (void)broken->asArray();
    } catch (const LayoutConstraintException& e) {
        ours = e.position();
        ourReason = e.reason();
    }
    try {
        (void)NSLayoutConstraint::constraintsWithVisualFormat("H:|-[a]-[zz]-|", 0, {}, s.views());
    } catch (const LayoutConstraintException& e) {
        platforms = e.position();
        platformReason = e.reason();
    }
    REQUIRE(platforms.has_value());
    CHECK(ours == platforms);
    CHECK(ourReason == platformReason);
}

TEST_CASE("a group lists its members in order and merges its views, metrics and direction into them") {
    Scene s;
    C c1 = layoutWidthOf(s.a)->equalTo()->constant(1)->asConstraint();
    C c2 = layoutWidthOf(s.b)->equalTo()->constant(2)->asConstraint();
    C c3 = layoutHeightOf(s.a)->equalTo()->constant(3)->asConstraint();
    auto height = layoutHeightOf(s.b);
    (void)height->equalTo()->constant(4);
    auto unchosen = vfl("H:|-m-[a]-n-|");  // direction not chosen: takes the group's
    unchosen->context()->setMetrics(LYVFLContext::Metrics{{"m", 20}});
    auto leadingToTrailing = vfl("H:|[a]|");
    (void)leadingToTrailing->fromLeadingToTrailing();
    auto ownViews = vfl("H:[a(==40)]");  // its own "a" is b
    (void)ownViews->withViews({{"a", s.b}});

    auto group = std::make_shared<LYGroupImpl>();
    group->setArray({List{c1, c2}, c3, height, unchosen, leadingToTrailing, ownViews, s.a, nullptr});
    auto list = group->fromLeftToRight()->withViews(s.views())->withMetrics({{"m", 10}, {"n", 30}})->asArray();
    const std::vector<std::string> expected = {
        "a.width == nil*0 + 1 @1000",
        "b.width == nil*0 + 2 @1000",
        "a.height == nil*0 + 3 @1000",
        "b.height == nil*0 + 4 @1000",
        "a.left == super.left*1 + 20 @1000",
        "super.right == a.right*1 + 30 @1000",
        "a.leading == super.leading*1 + 0 @1000",
        "super.trailing == a.trailing*1 + 0 @1000",
        "b.width == nil*1 + 40 @1000",
    };
    CHECK(s.texts(list) == expected);
    REQUIRE(list.size() >= 3);
    CHECK(list[0] == c1);
    CHECK(list[1] == c2);
    CHECK(list[2] == c3);
    CHECK(group->context()->direction() == NSLayoutFormatDirectionLeftToRight);
}

TEST_CASE("a group merges into copies: building twice, or in another group, gives the same constraints") {
    Scene s;
    auto member = vfl("H:|-m-[a]-|");
    member->context()->setMetrics(LYVFLContext::Metrics{{"m", 20}});
    auto group = std::make_shared<LYGroupImpl>();
    group->setArray({member});
    (void)group->fromLeftToRight()->withViews(s.views());

    auto first = s.texts(group->asArray());
    auto second = s.texts(group->asArray());
    CHECK(first == second);
    CHECK(first[0] == "a.left == super.left*1 + 20 @1000");
    // The member keeps its own parts.
    CHECK_FALSE(member->context()->views().has_value());
    CHECK(member->context()->directionOptions() == LYVFLContext::directionNotChosen);
    CHECK(member->context()->metrics() == LYVFLContext::Metrics{{"m", 20}});

    // A new group direction reaches a member that chose none.
    (void)group->fromRightToLeft();
    auto rightToLeft = s.texts(group->asArray());
    auto direct = s.texts(NSLayoutConstraint::constraintsWithVisualFormat(
        "H:|-m-[a]-|", NSLayoutFormatDirectionRightToLeft, {{"m", 20}}, s.views()));
    CHECK(rightToLeft == direct);
    CHECK(rightToLeft != first);

    // One member in two groups gets each group's own views.
    auto shared = vfl("H:[a(==40)]");
    auto groupA = std::make_shared<LYGroupImpl>();
    auto groupB = std::make_shared<LYGroupImpl>();
    groupA->setArray({shared});
    groupB->setArray({shared});
    (void)groupA->withViews({{"a", s.a}});
    (void)groupB->withViews({{"a", s.b}});
    CHECK(s.texts(groupA->asArray()) == std::vector<std::string>{"a.width == nil*1 + 40 @1000"});
    CHECK(s.texts(groupB->asArray()) == std::vector<std::string>{"b.width == nil*1 + 40 @1000"});
    CHECK(s.texts(groupA->asArray()) == std::vector<std::string>{"a.width == nil*1 + 40 @1000"});

    // The merge itself, on a context given to it: overlay, and the direction only when none was chosen.
    LYGroupContext groupContext;
    groupContext.setViews(LYGroupContext::Views{{"a", s.a}, {"b", s.b}});
    groupContext.setMetrics(LYGroupContext::Metrics{{"m", 1}, {"n", 2}});
    groupContext.setDirection(NSLayoutFormatDirectionLeftToRight);
    LYVFLContext target;
    target.setViews(LYVFLContext::Views{{"a", s.b}});
    target.setMetrics(LYVFLContext::Metrics{{"n", 5}});
    target.setDirectionOptions(NSLayoutFormatDirectionLeadingToTrailing);
    LYGroupImpl::applyGroupContext(groupContext, target);
    CHECK(target.views() == LYVFLContext::Views{{"a", s.b}, {"b", s.b}});
    CHECK(target.metrics() == LYVFLContext::Metrics{{"m", 1}, {"n", 5}});
    CHECK(target.directionOptions() == NSLayoutFormatDirectionLeadingToTrailing);
    LYVFLContext unchosenTarget;
    LYGroupImpl::applyGroupContext(groupContext, unchosenTarget);
    CHECK(unchosenTarget.directionOptions() == NSLayoutFormatDirectionLeftToRight);
    CHECK(unchosenTarget.views() == groupContext.views());
}
