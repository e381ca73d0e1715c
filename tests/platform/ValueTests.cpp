// Protects the dynamic value: integer and boolean conversions, number scanning and printing, comparison, shared containers, boxed structs, property lists and JSON.
#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

namespace {
class Thing : public NSObject {};
constexpr auto kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr auto kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr auto kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto kInt64Min = std::numeric_limits<std::int64_t>::min();
}  // namespace

TEST_CASE("intValue saturates at the 32 bit range") {
    CHECK(Value(5000000000LL).intValue() == kInt32Max);
    CHECK(Value(-5000000000LL).intValue() == kInt32Min);
    CHECK(Value(-5e9).intValue() == kInt32Min);
    CHECK(Value("99999999999").intValue() == kInt32Max);
    CHECK(Value("-99999999999").intValue() == kInt32Min);
    CHECK(Value(std::numeric_limits<std::uint64_t>::max()).intValue() == kInt32Max);
    CHECK(Value(3.99).intValue() == 3);
    CHECK(Value(-3.99).intValue() == -3);
    CHECK(Value(kInt32Max).intValue() == kInt32Max);
}

TEST_CASE("64 bit conversions saturate and ignore nan") {
    CHECK(Value(1e300).integerValue() == kInt64Max);
    CHECK(Value(-1e300).integerValue() == kInt64Min);
    CHECK(Value(std::numeric_limits<double>::quiet_NaN()).integerValue() == 0);
    CHECK(Value(std::numeric_limits<std::uint64_t>::max()).integerValue() == kInt64Max);
    CHECK(Value("99999999999999999999999").integerValue() == kInt64Max);
    CHECK(Value("-99999999999999999999999").integerValue() == kInt64Min);
    CHECK(Value("-9223372036854775808").integerValue() == kInt64Min);
    CHECK(Value(1e30).unsignedLongLongValue() == std::numeric_limits<std::uint64_t>::max());
}

TEST_CASE("every integer conversion of nan, infinities and out-of-range doubles is defined") {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr auto kUInt64Max = std::numeric_limits<std::uint64_t>::max();
    struct Row {
        double d;
        std::int32_t i;
        std::int64_t ll;
        std::uint32_t u;
        std::uint64_t ull;
    };
    for (const Row& row : {Row{kNaN, 0, 0, 0, 0}, Row{-kNaN, 0, 0, 0, 0},
                           Row{kInf, kInt32Max, kInt64Max, 0xFFFFFFFFu, kUInt64Max},
                           Row{-kInf, kInt32Min, kInt64Min, 0, 0x8000000000000000ull},
                           Row{1e20, kInt32Max, kInt64Max, 0xFFFFFFFFu, kUInt64Max},
                           Row{-1.0, -1, -1, 0xFFFFFFFFu, kUInt64Max}}) {
        const Value v(row.d);
        CHECK_MESSAGE(v.intValue() == row.i, row.d);
        CHECK_MESSAGE(v.longLongValue() == row.ll, row.d);
        CHECK_MESSAGE(v.unsignedIntValue() == row.u, row.d);
        CHECK_MESSAGE(v.unsignedLongLongValue() == row.ull, row.d);
    }
    CHECK(Value(1e300).floatValue() == std::numeric_limits<float>::infinity());
    CHECK(Value(-1e300).floatValue() == -std::numeric_limits<float>::infinity());
    CHECK(std::isnan(Value(kNaN).floatValue()));
}

TEST_CASE("boolValue of strings follows the platform rule") {
    // After white space, an optional sign and leading zeros: a digit 1 to 9 or Y, y, T, t.
    for (const char* yes : {"Y", "yes", "YES", "true", "T", " 12", "-1", "+0001", "  y", "9", "0T", "+y", "00true",
                            "-0Yes", " \t+00t"})
        CHECK_MESSAGE(Value(yes).boolValue(), yes);
    for (const char* no : {"0", "", "no", "NO", "false", "00", " ", "-0", "abc", "0.5", "N", "+", "0n", "+-1", "0 1"})
        CHECK_MESSAGE(!Value(no).boolValue(), no);
}

TEST_CASE("boolValue of numbers is true for anything not zero") {
    CHECK(Value(0.5).boolValue());
    CHECK(Value(-1).boolValue());
    CHECK_FALSE(Value(0).boolValue());
    CHECK_FALSE(Value(0.0).boolValue());
    CHECK(Value(true).boolValue());
    CHECK_FALSE(Value().boolValue());
    CHECK_FALSE(Value::array({1}).boolValue());
}

TEST_CASE("numeric strings scan a leading number") {
    CHECK(Value(" 42abc").intValue() == 42);
    CHECK(Value("+7").intValue() == 7);
    CHECK(Value("abc").intValue() == 0);
    CHECK(Value("-").intValue() == 0);
    CHECK(Value("3.5e2x").doubleValue() == 350.0);
    CHECK(Value("1e").doubleValue() == 1.0);
    CHECK(Value(".5").doubleValue() == 0.5);
    CHECK(Value("12.9").intValue() == 12);
    CHECK(Value("  -0.25").floatValue() == -0.25f);
    CHECK(Value("0x10").intValue() == 0);  // no hexadecimal
}

TEST_CASE("numbers describe themselves in their shortest form") {
    CHECK(Value(42).stringValue() == "42");
    CHECK(Value(0.1).stringValue() == "0.1");
    CHECK(Value(2.0).stringValue() == "2");
    CHECK(Value(true).stringValue() == "1");
    CHECK(Value(std::numeric_limits<std::uint64_t>::max()).stringValue() == "18446744073709551615");
    CHECK(Value(Data{1, 2, 3, 4, 5}).description() == "<01020304 05>");
}

TEST_CASE("numbers compare by value across kinds") {
    CHECK(Value(1) == Value(1.0));
    CHECK(Value(true) == Value(1));
    CHECK(Value(-1) != Value(std::numeric_limits<std::uint64_t>::max()));
    CHECK(Value(2).compare(Value(10)) == -1);
    CHECK(Value(2.5).compare(Value(2)) == 1);
    CHECK(Value("b").compare(Value("a")) == 1);
    CHECK(Value(kInt64Max).compare(Value(kInt64Max - 1)) == 1);  // not through doubles
}

TEST_CASE("containers are shared by reference and copy deeply") {
    Value dict{{"list", Value::array({1, 2})}};
    Value alias = dict;
    alias.setObject("added", "yes");
    CHECK(dict["added"] == Value("yes"));  // the same dictionary
    Value copy = dict.copy();
    copy["list"].append(3);
    copy.setObject("added", "no");
    CHECK(dict["list"].count() == 2);
    CHECK(dict["added"] == Value("yes"));
    CHECK(copy["list"].count() == 3);
    dict.setObject("added", Value());  // null removes
    CHECK_FALSE(dict["added"]);
    CHECK(dict["list"][5].isNull());
    CHECK(Value(3)["key"].isNull());
}

TEST_CASE("boxed structs are equal by type encoding and bytes, in containers too, and read back only with their encoding") {
    struct Pair {
        double a, b;
    };
    const Value box(NSValue::valueWithBytes(Pair{1, 2}, "{Pair=dd}"));
    CHECK(box.isBoxed());
    CHECK(Value::array({box}) == Value::array({Value(NSValue::valueWithBytes(Pair{1, 2}, "{Pair=dd}"))}));
    CHECK(box != Value(NSValue::valueWithBytes(Pair{1, 3}, "{Pair=dd}")));
    CHECK(box != Value(NSValue::valueWithBytes(Pair{1, 2}, "{CGSize=dd}")));
    CHECK(box != Value(Data(box.boxed()->bytes)));  // the same bytes as data are not the box
    CHECK(box.boxed()->getValue<Pair>("{Pair=dd}")->b == 2);
    CHECK_FALSE(box.boxed()->getValue<Pair>("{CGSize=dd}"));
    CHECK_FALSE(box.isPropertyList());
    CHECK_FALSE(Value::array({box}).toJSON());
    CHECK(box.description() == Value(Data(box.boxed()->bytes)).description());
}

TEST_CASE("property lists exclude null and objects at any depth") {
    CHECK(Value{{"a", Value::array({1, "x", Value(Data{1}), Value(Date{1})})}}.isPropertyList());
    CHECK_FALSE(Value().isPropertyList());
    CHECK_FALSE(Value::array({1, Value()}).isPropertyList());
    CHECK_FALSE(Value{{"a", Value{{"b", Value(std::make_shared<Thing>())}}}}.isPropertyList());
}

TEST_CASE("json round trip keeps 64 bit integers and nesting") {
    Value v{{"big", Value(kInt64Max)},
            {"small", Value(kInt64Min)},
            {"ubig", Value(std::numeric_limits<std::uint64_t>::max())},
            {"d", 0.1},
            {"s", "\xC3\xA9\"\\\n"},
            {"a", Value::array({1, Value::array({2, Value::array({3})})})},
            {"n", Value()},
            {"t", true}};
    auto text = v.toJSON();
    REQUIRE(text);
    CHECK(text->find("9223372036854775807") != std::string::npos);
    CHECK(text->find("18446744073709551615") != std::string::npos);
    auto back = Value::fromJSON(*text);
    REQUIRE(back);
    CHECK(*back == v);
    CHECK((*back)["big"].type() == Value::Type::Integer);
    CHECK((*back)["big"].integerValue() == kInt64Max);
    CHECK((*back)["small"].integerValue() == kInt64Min);
    CHECK((*back)["ubig"].type() == Value::Type::Unsigned);
    CHECK((*back)["d"].type() == Value::Type::Double);
    CHECK((*back)["n"].isNull());
    CHECK((*back)["t"].type() == Value::Type::Bool);
}

TEST_CASE("json refuses deep nesting and values it cannot carry") {
    std::string deep(600, '[');
    deep += std::string(600, ']');
    std::string error;
    CHECK_FALSE(Value::fromJSON(deep, &error));
    CHECK_FALSE(error.empty());
    std::string deepest(512, '[');  // the deepest nesting read
    deepest += std::string(512, ']');
    CHECK(Value::fromJSON(deepest));
    CHECK_FALSE(Value::fromJSON("[" + deepest + "]"));
    CHECK_FALSE(Value::fromJSON("{\"a\":" + deepest + "}"));

    CHECK_FALSE(Value::fromJSON("{\"a\": }"));
    CHECK_FALSE(Value::fromJSON(""));
    CHECK_FALSE(Value(Data{1}).toJSON());
    CHECK_FALSE(Value(Date{1}).toJSON());
    CHECK_FALSE(Value(std::make_shared<Thing>()).toJSON());
    error.clear();
    CHECK_FALSE(Value::array({std::numeric_limits<double>::quiet_NaN()}).toJSON(false, &error));
    CHECK_FALSE(error.empty());
}

TEST_CASE("json escapes of lone surrogates read as U+FFFD, proper pairs and other escapes as written") {
    const std::string kReplacement = "\xEF\xBF\xBD";
    struct Row {
        const char* json;
        std::string decoded;
    };
    for (const Row& row : {Row{R"("\ud800")", kReplacement}, Row{R"("\uDFFF")", kReplacement},
                           Row{R"("a\udc00b")", "a" + kReplacement + "b"},
                           Row{R"("\ud800\u0041")", kReplacement + "A"},
                           Row{R"("\ud800\ud800\udc00")", kReplacement + "\xF0\x90\x80\x80"},
                           Row{R"("\ud800\n")", kReplacement + "\n"},
                           Row{R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
                           Row{R"("\\ud800")", "\\ud800"}}) {
        auto v = Value::fromJSON(row.json);
        REQUIRE_MESSAGE(v, row.json);
        CHECK_MESSAGE(*v->string() == row.decoded, row.json);
    }
    for (const char* broken : {R"("\ud80")", R"("\ud800\u12")", R"(\ud800)", R"("\ud800)"})
        CHECK_MESSAGE(!Value::fromJSON(broken), broken);
}
