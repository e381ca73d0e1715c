// Reading property lists: binary lists written by our writer read back the
// same, the format read is reported, and damaged or hostile binary lists give
// an error instead of a crash or a runaway result.
#include <doctest/doctest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/foundation/NSPropertyListSerialization.h"

namespace {

Value sampleList() {
    ValueArray many;
    for (int i = 0; i < 40; ++i) many.emplace_back(i * 1000 - 7);
    Data blob(300);
    for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<std::uint8_t>(i * 31);
    return Value{{"title", Value("Alien")},
                 {"unicode", Value("Amélie \xE2\x80\x94 \xF0\x9F\x8E\xAC")},
                 {"long text", Value(std::string(100, 'x'))},
                 {"count", Value(3)},
                 {"negative", Value(-1234567890123LL)},
                 {"huge", Value(static_cast<unsigned long long>(UINT64_MAX))},
                 {"rating", Value(7.25)},
                 {"released", Value(Date{1700000000.0})},
                 {"watched", Value(true)},
                 {"hidden", Value(false)},
                 {"poster", Value(blob)},
                 {"numbers", Value(many)},
                 {"empty array", Value(ValueArray{})},
                 {"empty dict", Value::dictionary()},
                 {"nested", Value{{"inner", Value(ValueArray{Value("a"), Value(Value{{"deep", Value(1)}})})}}}};
}

// A binary list from its objects (each already encoded) with one-byte refs.
Data binaryList(const std::vector<Data>& objects, std::uint64_t top = 0, int offsetSize = 1, int refSize = 1,
                std::optional<std::uint64_t> countOverride = {}, std::optional<std::uint64_t> tableOverride = {}) {
    Data out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<std::uint64_t> offsets;
    for (const auto& o : objects) {
        offsets.push_back(out.size());
        out.insert(out.end(), o.begin(), o.end());
    }
    auto put = [&](std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    std::uint64_t table = out.size();
    for (auto o : offsets) put(o, offsetSize);
    out.insert(out.end(), 6, 0);
    out.push_back(static_cast<std::uint8_t>(offsetSize));
    out.push_back(static_cast<std::uint8_t>(refSize));
    put(countOverride.value_or(objects.size()), 8);
    put(top, 8);
    put(tableOverride.value_or(table), 8);
    return out;
}

NSErrorPtr readFails(const Data& data) {
    NSErrorPtr error;
    NSPropertyListFormat format = NSPropertyListOpenStepFormat;
    auto result = NSPropertyListSerialization::propertyListWithData(data, 0, &format, &error);
    CHECK_FALSE(result);
    CHECK(format == NSPropertyListOpenStepFormat);  // untouched on failure
    return error;
}

}  // namespace

TEST_SUITE("property list reading") {

TEST_CASE("a binary list written by the writer reads back equal and reports the binary format") {
    Value list = sampleList();
    NSErrorPtr error;
    auto data = NSPropertyListSerialization::dataWithPropertyList(list, NSPropertyListBinaryFormat_v1_0, 0, &error);
    REQUIRE(data);
    NSPropertyListFormat format = NSPropertyListXMLFormat_v1_0;
    auto read = NSPropertyListSerialization::propertyListWithData(*data, 0, &format, &error);
    REQUIRE(read);
    CHECK_FALSE(error);
    CHECK(format == NSPropertyListBinaryFormat_v1_0);
    CHECK(*read == list);
    CHECK((*read)["unicode"].stringValue() == "Amélie \xE2\x80\x94 \xF0\x9F\x8E\xAC");
    CHECK((*read)["negative"].integerValue() == -1234567890123LL);
    CHECK((*read)["huge"].unsignedLongLongValue() == UINT64_MAX);
    CHECK((*read)["released"].date()->secondsSince1970 == doctest::Approx(1700000000.0));
    CHECK((*read)["poster"].data()->size() == 300);
}

TEST_CASE("a large binary list with wide references reads back") {
    ValueArray items;
    for (int i = 0; i < 70000; ++i) items.emplace_back(Value{{"id", Value(i)}});
    Value list(items);
    auto data = NSPropertyListSerialization::dataWithPropertyList(list, NSPropertyListBinaryFormat_v1_0);
    REQUIRE(data);
    auto read = NSPropertyListSerialization::propertyListWithData(*data);
    REQUIRE(read);
    REQUIRE(read->arrayRef()->size() == 70000);
    CHECK((*read->arrayRef())[69999]["id"].integerValue() == 69999);
    CHECK(*read == list);
}

TEST_CASE("an XML list still reads and reports the XML format") {
    Value list = sampleList();
    auto data = NSPropertyListSerialization::dataWithPropertyList(list, NSPropertyListXMLFormat_v1_0);
    REQUIRE(data);
    NSPropertyListFormat format = NSPropertyListBinaryFormat_v1_0;
    NSErrorPtr error;
    auto read = NSPropertyListSerialization::propertyListWithData(*data, 0, &format, &error);
    INFO((error ? error->description() : std::string()));
    REQUIRE(read);
    CHECK(format == NSPropertyListXMLFormat_v1_0);
    CHECK((*read)["title"].stringValue() == "Alien");
}

TEST_CASE("a hand-made binary list with a one-byte string and a dictionary reads") {
    // dict {"a": "b"}: objects 0 = dict, 1 = "a", 2 = "b"
    auto data = binaryList({Data{0xD1, 1, 2}, Data{0x51, 'a'}, Data{0x51, 'b'}});
    auto read = NSPropertyListSerialization::propertyListWithData(data);
    REQUIRE(read);
    CHECK((*read)["a"].stringValue() == "b");
}

TEST_CASE("an object referenced twice reads as two equal values") {
    auto data = binaryList({Data{0xA3, 1, 1, 2}, Data{0x53, 'f', 'o', 'o'}, Data{0xA1, 1}});
    auto read = NSPropertyListSerialization::propertyListWithData(data);
    REQUIRE(read);
    REQUIRE(read->arrayRef()->size() == 3);
    CHECK((*read)[0].stringValue() == "foo");
    CHECK((*read)[1].stringValue() == "foo");
    CHECK((*read)[2][0].stringValue() == "foo");
}

TEST_CASE("hostile binary lists give an error") {
    SUBCASE("an object offset past the objects") {
        auto data = binaryList({Data{0x51, 'a'}});
        data[9] = 0xF0;  // the single offset-table entry
        auto error = readFails(data);
        REQUIRE(error);
        CHECK(error->domain() == NSCocoaErrorDomain);
        CHECK(error->code() == 3840);
    }
    SUBCASE("an array that contains itself") { CHECK(readFails(binaryList({Data{0xA1, 0}}))); }
    SUBCASE("two arrays that contain each other") { CHECK(readFails(binaryList({Data{0xA1, 1}, Data{0xA1, 0}}))); }
    SUBCASE("a huge array count") {
        CHECK(readFails(binaryList({Data{0xAF, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}})));
        CHECK(readFails(binaryList({Data{0xDF, 0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}})));
    }
    SUBCASE("a huge string or data length") {
        CHECK(readFails(binaryList({Data{0x6F, 0x13, 0x80, 0, 0, 0, 0, 0, 0, 1, 'a'}})));
        CHECK(readFails(binaryList({Data{0x4F, 0x12, 0xFF, 0xFF, 0xFF, 0xF0, 'a'}})));
    }
    SUBCASE("a huge object count or table offset in the trailer") {
        CHECK(readFails(binaryList({Data{0x51, 'a'}}, 0, 1, 1, UINT64_MAX)));
        CHECK(readFails(binaryList({Data{0x51, 'a'}}, 0, 1, 1, std::nullopt, UINT64_MAX - 3)));
        CHECK(readFails(binaryList({Data{0x51, 'a'}}, 5)));  // top object out of range
        CHECK(readFails(binaryList({Data{0x51, 'a'}}, 0, 3)));  // offset size 3
        CHECK(readFails(binaryList({Data{0x51, 'a'}}, 0, 1, 0)));  // ref size 0
    }
    SUBCASE("a reference out of range") { CHECK(readFails(binaryList({Data{0xA2, 0x01, 0x09}, Data{0x09}}))); }
    SUBCASE("a dictionary key that is not a string") { CHECK(readFails(binaryList({Data{0xD1, 1, 1}, Data{0x10, 5}}))); }
    SUBCASE("shared sub-arrays that would multiply into billions of values") {
        // object i is an array holding object i+1 twice; the last is a string.
        std::vector<Data> objects;
        const int levels = 40;
        for (int i = 0; i < levels; ++i)
            objects.push_back(Data{0xA2, static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i + 1)});
        objects.push_back(Data{0x55, 'h', 'e', 'l', 'l', 'o'});
        CHECK(readFails(binaryList(objects)));
    }
    SUBCASE("another version or a truncated header") {
        auto data = binaryList({Data{0x09}});
        data[7] = '1';
        CHECK(readFails(data));
        CHECK(readFails(Data{'b', 'p', 'l', 'i', 's', 't', '0', '0'}));
    }
    SUBCASE("a non-ASCII byte in an ASCII string") { CHECK(readFails(binaryList({Data{0x51, 0xC3}}))); }
}

TEST_CASE("text that is not valid UTF-8 is refused, never changed") {
    SUBCASE("writing, in both formats") {
        const std::string broken = "caf\xC3";
        for (const Value& list : {Value(broken), Value::array({Value("ok"), Value(broken)}),
                                  Value{{broken, Value(1)}}, Value{{"k", Value{{"inner", Value("\xED\xA0\x80")}}}}}) {
            for (auto format : {NSPropertyListXMLFormat_v1_0, NSPropertyListBinaryFormat_v1_0}) {
                CAPTURE(format);
                NSErrorPtr error;
                CHECK_FALSE(NSPropertyListSerialization::dataWithPropertyList(list, format, 0, &error));
                REQUIRE(error);
                CHECK(error->code() == NSPropertyListWriteInvalidError);
                CHECK_FALSE(NSPropertyListSerialization::propertyListIsValidForFormat(list, format));
            }
        }
    }
    SUBCASE("reading XML") {
        auto xml = [](const std::string& body) {
            return dataFromString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body +
                                  "</plist>");
        };
        for (const std::string& body : {std::string("<string>caf\xC3</string>"),
                                        std::string("<dict><key>\xFF</key><integer>1</integer></dict>"),
                                        std::string("<string>&#xD800;</string>"), std::string("<string>&#55296;</string>"),
                                        std::string("<string>&#0;</string>"), std::string("<string>&#x110000;</string>"),
                                        std::string("<string>&#xZZ;</string>"), std::string("<string>&#;</string>"),
                                        std::string("<string>&#12a;</string>")}) {
            CAPTURE(body);
            CHECK(readFails(xml(body)));
        }
        auto read = NSPropertyListSerialization::propertyListWithData(xml("<string>&#233;&#x1F3AC;</string>"));
        REQUIRE(read);
        CHECK(*read->string() == "\xC3\xA9\xF0\x9F\x8E\xAC");
    }
    SUBCASE("reading binary") {
        CHECK(readFails(binaryList({Data{0x61, 0xD8, 0x00}})));                    // a lone high surrogate
        CHECK(readFails(binaryList({Data{0x61, 0xDC, 0x00}})));                    // a lone low surrogate
        CHECK(readFails(binaryList({Data{0x62, 0xD8, 0x3C, 0x00, 'a'}})));         // a high one before a letter
        CHECK(readFails(binaryList({Data{0xD1, 1, 2}, Data{0x61, 0xDC, 0x01}, Data{0x09}})));  // in a key
        auto pair = NSPropertyListSerialization::propertyListWithData(binaryList({Data{0x62, 0xD8, 0x3C, 0xDF, 0xAC}}));
        REQUIRE(pair);
        CHECK(*pair->string() == "\xF0\x9F\x8E\xAC");
    }
}

TEST_CASE("every truncation and every single-byte change of a binary list is survived") {
    Value list{{"a", Value(ValueArray{Value(1), Value("two"), Value(3.5)})}, {"b", Value(Data{1, 2, 3})}};
    auto data = NSPropertyListSerialization::dataWithPropertyList(list, NSPropertyListBinaryFormat_v1_0);
    REQUIRE(data);
    int failures = 0;
    for (std::size_t n = 0; n < data->size(); ++n) {
        Data cut(data->begin(), data->begin() + static_cast<std::ptrdiff_t>(n));
        if (!NSPropertyListSerialization::propertyListWithData(cut)) ++failures;
    }
    CHECK(failures == static_cast<int>(data->size()));  // no prefix is a whole list
    for (std::size_t i = 0; i < data->size(); ++i)
        for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x0F}, std::uint8_t{0x80}}) {
            Data changed = *data;
            changed[i] = value;
            NSErrorPtr error;
            auto read = NSPropertyListSerialization::propertyListWithData(changed, 0, nullptr, &error);
            CHECK((read.has_value() || error));  // a value or an error, never a crash
        }
}

}
