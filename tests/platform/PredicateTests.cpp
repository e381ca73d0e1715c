// Protects predicates: format arguments, operators and precedence, nil comparisons, malformed and deeply nested formats, entity checks, round trips.
#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <map>

#include "ObjectStoreFixture.h"

using namespace storetest;

namespace {
bool eval(const std::shared_ptr<NSPredicate>& p, const std::map<std::string, Value>& values) {
    REQUIRE(p);
    return p->evaluate([&](const std::string& key) {
        auto it = values.find(key);
        return it == values.end() ? Value() : it->second;
    });
}
}  // namespace

TEST_CASE("predicate formats take their arguments in order") {
    auto p = NSPredicate::predicateWithFormat("movieID == %@", {Value(42)});
    REQUIRE(p);
    CHECK(p->predicateFormat() == "movieID == 42");
    CHECK(eval(p, {{"movieID", 42}}));
    CHECK_FALSE(eval(p, {{"movieID", 41}}));

    auto q = NSPredicate::predicateWithFormat("%K >= %d AND title != %@", {Value("movieYear"), Value(2000), Value("x")});
    REQUIRE(q);
    CHECK(q->predicateFormat() == "movieYear >= 2000 AND title != \"x\"");
    CHECK(eval(q, {{"movieYear", 2000}, {"title", "y"}}));
    CHECK_FALSE(eval(q, {{"movieYear", 1999}, {"title", "y"}}));
    CHECK_FALSE(eval(q, {{"movieYear", 2010}, {"title", "x"}}));
}

TEST_CASE("predicate operators keywords and precedence") {
    auto p = NSPredicate::predicateWithFormat("a = 1 or b <> 'x' and not c < 2.5");
    REQUIRE(p);
    // AND binds tighter than OR.
    CHECK(eval(p, {{"a", 1}, {"b", "x"}, {"c", 0}}));
    CHECK(eval(p, {{"a", 0}, {"b", "y"}, {"c", 3}}));
    CHECK_FALSE(eval(p, {{"a", 0}, {"b", "y"}, {"c", 2}}));
    CHECK_FALSE(eval(p, {{"a", 0}, {"b", "x"}, {"c", 3}}));

    auto grouped = NSPredicate::predicateWithFormat("(a == 1 || b == 2) && c => 3");
    REQUIRE(grouped);
    CHECK(eval(grouped, {{"b", 2}, {"c", 3}}));
    CHECK_FALSE(eval(grouped, {{"b", 2}, {"c", 2}}));

    CHECK(eval(NSPredicate::predicateWithFormat("flag == YES"), {{"flag", true}}));
    CHECK(eval(NSPredicate::predicateWithFormat("flag == true"), {{"flag", 1}}));
    CHECK_FALSE(eval(NSPredicate::predicateWithFormat("flag == NO"), {{"flag", true}}));
    CHECK(eval(NSPredicate::predicateWithFormat("TRUEPREDICATE"), {}));
    CHECK_FALSE(eval(NSPredicate::predicateWithFormat("FALSEPREDICATE"), {}));
    CHECK(eval(NSPredicate::predicateWithFormat("x <= -2.5e1"), {{"x", -30}}));
    CHECK(eval(NSPredicate::predicateWithFormat("s > \"a\\\"b\""), {{"s", "b"}}));
}

TEST_CASE("comparisons with nil are false except equality tests") {
    std::map<std::string, Value> none;
    CHECK(eval(NSPredicate::predicateWithFormat("x == nil"), none));
    CHECK_FALSE(eval(NSPredicate::predicateWithFormat("x != nil"), none));
    CHECK_FALSE(eval(NSPredicate::predicateWithFormat("x == 1"), none));
    CHECK(eval(NSPredicate::predicateWithFormat("x != 1"), none));
    CHECK_FALSE(eval(NSPredicate::predicateWithFormat("x < 1"), none));
    CHECK_FALSE(eval(NSPredicate::predicateWithFormat("x >= 1"), none));
    CHECK(eval(NSPredicate::predicateWithFormat("NOT x < 1"), none));
    CHECK(eval(NSPredicate::predicateWithFormat("x == %@", {Value()}), none));
}

TEST_CASE("malformed predicate formats give no predicate") {
    LogCapture log;
    CHECK_FALSE(NSPredicate::predicateWithFormat("movieID =="));
    CHECK_FALSE(NSPredicate::predicateWithFormat("== 5"));
    CHECK_FALSE(NSPredicate::predicateWithFormat("(a == 1"));
    CHECK_FALSE(NSPredicate::predicateWithFormat("a == 1)"));
    CHECK_FALSE(NSPredicate::predicateWithFormat("a == %@"));
    CHECK_FALSE(NSPredicate::predicateWithFormat("a ~ 1"));
    CHECK_FALSE(NSPredicate::predicateWithFormat("a == 'open"));
    CHECK_FALSE(NSPredicate::predicateWithFormat("a == 1 AND"));
    CHECK_FALSE(NSPredicate::predicateWithFormat("%K == 1", {Value(3)}));
    CHECK_FALSE(NSPredicate::predicateWithFormat(""));
    CHECK(log.contains("Unable to parse the format string \"a ~ 1\""));
}

TEST_CASE("a predicate bound to an entity checks keys and value types") {
    auto model = NSManagedObjectModel::initWithContentsOfURL(modelPath());
    REQUIRE(model);
    auto entity = model->entityForName("MoviesFavoritiesModel");
    NSErrorPtr error;
    CHECK(NSPredicate::predicateWithFormat("movieID == %@", {Value(3)})->boundToEntity(*entity, &error));
    CHECK_FALSE(error);

    CHECK_FALSE(NSPredicate::predicateWithFormat("rating == 3")->boundToEntity(*entity, &error));
    REQUIRE(error);
    CHECK(error->code() == NSCoreDataError);
    CHECK(error->localizedDescription().find("unknown key rating") != std::string::npos);

    error.reset();
    CHECK_FALSE(NSPredicate::predicateWithFormat("movieID == %@", {Value("3")})->boundToEntity(*entity, &error));
    CHECK(error);
    error.reset();
    CHECK_FALSE(NSPredicate::predicateWithFormat("title == 3")->boundToEntity(*entity, &error));
    CHECK(error);
    error.reset();
    CHECK_FALSE(NSPredicate::predicateWithFormat("title == movieID")->boundToEntity(*entity, &error));
    CHECK(error);
    CHECK(NSPredicate::predicateWithFormat("movieYear > movieID")->boundToEntity(*entity, nullptr));

    // A float attribute compares in single precision, as it stores.
    auto bound = NSPredicate::predicateWithFormat("movieRating == %@", {Value(7.3)})->boundToEntity(*entity, nullptr);
    REQUIRE(bound);
    CHECK(bound->right().constant.doubleValue() == static_cast<double>(7.3f));
}

TEST_CASE("deeply nested formats are refused, not parsed by unbounded recursion") {
    LogCapture log;
    auto nested = [](int depth, const std::string& open, const std::string& close) {
        std::string format;
        for (int i = 0; i < depth; ++i) format += open;
        format += "a == 1";
        for (int i = 0; i < depth; ++i) format += close;
        return format;
    };
    struct Case {
        std::string format;
        bool parses;
    };
    for (const Case& c : std::vector<Case>{
             {nested(3000, "(", ")"), false},
             {nested(100000, "(", ")"), false},
             {nested(3000, "NOT ", ""), false},
             {nested(3000, "!(", ")"), false},
             {nested(100, "(", ")"), true},
             {nested(100, "NOT ", ""), true},
         }) {
        CAPTURE(c.format.size());
        auto p = NSPredicate::predicateWithFormat(c.format);
        CHECK(static_cast<bool>(p) == c.parses);
        if (p) CHECK(eval(p, {{"a", 1}}));
    }
    CHECK(log.contains("nests deeper than"));
}

TEST_CASE("printed formats read back to the same predicate") {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Value& v : std::vector<Value>{Value(inf), Value(-inf), Value(nan), Value(-nan), Value(-0.0), Value(0.0),
                                             Value(2.0), Value(-3.0), Value(1e20), Value(0.1), Value(1e-300),
                                             Value(123456789012345.0), Value(7), Value(-5),
                                             Value(std::numeric_limits<std::uint64_t>::max())}) {
        auto p = NSPredicate::predicateWithFormat("x == %@", {v});
        REQUIRE(p);
        const std::string format = p->predicateFormat();
        CAPTURE(format);
        auto again = NSPredicate::predicateWithFormat(format);
        REQUIRE(again);
        CHECK(again->predicateFormat() == format);
        REQUIRE_FALSE(again->right().isKey);
        const Value& read = again->right().constant;
        CHECK(read.type() == v.type());
        const double a = read.doubleValue(), b = v.doubleValue();
        CHECK((std::isnan(a) ? std::isnan(b) : a == b));
        CHECK(std::signbit(a) == std::signbit(b));
        if (v.type() == Value::Type::Unsigned) CHECK(read.unsignedLongLongValue() == v.unsignedLongLongValue());
    }
    // The printed forms of numbers without digits are read in any case and only as whole words.
    CHECK(eval(NSPredicate::predicateWithFormat("x < +INF"), {{"x", 1e308}}));
    CHECK(eval(NSPredicate::predicateWithFormat("x > -Inf"), {{"x", -1e308}}));
    auto notANumber = NSPredicate::predicateWithFormat("x != +NaN");
    REQUIRE(notANumber);
    CHECK(std::isnan(notANumber->right().constant.doubleValue()));
    LogCapture log;
    CHECK_FALSE(NSPredicate::predicateWithFormat("x == +infinity"));
    CHECK_FALSE(NSPredicate::predicateWithFormat("x == -nan2"));
}
