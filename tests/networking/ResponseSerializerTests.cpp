// Response serializers: validation, parsing, error chaining, archiving and copying.
#include <doctest/doctest.h>

#include <bit>
#include <fstream>
#include <string>
#include <vector>

#include "networking/NLLocalizedString.h"
#include "networking/NLURLResponseSerialization.h"
#include "platform/foundation/NSBundle.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGImage.h"
#include "platform/imageio/CGImageDestination.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/imageio/ExifOrientation.h"
#include "platform/uikit/UIImage.h"
#include "support/SampleImages.h"
#include "support/TestEnvironment.h"

using testsupport::TempHome;

namespace {

std::shared_ptr<NSHTTPURLResponse> httpResponse(long status, const std::string& contentType,
                                                const std::string& url = "http://127.0.0.1/r") {
    HTTPHeaderFields fields;
    if (!contentType.empty()) fields["Content-Type"] = contentType;
    return NSHTTPURLResponse::initWithURL(url, status, "HTTP/1.1", fields);
}

Data bytes(const std::string& s) { return Data(s.begin(), s.end()); }

Data pngOf(std::size_t width, std::size_t height) {
    Data pixels(width * height * 4, 0x80);
    auto image = CGImage::create(width, height, 8, 32, width * 4, CGColorSpaceCreateDeviceRGB(),
                                 kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Big, pixels);
    REQUIRE(image);
    auto out = std::make_shared<Data>();
    auto destination = CGImageDestinationCreateWithData(out, "public.png", 1);
    REQUIRE(destination);
    CGImageDestinationAddImage(destination, image);
    REQUIRE(CGImageDestinationFinalize(destination));
    return *out;
}

}  // namespace

TEST_SUITE("response serializers") {

TEST_CASE("the base serializer accepts any content type with a 2xx status and returns the body") {
    auto serializer = NLHTTPResponseSerializer::serializer();
    NSErrorPtr error;
    Value object = serializer->responseObjectForResponse(httpResponse(200, "text/html"), bytes("<p>hi</p>"), &error);
    CHECK_FALSE(error);
    REQUIRE(object.data());
    CHECK(*object.data() == bytes("<p>hi</p>"));
    CHECK(serializer->stringEncoding() == NSUTF8StringEncoding);
    REQUIRE(serializer->acceptableStatusCodes());
    CHECK(serializer->acceptableStatusCodes()->size() == 100);
    CHECK(serializer->acceptableStatusCodes()->count(200) == 1);
    CHECK(serializer->acceptableStatusCodes()->count(300) == 0);
}

TEST_CASE("the base serializer reports a 500 with the body and keeps returning it") {
    auto serializer = NLHTTPResponseSerializer::serializer();
    auto response = httpResponse(500, "text/plain", "http://127.0.0.1/broken");
    NSErrorPtr error;
    Value object = serializer->responseObjectForResponse(response, bytes("oops"), &error);
    REQUIRE(object.data());
    CHECK(*object.data() == bytes("oops"));
    REQUIRE(error);
    CHECK(error->domain() == "com.netline.error.serialization.response");
    CHECK(error->code() == -1011);
    CHECK(error->localizedDescription() ==
          "Request failed: " + NSHTTPURLResponse::localizedStringForStatusCode(500) + " (500)");
    CHECK(error->userInfo()[NSURLErrorFailingURLErrorKey].stringValue() == "http://127.0.0.1/broken");
    CHECK(error->userInfo()["com.netline.serialization.response.error.response"].object() == response);
    REQUIRE(error->userInfo()["com.netline.serialization.response.error.data"].data());
    CHECK(*error->userInfo()["com.netline.serialization.response.error.data"].data() == bytes("oops"));
    CHECK_FALSE(error->underlyingError());
}

TEST_CASE("a response that is not HTTP always passes validation") {
    auto serializer = NLJSONResponseSerializer::serializer();
    auto plain = std::make_shared<NSURLResponse>("file:///tmp/x", std::string("text/html"), 3, std::nullopt);
    NSErrorPtr error;
    CHECK(serializer->validateResponse(nullptr, bytes("abc"), &error));
    CHECK_FALSE(error);
    // The JSON parse still runs and fails on the body.
    Value object = serializer->responseObjectForResponse(plain, bytes("abc"), &error);
    CHECK_FALSE(object);
    REQUIRE(error);
    CHECK(error->domain() == NSCocoaErrorDomain);
    CHECK(error->code() == 3840);
}

TEST_CASE("the JSON serializer refuses a 500 html page with the status error over the content-type error") {
    auto serializer = NLJSONResponseSerializer::serializer();
    NSErrorPtr error;
    Value object = serializer->responseObjectForResponse(httpResponse(500, "text/html"), bytes("<html/>"), &error);
    CHECK_FALSE(object);
    REQUIRE(error);
    CHECK(error->code() == -1011);
    REQUIRE(error->underlyingError());
    CHECK(error->underlyingError()->domain() == "com.netline.error.serialization.response");
    CHECK(error->underlyingError()->code() == -1016);
    CHECK(error->underlyingError()->localizedDescription() == "Request failed: unacceptable content-type: text/html");
    CHECK(NLErrorOrUnderlyingErrorHasCodeInDomain(error, -1016, NLURLResponseSerializationErrorDomain));
}

TEST_CASE("the JSON serializer parses the body of a 400 JSON answer and reports the status") {
    auto serializer = NLJSONResponseSerializer::serializer();
    NSErrorPtr error;
    Value object = serializer->responseObjectForResponse(httpResponse(400, "application/json"),
                                                         bytes("{\"reason\":\"bad\"}"), &error);
    CHECK(object["reason"].stringValue() == "bad");
    REQUIRE(error);
    CHECK(error->code() == -1011);
}

TEST_CASE("a single space or an empty JSON body gives nothing and no error") {
    auto serializer = NLJSONResponseSerializer::serializer();
    for (const char* body : {" ", ""}) {
        NSErrorPtr error;
        Value object = serializer->responseObjectForResponse(httpResponse(200, "application/json"), bytes(body), &error);
        CHECK_FALSE(object);
        CHECK_FALSE(error);
    }
}

TEST_CASE("invalid and truncated JSON give a parse error and no object") {
    auto serializer = NLJSONResponseSerializer::serializer();
    for (const char* body : {"{\"a\": [1, 2", "not json", "{\"a\":1}}"}) {
        NSErrorPtr error;
        Value object = serializer->responseObjectForResponse(httpResponse(200, "application/json"), bytes(body), &error);
        CHECK_FALSE(object);
        REQUIRE(error);
        CHECK(error->domain() == NSCocoaErrorDomain);
        CHECK(error->code() == 3840);
    }
    // A parse error on a 500 JSON answer comes on top of the status error.
    NSErrorPtr error;
    serializer->responseObjectForResponse(httpResponse(500, "application/json"), bytes("{oops"), &error);
    REQUIRE(error);
    CHECK(error->code() == 3840);
    REQUIRE(error->underlyingError());
    CHECK(error->underlyingError()->code() == -1011);
}

TEST_CASE("a page of titles with a lone surrogate escape in one field reads whole, the escape as U+FFFD") {
    std::string page = "{\"data\":[";
    for (int i = 0; i < 30; ++i)
        page += std::string(i ? "," : "") + "{\"id\":" + std::to_string(i) + ",\"title\":\"Title " +
                (i == 17 ? "\\ud800" : "") + std::to_string(i) + "\"}";
    page += "]}";
    NSErrorPtr error;
    Value object = NLJSONResponseSerializer::serializer()->responseObjectForResponse(
        httpResponse(200, "application/json"), bytes(page), &error);
    CHECK_FALSE(error);
    REQUIRE(object["data"].count() == 30);
    CHECK(object["data"][17]["title"].stringValue() == "Title \xEF\xBF\xBD" "17");
    CHECK(object["data"][29]["title"].stringValue() == "Title 29");
}

TEST_CASE("top-level JSON fragments need the fragments option") {
    NSErrorPtr error;
    auto strict = NLJSONResponseSerializer::serializer();
    CHECK_FALSE(strict->responseObjectForResponse(httpResponse(200, "application/json"), bytes("42"), &error));
    REQUIRE(error);
    CHECK(error->code() == 3840);
    error.reset();
    auto lenient = NLJSONResponseSerializer::serializerWithReadingOptions(NSJSONReadingAllowFragments);
    Value v = lenient->responseObjectForResponse(httpResponse(200, "application/json"), bytes("42"), &error);
    CHECK_FALSE(error);
    CHECK(v.integerValue() == 42);
}

TEST_CASE("the JSON body is decoded with any charset the response names, and undecodable bytes are an error") {
    struct Case {
        const char* name;
        std::string contentType;
        Data body;
        std::optional<std::string> text;  // the "n" member; nullopt: -1016
    };
    auto json = [](std::initializer_list<std::uint8_t> inner) {
        std::string text = "{\"n\":\"";
        text.append(inner.begin(), inner.end());
        text += "\"}";
        return Data(text.begin(), text.end());  // one allocation of the exact size
    };
    const std::vector<Case> cases = {
        {"Latin-1", "application/json; charset=iso-8859-1", json({0xE9}), "\xC3\xA9"},
        {"windows-1252 quotes and euro", "application/json; charset=windows-1252", json({0x93, 0x80, 0x94}),
         "\xE2\x80\x9C\xE2\x82\xAC\xE2\x80\x9D"},
        {"a quoted alias in capitals", "application/json; charset=\"CP1252\"", json({0x80}), "\xE2\x82\xAC"},
        {"KOI8-R", "application/json; charset=koi8-r", json({0xCB, 0xC9, 0xCE, 0xCF}),
         "\xD0\xBA\xD0\xB8\xD0\xBD\xD0\xBE"},
        {"Shift_JIS", "application/json; charset=Shift_JIS", json({0x89, 0x66, 0x89, 0xE6}),
         "\xE6\x98\xA0\xE7\x94\xBB"},
        {"UTF-8 by default", "application/json", json({0xC3, 0xA9}), "\xC3\xA9"},
        {"bytes that are no UTF-8", "application/json", json({0xE9}), std::nullopt},
        {"a Shift_JIS lead byte without its second byte", "application/json; charset=Shift_JIS", json({0x89}),
         std::nullopt},
        {"a byte US-ASCII does not have", "application/json; charset=us-ascii", json({0xE9}), std::nullopt},
        {"an unknown charset reads as UTF-8", "application/json; charset=x-unheard-of", json({0xE9}), std::nullopt},
    };
    auto serializer = NLJSONResponseSerializer::serializer();
    for (const auto& c : cases) {
        INFO(std::string(c.name));
        NSErrorPtr error;
        Value object = serializer->responseObjectForResponse(httpResponse(200, c.contentType), c.body, &error);
        if (c.text) {
            CHECK_FALSE(error);
            CHECK(object["n"].stringValue() == *c.text);
        } else {
            CHECK_FALSE(object);
            REQUIRE(error);
            CHECK(error->domain() == NLURLResponseSerializationErrorDomain);
            CHECK(error->code() == NLURLErrorCannotDecodeContentData);
            CHECK(error->userInfo()[NLNetworkingOperationFailingURLResponseDataErrorKey] == Value(c.body));
        }
    }
    // Named encodings and the numbers given to other charsets.
    CHECK(NLStringEncodingForIANACharSetName("UTF-8") == NSUTF8StringEncoding);
    CHECK(NLStringEncodingForIANACharSetName("latin1") == NSISOLatin1StringEncoding);
    CHECK(NLStringEncodingForIANACharSetName("Windows-1252") == NSWindowsCP1252StringEncoding);
    auto koi = NLStringEncodingForIANACharSetName("KOI8-R");
    REQUIRE(koi);
    CHECK(NLStringEncodingForIANACharSetName("koi8-r") == koi);
    CHECK(stringWithData(Data{0xCB, 0xC9}, *koi) == std::optional<std::string>("\xD0\xBA\xD0\xB8"));
    CHECK(dataUsingEncoding("\xD0\xBA\xD0\xB8", *koi) == std::optional<Data>(Data{0xCB, 0xC9}));
    CHECK_FALSE(dataUsingEncoding("\xE2\x82\xAC", NSWindowsCP1251StringEncoding) == std::nullopt);
    CHECK_FALSE(dataUsingEncoding("\xE6\x98\xA0", NSWindowsCP1252StringEncoding));
    CHECK_FALSE(NLStringEncodingForIANACharSetName("x-klingon"));
}

TEST_CASE("null values are removed from JSON objects at every depth when asked") {
    auto serializer = NLJSONResponseSerializer::serializer();
    serializer->setRemovesKeysWithNullValues(true);
    NSErrorPtr error;
    Value object = serializer->responseObjectForResponse(
        httpResponse(200, "text/json"), bytes(R"({"a":null,"b":1,"c":[{"a":null,"d":2},null],"e":{"a":null,"f":{"a":null}}})"),
        &error);
    CHECK_FALSE(error);
    CHECK(object.count() == 3);
    CHECK(object["b"].integerValue() == 1);
    CHECK(object["c"].count() == 2);
    CHECK(object["c"][0].count() == 1);
    CHECK(object["c"][0]["d"].integerValue() == 2);
    CHECK(object["c"][1].isNull());  // nulls inside lists stay
    CHECK(object["e"].count() == 1);
    CHECK(object["e"]["f"].count() == 0);
}

TEST_CASE("a content-type mismatch on an empty body is invalid without an error object") {
    auto serializer = NLJSONResponseSerializer::serializer();
    NSErrorPtr error = NSError::make("x", 1, "stale");
    CHECK_FALSE(serializer->validateResponse(httpResponse(200, "text/html"), Data{}, &error));
    CHECK_FALSE(error);
    // With an out-parameter the gate lets parsing go on: an empty body still gives nothing.
    CHECK_FALSE(serializer->responseObjectForResponse(httpResponse(200, "text/html"), Data{}, &error));
    CHECK_FALSE(error);
}

TEST_CASE("error chaining keeps an existing underlying error") {
    auto first = NSError::make("a", 1, "first");
    auto second = NSError::make("b", 2, "second");
    CHECK(NLErrorWithUnderlyingError(nullptr, first) == first);
    CHECK(NLErrorWithUnderlyingError(second, nullptr) == second);
    auto chained = NLErrorWithUnderlyingError(second, first);
    CHECK(chained->domain() == "b");
    CHECK(chained->underlyingError() == first);
    CHECK(NLErrorWithUnderlyingError(chained, NSError::make("c", 3, "third")) == chained);
}

TEST_CASE("the property-list serializer reads XML property lists and reports bad ones") {
    auto serializer = NLPropertyListResponseSerializer::serializer();
    CHECK(serializer->format() == NSPropertyListXMLFormat_v1_0);
    const std::string plist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist SYSTEM "plist.dtd">
<plist version="1.0">
<dict>
  <key>name</key><string>Tom &amp; Jerry</string>
  <key>count</key><integer>-7</integer>
  <key>ratio</key><real>0.5</real>
  <key>on</key><true/>
  <key>blob</key><data>aGVsbG8=</data>
  <key>list</key><array><string>a</string><false/><dict/></array>
</dict>
</plist>)";
    NSErrorPtr error;
    Value v = serializer->responseObjectForResponse(httpResponse(200, "application/x-plist"), bytes(plist), &error);
    CHECK_FALSE(error);
    CHECK(v["name"].stringValue() == "Tom & Jerry");
    CHECK(v["count"].integerValue() == -7);
    CHECK(v["ratio"].doubleValue() == doctest::Approx(0.5));
    CHECK(v["on"].boolValue());
    REQUIRE(v["blob"].data());
    CHECK(*v["blob"].data() == bytes("hello"));
    CHECK(v["list"].count() == 3);
    CHECK(v["list"][2].isDictionary());

    for (const char* bad : {"<plist><dict><key>a</key></dict></plist>", "<plist><integer>x</integer></plist>",
                            "<plist><dict>", "garbage"}) {
        error.reset();
        CHECK_FALSE(serializer->responseObjectForResponse(httpResponse(200, "application/x-plist"), bytes(bad), &error));
        REQUIRE(error);
        CHECK(error->code() == 3840);
    }
}

TEST_CASE("the image serializer gives an image at its scale, inflated when small, animated when the file is") {
    using namespace sampleimages;
    auto serializer = NLImageResponseSerializer::serializer();
    CHECK(serializer->automaticallyInflatesResponseImage());
    serializer->setImageScale(2);
    const CGBitmapInfo display = kCGImageAlphaPremultipliedFirst | (std::endian::native == std::endian::little
                                                                       ? kCGBitmapByteOrder32Little
                                                                       : kCGBitmapByteOrder32Big);
    NSErrorPtr error;

    // A small PNG with an alpha channel: drawn into the display's layout, pixels unchanged.
    const PixelFn opaque = noise(7);
    Value v = serializer->responseObjectForResponse(httpResponse(200, "image/png"), png(30, 20, opaque), &error);
    CHECK_FALSE(error);
    auto image = v.objectAs<UIImage>();
    REQUIRE(image);
    CHECK(image->scale() == 2);
    CHECK(image->size().width == 15);
    CHECK(image->size().height == 10);
    CHECK(image->CGImage()->bitmapInfo() == display);
    CHECK(maxDifference(image->CGImage(), 30, 20, opaque) == 0);

    // Not inflated when asked not to, above 1024 x 1024 pixels or above 8 bits per component.
    struct Case {
        const char* name;
        Data body;
        bool inflates;
    };
    PngOptions deep;
    deep.bitDepth = 16;
    const std::vector<Case> kept = {
        {"inflation off", png(30, 20, pattern), false},
        {"1025 x 1024 pixels", png(1025, 1024, pattern), true},
        {"16 bits per component", png(30, 20, pattern, deep), true},
    };
    for (const auto& c : kept) {
        INFO(std::string(c.name));
        auto source = CGImageSourceCreateWithData(c.body);
        auto decoded = CGImageSourceCreateImageAtIndex(source, 0);
        REQUIRE(decoded);
        serializer->setAutomaticallyInflatesResponseImage(c.inflates);
        auto plain = serializer->responseObjectForResponse(httpResponse(200, "image/png"), c.body, &error)
                         .objectAs<UIImage>();
        REQUIRE(plain);
        CHECK(plain->scale() == 2);
        CHECK(plain->CGImage()->width() == decoded->width());
        CHECK(plain->CGImage()->bitmapInfo() == decoded->bitmapInfo());
        CHECK(maxDifference(plain->CGImage(), decoded) == 0);
    }
    serializer->setAutomaticallyInflatesResponseImage(true);

    // The orientation a JPEG names.
    JpegOptions rotated;
    rotated.app1 = makeExifOrientationAPP1(6);
    image = serializer->responseObjectForResponse(httpResponse(200, "image/jpeg"), jpeg(40, 30, pattern, rotated), &error)
                .objectAs<UIImage>();
    REQUIRE(image);
    CHECK(image->imageOrientation() == UIImageOrientationRight);
    CHECK(image->size().width == 15);  // 30 pixels high, on its side, at scale 2
    CHECK(image->CGImage()->bitmapInfo() == (kCGImageAlphaNoneSkipFirst | (display & kCGBitmapByteOrderMask)));

    // An animated GIF: every frame, with the delays summed, not inflated.
    GifFrame first, second;
    first.width = second.width = 4;
    first.height = second.height = 4;
    first.indices.assign(16, 0);
    second.indices.assign(16, 1);
    first.delay = 20;
    second.delay = 30;
    Data animation = gif(4, 4, {CGPixel{255, 0, 0, 255}, CGPixel{0, 0, 255, 255}}, {first, second});
    image = serializer->responseObjectForResponse(httpResponse(200, "image/gif"), animation, &error)
                .objectAs<UIImage>();
    REQUIRE(image);
    REQUIRE(image->images().size() == 2);
    CHECK(image->duration() == doctest::Approx(0.5));
    CHECK(image->images()[1]->scale() == 2);
    CHECK(image->images()[1]->CGImage()->pixelAt(0, 0).b == 255);

    CHECK_FALSE(serializer->responseObjectForResponse(httpResponse(200, "image/png"), bytes("not a png"), &error));
    CHECK_FALSE(serializer->responseObjectForResponse(httpResponse(200, "text/plain"), bytes("x"), &error));
    REQUIRE(error);
    CHECK(error->code() == -1016);
}

TEST_CASE("a compound of JSON and image serializers returns the image without the JSON member's error") {
    auto compound = NLCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
        {NLJSONResponseSerializer::serializer(), NLImageResponseSerializer::serializer()});
    NSErrorPtr error;
    Value v = compound->responseObjectForResponse(httpResponse(200, "image/png"), pngOf(2, 2), &error);
    CHECK(v.objectAs<UIImage>());
    CHECK_FALSE(error);
    // No member answers: the compound's own base behaviour gives the body.
    v = compound->responseObjectForResponse(httpResponse(404, "text/plain"), bytes("missing"), &error);
    REQUIRE(v.data());
    CHECK(*v.data() == bytes("missing"));
    REQUIRE(error);
    CHECK(error->code() == -1011);
}

TEST_CASE("serializers archive and copy their settings") {
    auto json = NLJSONResponseSerializer::serializerWithReadingOptions(NSJSONReadingMutableContainers);
    json->setRemovesKeysWithNullValues(true);
    json->setAcceptableStatusCodes(std::set<long>{200, 201});
    Value archive = json->encodeWithCoder();
    CHECK(archive["readingOptions"].unsignedLongLongValue() == 1);
    CHECK(archive["removesKeysWithNullValues"].boolValue());
    auto decoded = std::dynamic_pointer_cast<NLJSONResponseSerializer>(NLResponseSerializerWithCoder(archive));
    REQUIRE(decoded);
    CHECK(decoded->readingOptions() == 1);
    CHECK(decoded->removesKeysWithNullValues());
    CHECK(decoded->acceptableStatusCodes() == std::optional<std::set<long>>(std::set<long>{200, 201}));
    CHECK(decoded->acceptableContentTypes() == json->acceptableContentTypes());

    // A copy of a JSON serializer carries its options, not its status codes.
    auto copy = std::dynamic_pointer_cast<NLJSONResponseSerializer>(json->copy());
    REQUIRE(copy);
    CHECK(copy.get() != json.get());
    CHECK(copy->removesKeysWithNullValues());
    CHECK(copy->acceptableStatusCodes()->size() == 100);

    auto base = NLHTTPResponseSerializer::serializer();
    base->setAcceptableContentTypes(std::set<std::string>{"text/plain"});
    auto baseCopy = base->copy();
    CHECK(baseCopy->acceptableContentTypes() == base->acceptableContentTypes());

    auto plist = NLPropertyListResponseSerializer::serializerWithFormat(200, 2);
    auto plistBack = std::dynamic_pointer_cast<NLPropertyListResponseSerializer>(
        NLResponseSerializerWithCoder(plist->encodeWithCoder()));
    REQUIRE(plistBack);
    CHECK(plistBack->format() == 200);
    CHECK(plistBack->readOptions() == 2);

    auto compound = NLCompoundResponseSerializer::compoundSerializerWithResponseSerializers({json, plist});
    auto compoundBack = std::dynamic_pointer_cast<NLCompoundResponseSerializer>(
        NLResponseSerializerWithCoder(compound->encodeWithCoder()));
    REQUIRE(compoundBack);
    REQUIRE(compoundBack->responseSerializers().size() == 2);
    CHECK(std::dynamic_pointer_cast<NLJSONResponseSerializer>(compoundBack->responseSerializers()[0]));
    CHECK(std::dynamic_pointer_cast<NLPropertyListResponseSerializer>(compoundBack->responseSerializers()[1]));
    CHECK_FALSE(NLResponseSerializerWithCoder(Value{{"$class", "NoSuchSerializer"}}));
}

TEST_CASE("error texts come from the Netline string table with the key as fallback") {
    TempHome bundleHome;
    {
        std::ofstream table(bundleHome.path() + "/Netline.strings.json");
        table << R"json({"Request failed: %@ (%ld)": "Anfrage gescheitert: %@ (%ld)"})json";
    }
    struct Restore {
        std::shared_ptr<NSBundle> previous;
        ~Restore() { NLSetStringTableBundle(previous); }
    } restore{NLSetStringTableBundle(std::make_shared<NSBundle>(bundleHome.path()))};
    CHECK(NLLocalizedString("A text the table does not have") == "A text the table does not have");
    NSErrorPtr error;
    NLHTTPResponseSerializer::serializer()->responseObjectForResponse(httpResponse(404, "text/html"), bytes("x"),
                                                                      &error);
    REQUIRE(error);
    CHECK(error->localizedDescription() ==
          "Anfrage gescheitert: " + NSHTTPURLResponse::localizedStringForStatusCode(404) + " (404)");
    // The main bundle ships its own table, with every text of the serializers'
    // errors, the two of an undecodable body in its charset among them.
    auto shipped = NSBundle::mainBundle()->pathForResource("Netline.strings", "json");
    REQUIRE(shipped);
    std::ifstream in(*shipped);
    auto table = Value::fromJSON(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    REQUIRE(table);
    for (const char* key : {"Request failed: %@ (%ld)", "Request failed: unacceptable content-type: %@",
                            "Data failed decoding as a UTF-8 string", "Could not decode string: %@",
                            "Data failed decoding as a string in its character set", "Could not decode the body as %@"}) {
        INFO(key);
        CHECK((*table)[key].isString());
    }
}

}  // TEST_SUITE
