// Protects layout constraints: the platform's refusals, the visual format
// language's constraints for a handful of formats, its errors with their
// position, and constraints kept on views.
#include <doctest/doctest.h>

#include <functional>

#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIView.h"

namespace {
using C = std::shared_ptr<NSLayoutConstraint>;

struct Views {
    std::shared_ptr<UIView> super = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    std::shared_ptr<UIView> a = std::make_shared<UIView>();
    std::shared_ptr<UIView> b = std::make_shared<UIView>();
    Views() {
        super->addSubview(a);
        super->addSubview(b);
    }
    NSLayoutConstraint::Views map() const { return {{"a", a}, {"b", b}}; }
    std::string name(const std::shared_ptr<UIView>& v) const {
        if (!v) return "nil";
        return v == super ? "super" : v == a ? "a" : v == b ? "b" : "?";
    }
    // "a.leading == super.leading*1 + 20 @1000"
    std::string text(const C& c) const {
        static const char* const rel[] = {"<=", "==", ">="};
        char tail[64];
        std::snprintf(tail, sizeof tail, "*%g + %g @%g", c->multiplier(), c->constant(), double(c->priority()));
        std::string second = c->secondItem() ? name(c->secondItem()) + "." + NSStringFromLayoutAttribute(c->secondAttribute())
                                             : std::string("nil");
        return name(c->firstItem()) + "." + NSStringFromLayoutAttribute(c->firstAttribute()) + " " +
               rel[c->relation() + 1] + " " + second + tail;
    }
};

std::string refusal(const std::function<void()>& f) {
    try {
        f();
    } catch (const NSException& e) {  // the refusals are caught as NSException, by name
        return e.name();
    }
    return "accepted";
}
}  // namespace

TEST_CASE("constraints refuse what the platform refuses, by exception name") {
    Views v;
    auto make = [&](std::shared_ptr<UIView> i1, NSLayoutAttribute a1, std::shared_ptr<UIView> i2, NSLayoutAttribute a2,
                    double m, double c) {
        return [=] { (void)NSLayoutConstraint::constraintWithItem(i1, a1, NSLayoutRelationEqual, i2, a2, m, c); };
    };
    struct Case {
        const char* name;
        std::function<void()> call;
        const char* expected;
    };
    const Case cases[] = {
        {"width equals a constant", make(v.a, NSLayoutAttributeWidth, nullptr, NSLayoutAttributeNotAnAttribute, 0, 320),
         "accepted"},
        {"leading to leading", make(v.a, NSLayoutAttributeLeading, v.b, NSLayoutAttributeLeading, 1, 8), "accepted"},
        {"width to height", make(v.a, NSLayoutAttributeWidth, v.b, NSLayoutAttributeHeight, 0.5, 0), "accepted"},
        {"no first item", make(nullptr, NSLayoutAttributeWidth, nullptr, NSLayoutAttributeNotAnAttribute, 0, 1),
         "NSInvalidArgumentException"},
        {"first attribute missing", make(v.a, NSLayoutAttributeNotAnAttribute, v.b, NSLayoutAttributeTop, 1, 0),
         "NSInvalidArgumentException"},
        {"second item without attribute", make(v.a, NSLayoutAttributeTop, v.b, NSLayoutAttributeNotAnAttribute, 1, 0),
         "NSInvalidArgumentException"},
        {"attribute without second item", make(v.a, NSLayoutAttributeWidth, nullptr, NSLayoutAttributeWidth, 1, 0),
         "NSInvalidArgumentException"},
        {"location against a constant", make(v.a, NSLayoutAttributeLeft, nullptr, NSLayoutAttributeNotAnAttribute, 1, 5),
         "NSInvalidArgumentException"},
        {"location with multiplier 0", make(v.a, NSLayoutAttributeTop, v.b, NSLayoutAttributeTop, 0, 0),
         "NSInvalidArgumentException"},
        {"axes mixed", make(v.a, NSLayoutAttributeTop, v.b, NSLayoutAttributeLeft, 1, 0), "NSInvalidArgumentException"},
        {"size against location", make(v.a, NSLayoutAttributeWidth, v.b, NSLayoutAttributeLeft, 1, 0),
         "NSInvalidArgumentException"},
        {"leading against left", make(v.a, NSLayoutAttributeLeading, v.b, NSLayoutAttributeLeft, 1, 0),
         "NSInvalidArgumentException"},
        {"constant not finite", make(v.a, NSLayoutAttributeWidth, nullptr, NSLayoutAttributeNotAnAttribute, 0, NAN),
         "NSInvalidArgumentException"},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.name));
        CHECK(refusal(c.call) == c.expected);
    }

    auto c = NSLayoutConstraint::constraintWithItem(v.a, NSLayoutAttributeWidth, NSLayoutRelationEqual, nullptr,
                                                    NSLayoutAttributeNotAnAttribute, 0, 320);
    CHECK(refusal([&] { c->setPriority(0); }) == "NSInvalidArgumentException");
    CHECK(refusal([&] { c->setPriority(1001); }) == "NSInvalidArgumentException");
    c->setPriority(999);
    c->setActive(true);
    CHECK(c->installedOn() == v.a);
    CHECK(v.a->constraints().size() == 1);
    CHECK(refusal([&] { c->setPriority(1000); }) == "NSInternalInconsistencyException");
    c->setActive(false);
    CHECK(v.a->constraints().empty());

    // Activation finds the nearest common ancestor; strangers have none.
    auto between = NSLayoutConstraint::constraintWithItem(v.a, NSLayoutAttributeTop, NSLayoutRelationEqual, v.b,
                                                          NSLayoutAttributeBottom, 1, 8);
    between->setIdentifier("gap");
    between->setActive(true);
    CHECK(between->installedOn() == v.super);
    v.super->removeConstraint(between);
    CHECK_FALSE(between->isActive());
    auto stranger = std::make_shared<UIView>();
    auto lonely = NSLayoutConstraint::constraintWithItem(v.a, NSLayoutAttributeTop, NSLayoutRelationEqual, stranger,
                                                         NSLayoutAttributeTop, 1, 0);
    CHECK(refusal([&] { lonely->setActive(true); }) == "NSGenericException");
}

TEST_CASE("the visual format gives the platform's constraints") {
    struct Case {
        const char* format;
        NSLayoutFormatOptions options;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"|-[a]-|", 0, {"a.leading == super.leading*1 + 20 @1000", "super.trailing == a.trailing*1 + 20 @1000"}},
        {"H:|-8-[a(==50)]-[b(>=a@750)]", 0,
         {"a.width == nil*1 + 50 @1000", "b.width >= a.width*1 + 0 @750", "a.leading == super.leading*1 + 8 @1000",
          "b.leading == a.trailing*1 + 8 @1000"}},
        {"V:|[a][b]|", 0,
         {"a.top == super.top*1 + 0 @1000", "b.top == a.bottom*1 + 0 @1000", "super.bottom == b.bottom*1 + 0 @1000"}},
        {"V:[a]-(>=margin,<=40@500)-[b]", 0,
         {"b.top >= a.bottom*1 + 12 @1000", "b.top <= a.bottom*1 + 40 @500"}},
        {"[a]-gap-[b]", NSLayoutFormatAlignAllTop | NSLayoutFormatAlignAllBottom,
         {"b.leading == a.trailing*1 + 16 @1000", "b.top == a.top*1 + 0 @1000", "b.bottom == a.bottom*1 + 0 @1000"}},
        {"H:[a]-10-[b]", NSLayoutFormatDirectionLeftToRight, {"b.left == a.right*1 + 10 @1000"}},
        {"H:|-5-[a]-10-[b]", NSLayoutFormatDirectionRightToLeft,
         {"super.right == a.right*1 + 5 @1000", "a.left == b.right*1 + 10 @1000"}},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.format));
        Views v;
        auto list = NSLayoutConstraint::constraintsWithVisualFormat(c.format, c.options, {{"margin", 12}, {"gap", 16}},
                                                                    v.map());
        std::vector<std::string> got;
        for (auto& k : list) got.push_back(v.text(k));
        CHECK(got == c.expected);
        for (auto& k : list) CHECK_FALSE(k->isActive());
    }
}

TEST_CASE("visual format errors name their position") {
    struct Case {
        const char* format;
        std::size_t position;
        const char* says;
    };
    const Case cases[] = {
        {"H:[a]-[c]", 7, "c is not a key in the views dictionary"},
        {"H:[a]-x-[b]", 6, "x is not a key in the metrics dictionary"},
        {"H:[a]-8[b]", 7, "Expected '-'"},
        {"H:[a(==50]", 9, "Expected ')' or ','"},
        {"H:|-[a]-|-", 9, "Expected the end of the format"},
        {"H:a", 2, "Expected a view"},
        {"V:[a(==50@2000)]", 10, "A priority must lie between 1 and 1000"},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.format));
        Views v;
        try {
            (void)NSLayoutConstraint::constraintsWithVisualFormat(c.format, 0, {}, v.map());
            FAIL("accepted");
        } catch (const LayoutConstraintException& e) {
            CHECK(e.name() == "NSInvalidArgumentException");
            REQUIRE(e.position());
            CHECK(*e.position() == c.position);
            CHECK(e.reason().find(c.says) != std::string::npos);
            CHECK(e.reason().rfind(std::string(c.position, ' ') + "^") == e.reason().size() - c.position - 1);
        }
    }
    // Option refusals and a missing superview.
    Views v;
    auto refusalOf = [&](const std::string& format, NSLayoutFormatOptions options,
                         const NSLayoutConstraint::Views& views) {
        return refusal([&] { (void)NSLayoutConstraint::constraintsWithVisualFormat(format, options, {}, views); });
    };
    CHECK(refusalOf("H:[a][b]", NSLayoutFormatAlignAllLeading, v.map()) == "NSInvalidArgumentException");
    CHECK(refusalOf("V:[a][b]", NSLayoutFormatAlignAllTop, v.map()) == "NSInvalidArgumentException");
    auto orphan = std::make_shared<UIView>();
    CHECK(refusalOf("|[o]", 0, {{"o", orphan}}) == "NSInvalidArgumentException");
}
