// Stand-ins behind the request serializers: preferred languages, type
// identifiers and MIME types, property-list writing, string transforms,
// Base64 and request body streams.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/CFStringTransform.h"
#include "platform/foundation/NSDataBase64.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSStream.h"
#include "platform/foundation/UTType.h"
#include "platform/net/NSURLRequest.h"
#include "support/TestEnvironment.h"

namespace {
std::string text(const Data& d) { return std::string(d.begin(), d.end()); }
}  // namespace

TEST_CASE("preferred languages come from the locale names or a pinned list") {
    CHECK(NSLocale::languageTagFromPOSIXLocale("fr_FR.UTF-8") == "fr-FR");
    CHECK(NSLocale::languageTagFromPOSIXLocale("pt_BR@euro") == "pt-BR");
    CHECK(NSLocale::languageTagFromPOSIXLocale("de") == "de");
    CHECK(NSLocale::languageTagFromPOSIXLocale("C.UTF-8").empty());
    CHECK(NSLocale::languageTagFromPOSIXLocale("POSIX").empty());
    CHECK_FALSE(NSLocale::preferredLanguages().empty());
    NSLocale::setPreferredLanguages(std::vector<std::string>{"ja", "en"});
    CHECK(NSLocale::preferredLanguages() == std::vector<std::string>{"ja", "en"});
    NSLocale::setPreferredLanguages(std::vector<std::string>{});
    CHECK(NSLocale::preferredLanguages() == std::vector<std::string>{"en"});
    NSLocale::setPreferredLanguages(std::nullopt);
    CHECK_FALSE(NSLocale::preferredLanguages().empty());
}

TEST_CASE("type identifiers map extensions to MIME types") {
    auto png = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, "PNG");
    REQUIRE(png);
    CHECK(*png == "public.png");
    CHECK(UTTypeCopyPreferredTagWithClass(*png, kUTTagClassMIMEType) == std::optional<std::string>("image/png"));
    CHECK(UTTypeCopyPreferredTagWithClass("public.jpeg", kUTTagClassFilenameExtension) ==
          std::optional<std::string>("jpeg"));
    CHECK(UTTypeCreatePreferredIdentifierForTag(kUTTagClassMIMEType, "image/gif") ==
          std::optional<std::string>("com.compuserve.gif"));
    CHECK_FALSE(UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, ""));
    CHECK_FALSE(UTTypeCreatePreferredIdentifierForTag("no.such.class", "png"));

    testsupport::TempHome home;
    auto list = (std::filesystem::path(home.path()) / "mime.types").string();
    std::ofstream(list) << "# local media types\napplication/x-quorvane-test\tqvt qvt2\n\ntext/x-second qvt\n";
    UTTypeSetMediaTypesPath(list);
    auto qvt = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, "qvt");
    REQUIRE(qvt);
    CHECK(UTTypeCopyPreferredTagWithClass(*qvt, kUTTagClassMIMEType) ==
          std::optional<std::string>("application/x-quorvane-test"));
    CHECK(UTTypeCopyPreferredTagWithClass(*qvt, kUTTagClassFilenameExtension) == std::optional<std::string>("qvt"));
    auto unknown = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, "zzunknown");
    REQUIRE(unknown);
    CHECK_FALSE(UTTypeCopyPreferredTagWithClass(*unknown, kUTTagClassMIMEType));
    // Known types do not depend on the list.
    CHECK(UTTypeCopyPreferredTagWithClass(*png, kUTTagClassMIMEType) == std::optional<std::string>("image/png"));
    UTTypeSetMediaTypesPath(home.path() + "/missing.types");
    CHECK_FALSE(UTTypeCopyPreferredTagWithClass(*qvt, kUTTagClassMIMEType));
    UTTypeSetMediaTypesPath(std::nullopt);
}

TEST_CASE("XML property lists are written in the platform's layout") {
    Value plist(ValueDictionary{{"data", Value(Data{0, 1, 2, 3})},
                                {"date", Value(Date{0})},
                                {"empty", Value::dictionary()},
                                {"none", Value::array()},
                                {"neg", Value(-3)},
                                {"text", Value("<a & b>")},
                                {"off", Value(false)},
                                {"tenth", Value(0.1)}});
    NSErrorPtr error;
    auto written = NSPropertyListSerialization::dataWithPropertyList(plist, NSPropertyListXMLFormat_v1_0, 0, &error);
    REQUIRE(written);
    CHECK_FALSE(error);
    CHECK(text(*written) ==
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<plist version=\"1.0\">\n"
          "<dict>\n"
          "\t<key>data</key>\n"
          "\t<data>\n"
          "\tAAECAw==\n"
          "\t</data>\n"
          "\t<key>date</key>\n"
          "\t<date>1970-01-01T00:00:00Z</date>\n"
          "\t<key>empty</key>\n"
          "\t<dict/>\n"
          "\t<key>neg</key>\n"
          "\t<integer>-3</integer>\n"
          "\t<key>none</key>\n"
          "\t<array/>\n"
          "\t<key>off</key>\n"
          "\t<false/>\n"
          "\t<key>tenth</key>\n"
          "\t<real>0.10000000000000001</real>\n"
          "\t<key>text</key>\n"
          "\t<string>&lt;a &amp; b&gt;</string>\n"
          "</dict>\n"
          "</plist>\n");
}

TEST_CASE("binary property lists hold objects offsets and trailer") {
    auto written = NSPropertyListSerialization::dataWithPropertyList(Value(ValueDictionary{{"a", Value(1)}}),
                                                                     NSPropertyListBinaryFormat_v1_0);
    REQUIRE(written);
    Data expected = {'b', 'p', 'l', 'i', 's', 't', '0', '0',
                     0x51, 'a',               // the key, object 0 at 8
                     0x10, 0x01,              // the integer, object 1 at 10
                     0xD1, 0x00, 0x01,        // the dictionary, object 2 at 12
                     0x08, 0x0A, 0x0C,        // offsets at 15
                     0, 0, 0, 0, 0, 0, 1, 1,  // trailer: sizes of offsets and references
                     0, 0, 0, 0, 0, 0, 0, 3,  // objects
                     0, 0, 0, 0, 0, 0, 0, 2,  // top object
                     0, 0, 0, 0, 0, 0, 0, 15};
    CHECK(*written == expected);

    // Wide strings go as UTF-16, long lengths with an integer after the marker.
    auto wide = NSPropertyListSerialization::dataWithPropertyList(Value::array({Value("é"), Value(std::string(20, 'x'))}),
                                                                  NSPropertyListBinaryFormat_v1_0);
    REQUIRE(wide);
    CHECK(Data(wide->begin() + 8, wide->begin() + 11) == Data{0x61, 0x00, 0xE9});
    CHECK(Data(wide->begin() + 11, wide->begin() + 14) == Data{0x5F, 0x10, 20});
}

TEST_CASE("values that are not property lists are refused with an error") {
    for (auto format : {NSPropertyListXMLFormat_v1_0, NSPropertyListBinaryFormat_v1_0}) {
        NSErrorPtr error;
        CHECK_FALSE(NSPropertyListSerialization::dataWithPropertyList(Value::array({Value()}), format, 0, &error));
        REQUIRE(error);
        CHECK(error->domain() == NSCocoaErrorDomain);
        CHECK(error->code() == NSPropertyListWriteInvalidError);
        CHECK_FALSE(NSPropertyListSerialization::propertyListIsValidForFormat(Value(), format));
    }
    NSErrorPtr error;
    CHECK_FALSE(NSPropertyListSerialization::dataWithPropertyList(Value(1), NSPropertyListOpenStepFormat, 0, &error));
    REQUIRE(error);
    CHECK(error->code() == NSPropertyListWriteInvalidError);
}

TEST_CASE("string transforms fold text to ASCII") {
    CHECK(CFStringTransform("Crème brûlée", "Latin-ASCII") == std::optional<std::string>("Creme brulee"));
    CHECK(CFStringTransform("Москва", "Any-Latin; Latin-ASCII") == std::optional<std::string>("Moskva"));
    CHECK(CFStringTransform("a🎬b", "[:^ASCII:] Remove") == std::optional<std::string>("ab"));
    CHECK_FALSE(CFStringTransform("x", "No-Such-Transform"));
    CHECK_FALSE(CFStringTransform("\xff", "Latin-ASCII"));
}

TEST_CASE("Base64 text of bytes") {
    CHECK(base64EncodeRFC4648(Data{}) == "");
    CHECK(base64EncodeRFC4648(Data{'f'}) == "Zg==");
    CHECK(base64EncodeRFC4648(Data{'f', 'o'}) == "Zm8=");
    CHECK(base64EncodeRFC4648(Data{'f', 'o', 'o'}) == "Zm9v");
    CHECK(base64EncodeRFC4648(Data{0xfb, 0xff}) == "+/8=");
    CHECK(base64EncodeRFC4648(Data(6, 0), 4) == "AAAA\r\nAAAA");
}

TEST_CASE("a request carries a body or a body stream and copies share the stream") {
    auto request = NSMutableURLRequest::requestWithURL("http://example.com/");
    auto stream = NSInputStream::inputStreamWithData(Data{1, 2});
    request->setHTTPBody(Data{9});
    request->setHTTPBodyStream(stream);
    CHECK(request->HTTPBodyStream() == stream);
    CHECK_FALSE(request->HTTPBody());
    auto copy = request->mutableCopy();
    CHECK(copy->HTTPBodyStream() == stream);
    copy->setHTTPBody(Data{3});
    CHECK_FALSE(copy->HTTPBodyStream());
    CHECK(request->HTTPBodyStream() == stream);
    CHECK(request->allowsCellularAccess());
    CHECK_FALSE(request->HTTPShouldUsePipelining());
    request->setNetworkServiceType(NSURLNetworkServiceTypeVideo);
    CHECK(request->mutableCopy()->networkServiceType() == NSURLNetworkServiceTypeVideo);
}
