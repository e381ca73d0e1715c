#include <doctest/doctest.h>

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
