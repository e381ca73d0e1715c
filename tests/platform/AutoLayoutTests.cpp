// Protects auto layout: the solver's answers for required and weighted
// constraints, a conflicting required constraint dropped with its console
// line, intrinsic sizes, frame-laid views kept where they are, and a changed
// constant moving the views on the next layout pass.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/LayoutSolver.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIWindow.h"
#include "UIKitTestSupport.h"

using namespace uikittest;

namespace {
using C = NSLayoutConstraint;
using ViewPtr = std::shared_ptr<UIView>;
using ConstraintPtr = std::shared_ptr<NSLayoutConstraint>;

ViewPtr constrained(const ViewPtr& parent, CGRect frame = CGRectMake(0, 0, 10, 10)) {
    auto v = std::make_shared<UIView>(frame);
    v->setTranslatesAutoresizingMaskIntoConstraints(false);
    parent->addSubview(v);
    return v;
}

ConstraintPtr make(const ViewPtr& a, NSLayoutAttribute aa, NSLayoutRelation r, const ViewPtr& b,
                   NSLayoutAttribute ba, CGFloat m, CGFloat c, UILayoutPriority p = UILayoutPriorityRequired) {
    auto k = C::constraintWithItem(a, aa, r, b, ba, m, c);
    k->setPriority(p);
    return k;
}

ConstraintPtr eq(const ViewPtr& a, NSLayoutAttribute aa, const ViewPtr& b, NSLayoutAttribute ba, CGFloat c = 0) {
    return make(a, aa, NSLayoutRelationEqual, b, ba, 1, c);
}

ConstraintPtr size(const ViewPtr& a, NSLayoutAttribute aa, NSLayoutRelation r, CGFloat c,
                   UILayoutPriority p = UILayoutPriorityRequired) {
    return make(a, aa, r, nullptr, NSLayoutAttributeNotAnAttribute, 1, c, p);
}

struct LogCapture {
    std::vector<std::string> lines;
    LogCapture() {
        setLogHook([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogCapture() { setLogHook(nullptr); }
    std::size_t count(const std::string& needle) const {
        std::size_t n = 0;
        for (const auto& l : lines) n += l.find(needle) != std::string::npos;
        return n;
    }
};
}  // namespace

TEST_CASE("the solver keeps required constraints and trades weighted ones by weight") {
    using R = LayoutSolver::Relation;
    LayoutSolver s;
    auto x = s.newVariable(), y = s.newVariable();
    LayoutSolver::Expression e;
    // x + y == 100 (required), x >= 30 (required), x == 80 @10, x == 10 @500, y <= 60 @20.
    REQUIRE(s.addConstraint(LayoutSolver::Expression{}.add(x, 1).add(y, 1).add(LayoutSolver::Expression{-100, {}}, 1),
                            R::Equal));
    REQUIRE(s.addConstraint(LayoutSolver::Expression{-30, {{x, 1}}}, R::GreaterOrEqual));
    REQUIRE(s.addConstraint(LayoutSolver::Expression{-80, {{x, 1}}}, R::Equal, 10));
    REQUIRE(s.addConstraint(LayoutSolver::Expression{-10, {{x, 1}}}, R::Equal, 500));
    CHECK(s.value(x) == doctest::Approx(30));  // the heavier wish pulls down to the required floor
    CHECK(s.value(y) == doctest::Approx(70));
    REQUIRE(s.addConstraint(LayoutSolver::Expression{-60, {{y, 1}}}, R::LessOrEqual, 600));
    CHECK(s.value(y) == doctest::Approx(60));  // heavier than x == 10 @500
    CHECK(s.value(x) == doctest::Approx(40));
    // A required constraint against the required ones is refused and changes nothing.
    CHECK_FALSE(s.addConstraint(LayoutSolver::Expression{-20, {{x, 1}}}, R::LessOrEqual));
    CHECK(s.value(x) == doctest::Approx(40));
    CHECK(s.addConstraint(LayoutSolver::Expression{-45, {{x, 1}}}, R::Equal));
    CHECK(s.value(x) == doctest::Approx(45));
    CHECK(s.value(y) == doctest::Approx(55));
}

TEST_CASE("views placed by constraints in the layout pass") {
    struct Case {
        const char* name;
        // Builds the constraints in a 320 x 480 root; answers the views to check.
        std::function<std::vector<ViewPtr>(const ViewPtr& root)> build;
        std::vector<CGRect> expected;
    };
    std::vector<Case> cases{
        {"centred with a fixed size",
         [](const ViewPtr& root) {
             auto v = constrained(root);
             root->addConstraints({eq(v, NSLayoutAttributeCenterX, root, NSLayoutAttributeCenterX),
                                   eq(v, NSLayoutAttributeCenterY, root, NSLayoutAttributeCenterY),
                                   size(v, NSLayoutAttributeWidth, NSLayoutRelationEqual, 100),
                                   size(v, NSLayoutAttributeHeight, NSLayoutRelationEqual, 40)});
             return std::vector<ViewPtr>{v};
         },
         {CGRectMake(110, 220, 100, 40)}},
        {"equal widths side by side with the visual format",
         [](const ViewPtr& root) {
             auto a = constrained(root), b = constrained(root);
             root->addConstraints(C::constraintsWithVisualFormat("H:|-[a]-[b(==a)]-|", 0, {}, {{"a", a}, {"b", b}}));
             root->addConstraints(C::constraintsWithVisualFormat("V:|-20-[a(30)]", 0, {}, {{"a", a}}));
             root->addConstraints({eq(b, NSLayoutAttributeTop, a, NSLayoutAttributeTop),
                                   eq(b, NSLayoutAttributeHeight, a, NSLayoutAttributeHeight)});
             return std::vector<ViewPtr>{a, b};
         },
         {CGRectMake(20, 20, 136, 30), CGRectMake(164, 20, 136, 30)}},
        {"an inequality holds and the stronger wish wins",
         [](const ViewPtr& root) {
             auto v = constrained(root, CGRectMake(0, 0, 50, 50));
             root->addConstraints({eq(v, NSLayoutAttributeLeft, root, NSLayoutAttributeLeft, 10),
                                   eq(v, NSLayoutAttributeTop, root, NSLayoutAttributeTop, 10),
                                   size(v, NSLayoutAttributeWidth, NSLayoutRelationLessThanOrEqual, 200),
                                   size(v, NSLayoutAttributeWidth, NSLayoutRelationEqual, 500, 750),
                                   size(v, NSLayoutAttributeHeight, NSLayoutRelationEqual, 60, 250),
                                   size(v, NSLayoutAttributeHeight, NSLayoutRelationEqual, 90, 500)});
             return std::vector<ViewPtr>{v};
         },
         {CGRectMake(10, 10, 200, 90)}},
        {"a view laid out by frames stays put and anchors a constrained one",
         [](const ViewPtr& root) {
             auto fixed = std::make_shared<UIView>(CGRectMake(30, 40, 70, 20));
             root->addSubview(fixed);
             auto v = constrained(root);
             root->addConstraints({eq(v, NSLayoutAttributeLeft, fixed, NSLayoutAttributeRight, 5),
                                   eq(v, NSLayoutAttributeTop, fixed, NSLayoutAttributeBottom),
                                   eq(v, NSLayoutAttributeWidth, fixed, NSLayoutAttributeWidth),
                                   // asks to move the frame-laid view: it cannot
                                   eq(fixed, NSLayoutAttributeLeft, root, NSLayoutAttributeLeft)});
             return std::vector<ViewPtr>{fixed, v};
         },
         {CGRectMake(30, 40, 70, 20), CGRectMake(105, 60, 70, 10)}},
        {"a label sized by its text in a nested view",
         [](const ViewPtr& root) {
             auto box = constrained(root);
             auto label = std::make_shared<UILabel>();
             label->setTranslatesAutoresizingMaskIntoConstraints(false);
             label->setText("Title");
             box->addSubview(label);
             root->addConstraints(C::constraintsWithVisualFormat("H:|-10-[box]-10-|", 0, {}, {{"box", box}}));
             root->addConstraints(C::constraintsWithVisualFormat("V:|-50-[box(100)]", 0, {}, {{"box", box}}));
             box->addConstraints({eq(label, NSLayoutAttributeTrailing, box, NSLayoutAttributeTrailing, -8),
                                  eq(label, NSLayoutAttributeBottom, box, NSLayoutAttributeBottom)});
             return std::vector<ViewPtr>{box, label};
         },
         {CGRectMake(10, 50, 300, 100), CGRectZero}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        auto window = visibleWindow({320, 480});
        auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
        window->addSubview(root);
        auto views = c.build(root);
        window->layoutIfNeeded();
        for (std::size_t i = 0; i < views.size(); ++i) {
            CAPTURE(i);
            if (auto* label = dynamic_cast<UILabel*>(views[i].get())) {
                CGSize text = label->intrinsicContentSize();
                REQUIRE(text.width > 10);
                CHECK(label->frame() == CGRectMake(300 - 8 - text.width, 100 - text.height, text.width, text.height));
            } else {
                CHECK(views[i]->frame() == c.expected[i]);
            }
        }
    }
}

TEST_CASE("a required constraint that cannot hold is logged once and dropped") {
    LogCapture log;
    auto window = visibleWindow({320, 480});
    auto v = constrained(window);
    auto conflict = size(v, NSLayoutAttributeWidth, NSLayoutRelationEqual, 300);
    conflict->setIdentifier("too-wide");
    window->addConstraints({eq(v, NSLayoutAttributeLeft, window, NSLayoutAttributeLeft, 20),
                            eq(v, NSLayoutAttributeTop, window, NSLayoutAttributeTop, 20),
                            size(v, NSLayoutAttributeWidth, NSLayoutRelationEqual, 100), conflict,
                            size(v, NSLayoutAttributeHeight, NSLayoutRelationEqual, 44)});
    window->layoutIfNeeded();
    CAPTURE(v->description());
    CHECK(v->frame() == CGRectMake(20, 20, 100, 44));  // the rest still holds
    CHECK(log.count("Unable to simultaneously satisfy constraints.") == 1);
    CHECK(log.count("too-wide") == 1);
    window->setNeedsLayout();
    window->layoutIfNeeded();
    CHECK(log.count("Unable to simultaneously satisfy constraints.") == 1);
}

TEST_CASE("changing a constant re-lays out on the next pass: a banner opening pushes the content down") {
    auto window = visibleWindow({320, 480});
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    window->addSubview(root);
    auto frameLaid = std::make_shared<UIView>(CGRectMake(5, 5, 30, 30));  // a scene laid out by frames
    root->addSubview(frameLaid);
    auto banner = constrained(root), content = constrained(root);
    auto height = size(banner, NSLayoutAttributeHeight, NSLayoutRelationEqual, 0);
    banner->addConstraint(height);
    banner->addConstraint(size(banner, NSLayoutAttributeWidth, NSLayoutRelationEqual, 320));
    root->addConstraints(C::constraintsWithVisualFormat("V:|-20-[banner][content]|", 0, {},
                                                        {{"banner", banner}, {"content", content}}));
    root->addConstraints(C::constraintsWithVisualFormat("H:|[content]|", 0, {}, {{"content", content}}));
    root->addConstraint(eq(banner, NSLayoutAttributeLeft, root, NSLayoutAttributeLeft));
    REQUIRE(testsupport::runMainUntil([&] { return content->frame() == CGRectMake(0, 20, 320, 460); }, 5));
    CHECK(banner->frame() == CGRectMake(0, 20, 320, 0));

    height->setConstant(50);
    CHECK(content->frame() == CGRectMake(0, 20, 320, 460));  // nothing moves before the pass
    REQUIRE(testsupport::runMainUntil([&] { return content->frame() == CGRectMake(0, 70, 320, 410); }, 5));
    CHECK(banner->frame() == CGRectMake(0, 20, 320, 50));
    CHECK(frameLaid->frame() == CGRectMake(5, 5, 30, 30));
}
