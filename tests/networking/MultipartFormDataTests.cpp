// Multipart form bodies: the exact bytes of the body stream, reads in small
// buffers, throttling, copies, file parts, escaping of names, failures, writing
// the body to a file, and the bytes on the wire.
#include <doctest/doctest.h>

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "WireSupport.h"
#include "networking/NLURLRequestSerialization.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/runloop/NSThread.h"
#include "platform/foundation/NSURL.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::TempHome;
using wiretest::data;
using wiretest::readAll;
using wiretest::text;

namespace {

const std::string CRLF = "\r\n";

std::shared_ptr<NLStreamingMultipartFormData> makeFormData() {
    return NLStreamingMultipartFormData::initWithURLRequest(NSMutableURLRequest::requestWithURL("http://example.com/up"),
                                                            NSUTF8StringEncoding);
}

std::string writeFile(const TempHome& home, const std::string& name, const std::string& contents) {
    auto path = (std::filesystem::path(home.path()) / name).string();
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

std::string fieldPart(const std::string& B, const std::string& name, const std::string& value, bool first) {
    return (first ? "" : CRLF) + "--" + B + CRLF + "Content-Disposition: form-data; name=\"" + name + "\"" + CRLF + CRLF +
           value;
}

std::string filePart(const std::string& B, const std::string& name, const std::string& fileName,
                     const std::string& type, const std::string& value, bool first) {
    return (first ? "" : CRLF) + "--" + B + CRLF + "Content-Disposition: form-data; name=\"" + name +
           "\"; filename=\"" + fileName + "\"" + CRLF + "Content-Type: " + type + CRLF + CRLF + value;
}

std::string closing(const std::string& B) { return CRLF + "--" + B + "--" + CRLF; }

std::string bodyOf(const std::shared_ptr<NSURLRequest>& request, std::size_t bufferSize = 4096) {
    REQUIRE(request->HTTPBodyStream());
    return text(readAll(*request->HTTPBodyStream(), bufferSize));
}

// Gives its bytes, then fails (naming the error, or not).
class FailingStream : public NSInputStream {
public:
    explicit FailingStream(std::string head, bool namesError = true) : head_(std::move(head)), namesError_(namesError) {}
    void open() override { status_ = NSStreamStatusOpen; }
    void close() override {
        if (status_ != NSStreamStatusError) status_ = NSStreamStatusClosed;
    }
    NSStreamStatus streamStatus() const override { return status_; }
    NSErrorPtr streamError() const override { return error_; }
    long read(std::uint8_t* buffer, std::size_t maxLength) override {
        if (offset_ < head_.size()) {
            std::size_t n = std::min(maxLength, head_.size() - offset_);
            std::memcpy(buffer, head_.data() + offset_, n);
            offset_ += n;
            return static_cast<long>(n);
        }
        if (namesError_) error_ = NSError::make(NSPOSIXErrorDomain, EIO, "the disk went away");
        status_ = NSStreamStatusError;
        return -1;
    }
    bool hasBytesAvailable() const override { return status_ == NSStreamStatusOpen; }

private:
    std::string head_;
    bool namesError_;
    std::size_t offset_ = 0;
    NSStreamStatus status_ = NSStreamStatusNotOpen;
    NSErrorPtr error_;
};

}  // namespace

TEST_CASE("one form field gives the exact body and its length") {
    auto formData = makeFormData();
    const auto& B = formData->boundary();
    CHECK(std::regex_match(B, std::regex("Boundary\\+[0-9A-F]{16}")));
    CHECK(makeFormData()->boundary() != B);
    formData->appendPartWithFormData(data("1"), "a");
    auto request = formData->requestByFinalizingMultipartFormData();
    std::string expected = "--" + B + CRLF + "Content-Disposition: form-data; name=\"a\"" + CRLF + CRLF + "1" + CRLF +
                           "--" + B + "--" + CRLF;
    CHECK(request->valueForHTTPHeaderField("Content-Type") ==
          std::optional<std::string>("multipart/form-data; boundary=" + B));
    CHECK(request->valueForHTTPHeaderField("Content-Length") == std::optional<std::string>(std::to_string(expected.size())));
    CHECK(bodyOf(request) == expected);
    CHECK_FALSE(request->HTTPBody());
}

TEST_CASE("later parts open with CRLF and only the last closes the body") {
    auto formData = makeFormData();
    const auto& B = formData->boundary();
    formData->appendPartWithFormData(data("first"), "one");
    formData->appendPartWithFileData(data("\x89PNG bytes"), "picture", "p.png", "image/png");
    formData->appendPartWithHeaders({{"X-Part", "3"}}, data("raw"));
    auto request = formData->requestByFinalizingMultipartFormData();
    std::string expected = fieldPart(B, "one", "first", true) +
                           filePart(B, "picture", "p.png", "image/png", "\x89PNG bytes", false) + CRLF + "--" + B +
                           CRLF + "X-Part: 3" + CRLF + CRLF + "raw" + closing(B);
    CHECK(bodyOf(request) == expected);
    CHECK(std::stoull(request->valueForHTTPHeaderField("Content-Length").value()) == expected.size());
    auto stream = formData->bodyStream();
    CHECK(stream->HTTPBodyParts().front()->hasInitialBoundary);
    CHECK_FALSE(stream->HTTPBodyParts().front()->hasFinalBoundary);
    CHECK(stream->HTTPBodyParts().back()->hasFinalBoundary);
    CHECK_FALSE(stream->HTTPBodyParts().back()->hasInitialBoundary);
}

TEST_CASE("small read buffers get every boundary byte once") {
    for (std::size_t bufferSize : {1u, 2u, 3u, 7u, 13u}) {
        auto formData = makeFormData();
        const auto& B = formData->boundary();
        formData->appendPartWithFormData(data("alpha"), "x");
        formData->appendPartWithFormData(data(""), "empty");
        formData->appendPartWithFileData(data("0123456789"), "f", "digits.txt", "text/plain");
        auto request = formData->requestByFinalizingMultipartFormData();
        std::string expected = fieldPart(B, "x", "alpha", true) + fieldPart(B, "empty", "", false) +
                               filePart(B, "f", "digits.txt", "text/plain", "0123456789", false) + closing(B);
        CAPTURE(bufferSize);
        CHECK(bodyOf(request, bufferSize) == expected);
    }
}

TEST_CASE("a builder without parts leaves the request without body stream") {
    auto formData = makeFormData();
    auto request = formData->requestByFinalizingMultipartFormData();
    CHECK_FALSE(request->HTTPBodyStream());
    CHECK_FALSE(request->valueForHTTPHeaderField("Content-Type"));
    CHECK_FALSE(request->valueForHTTPHeaderField("Content-Length"));
    CHECK(formData->bodyStream()->isEmpty());
    CHECK(formData->bodyStream()->contentLength() == 0);
}

TEST_CASE("quotes and line breaks in names cannot reach the part headers") {
    auto formData = makeFormData();
    const auto& B = formData->boundary();
    formData->appendPartWithFormData(data("v"), "a\"; evil=\"1");
    formData->appendPartWithFileData(data("x"), "f\r\nX-Injected: yes", "x\".txt\r\n\r\nbody", "text/plain");
    formData->appendPartWithHeaders({{"X-Bad\r\nX-Other", "1\r\n2"}}, data("h"));
    auto body = bodyOf(formData->requestByFinalizingMultipartFormData());
    std::string expected = fieldPart(B, "a%22; evil=%221", "v", true) +
                           filePart(B, "f%0D%0AX-Injected: yes", "x%22.txt%0D%0A%0D%0Abody", "text/plain", "x", false) +
                           CRLF + "--" + B + CRLF + "X-Bad%0D%0AX-Other: 1%0D%0A2" + CRLF + CRLF + "h" + closing(B);
    CHECK(body == expected);
    CHECK(body.find("\r\nX-Injected") == std::string::npos);
    CHECK(NLStreamingMultipartFormData::escapedQuotedParameter("\"\r\n") == "%22%0D%0A");
}

TEST_CASE("file parts take their name and type from the URL and stream from disk") {
    TempHome home;
    auto png = writeFile(home, "poster.png", "not really a png");
    auto odd = writeFile(home, "notes.qqzzunknown", "plain bytes");
    auto formData = makeFormData();
    const auto& B = formData->boundary();
    NSErrorPtr error;
    CHECK(formData->appendPartWithFileURL(NSURL::fileURLWithPath(png), "poster", &error));
    CHECK(formData->appendPartWithFileURL(NSURL::fileURLWithPath(odd), "notes", &error));
    CHECK(formData->appendPartWithFileURL(NSURL::fileURLWithPath(odd), "renamed", "n.txt", "text/x-mine", &error));
    CHECK_FALSE(error);
    auto request = formData->requestByFinalizingMultipartFormData();
    std::string expected = filePart(B, "poster", "poster.png", "image/png", "not really a png", true) +
                           filePart(B, "notes", "notes.qqzzunknown", "application/octet-stream", "plain bytes", false) +
                           filePart(B, "renamed", "n.txt", "text/x-mine", "plain bytes", false) + closing(B);
    CHECK(request->valueForHTTPHeaderField("Content-Length") == std::optional<std::string>(std::to_string(expected.size())));
    CHECK(bodyOf(request, 5) == expected);
    CHECK(NLContentTypeForPathExtension("PNG") == "image/png");
    CHECK(NLContentTypeForPathExtension("") == "application/octet-stream");
}

TEST_CASE("a linked file part counts the size of the file it names") {
    TempHome home;
    auto target = writeFile(home, "movie.mp4", std::string(3000, 'm'));
    auto link = (std::filesystem::path(home.path()) / "link.mp4").string();
    REQUIRE(::symlink(target.c_str(), link.c_str()) == 0);
    auto formData = makeFormData();
    REQUIRE(formData->appendPartWithFileURL(NSURL::fileURLWithPath(link), "movie", nullptr));
    auto request = formData->requestByFinalizingMultipartFormData();
    auto body = bodyOf(request);
    CHECK(std::to_string(body.size()) == request->valueForHTTPHeaderField("Content-Length").value());
    CHECK(body.find("Content-Type: video/mp4") != std::string::npos);
    CHECK(body.find(std::string(3000, 'm')) != std::string::npos);
}

TEST_CASE("file parts that cannot be read are refused with an error") {
    TempHome home;
    auto formData = makeFormData();
    NSErrorPtr error;
    CHECK_FALSE(formData->appendPartWithFileURL(NSURL::URLWithString("http://example.com/a.png"), "f", &error));
    REQUIRE(error);
    CHECK(error->domain() == "com.netline.error.serialization.request");
    CHECK(error->code() == -1000);
    CHECK(error->userInfo()[NSLocalizedFailureReasonErrorKey] == Value("Expected URL to be a file URL"));

    error = nullptr;
    auto missing = NSURL::fileURLWithPath(home.path() + "/missing.png", false);
    CHECK_FALSE(formData->appendPartWithFileURL(missing, "f", "m.png", "image/png", &error));
    REQUIRE(error);
    CHECK(error->code() == -1000);
    CHECK(error->userInfo()[NSLocalizedFailureReasonErrorKey] == Value("File URL not reachable."));
    // Without an error out-parameter it still just refuses.
    CHECK_FALSE(formData->appendPartWithFileURL(missing, "f", nullptr));
    CHECK_FALSE(formData->appendPartWithFileURL(nullptr, "f", nullptr));
    CHECK(formData->bodyStream()->isEmpty());
}

TEST_CASE("input stream parts read their stream and a failing one stops the body with its error") {
    auto formData = makeFormData();
    const auto& B = formData->boundary();
    formData->appendPartWithInputStream(NSInputStream::inputStreamWithData(data("streamed")), "s", "s.bin", 8,
                                        "application/octet-stream");
    auto good = formData->requestByFinalizingMultipartFormData();
    CHECK(bodyOf(good) ==
          filePart(B, "s", "s.bin", "application/octet-stream", "streamed", true) + closing(B));

    auto failing = makeFormData();
    failing->appendPartWithFormData(data("before"), "a");
    failing->appendPartWithInputStream(std::make_shared<FailingStream>("half"), "b", "b.bin", 100, "text/plain");
    failing->appendPartWithFormData(data("after"), "c");
    auto request = failing->requestByFinalizingMultipartFormData();
    auto stream = request->HTTPBodyStream();
    long last = 0;
    auto read = text(readAll(*stream, 4096, &last));
    CHECK(read.find("before") != std::string::npos);
    CHECK(read.find("half") != std::string::npos);
    CHECK(read.find("after") == std::string::npos);  // the body does not go on past the hole
    REQUIRE(stream->streamError());
    CHECK(stream->streamError()->code() == EIO);
    CHECK(stream->streamStatus() == NSStreamStatusError);
    std::uint8_t byte;
    CHECK(stream->read(&byte, 1) == -1);
    CHECK_FALSE(stream->hasBytesAvailable());

    // A stream that fails at once without naming an error: no bytes and a clear error.
    auto silent = makeFormData();
    silent->appendPartWithInputStream(std::make_shared<FailingStream>("", false), "q", "q.bin", 10, "text/plain");
    auto silentStream = silent->requestByFinalizingMultipartFormData()->HTTPBodyStream();
    silentStream->open();
    std::vector<std::uint8_t> buffer(4096);
    CHECK(silentStream->read(buffer.data(), buffer.size()) == -1);
    CHECK(silentStream->streamStatus() == NSStreamStatusError);
    REQUIRE(silentStream->streamError());
    CHECK(silentStream->streamError()->domain() == "com.netline.error.serialization.request");
    CHECK(silentStream->streamError()->code() == -1000);
}

TEST_CASE("a packet size limits each read of the body stream") {
    auto readCounts = [](const std::shared_ptr<NLStreamingMultipartFormData>& formData, std::string* collected) {
        auto stream = formData->bodyStream();
        stream->open();
        std::vector<std::uint8_t> buffer(4096);
        std::vector<long> counts;
        while (true) {
            long n = stream->read(buffer.data(), buffer.size());
            if (n <= 0) break;
            counts.push_back(n);
            collected->append(buffer.begin(), buffer.begin() + n);
        }
        return counts;
    };
    auto build = [](bool throttled) {
        auto formData = makeFormData();
        for (int i = 0; i < 5; ++i) formData->appendPartWithFormData(data(std::string(40, 'a' + i)), "f" + std::to_string(i));
        if (throttled) formData->throttleBandwidthWithPacketSize(16, 0);
        formData->requestByFinalizingMultipartFormData();
        return formData;
    };

    auto throttled = build(true);
    CHECK(throttled->bodyStream()->numberOfBytesInPacket == 16);
    std::string collected;
    auto counts = readCounts(throttled, &collected);
    // Each read returns after the first part read that brings it to 16 bytes or
    // more: here one part per read.
    REQUIRE(counts.size() == 5);
    for (std::size_t i = 0; i < counts.size(); ++i)
        CHECK(static_cast<std::uint64_t>(counts[i]) == throttled->bodyStream()->HTTPBodyParts()[i]->contentLength());
    CHECK(collected.size() == throttled->bodyStream()->contentLength());

    auto free = build(false);
    std::string all;
    auto freeCounts = readCounts(free, &all);
    CHECK(freeCounts.size() == 1);
    CHECK(all.size() == collected.size());
    CHECK(NLMultipartBodyStream(NSUTF8StringEncoding).numberOfBytesInPacket == 9223372036854775807ull);
}

TEST_CASE("a throttling delay pauses after each part read") {
    auto formData = makeFormData();
    formData->appendPartWithFormData(data("a"), "a");
    formData->throttleBandwidthWithPacketSize(1000, 0.01);
    auto stream = formData->bodyStream();
    CHECK(stream->delay == doctest::Approx(0.01));
    auto body = bodyOf(formData->requestByFinalizingMultipartFormData());
    CHECK(body == fieldPart(formData->boundary(), "a", "a", true) + closing(formData->boundary()));
}

TEST_CASE("a copy of a body stream reads the same bytes") {
    TempHome home;
    auto file = writeFile(home, "clip.mov", "moving pictures");
    auto formData = makeFormData();
    formData->appendPartWithFormData(data("1"), "a");
    REQUIRE(formData->appendPartWithFileURL(NSURL::fileURLWithPath(file), "clip", nullptr));
    formData->appendPartWithInputStream(NSInputStream::inputStreamWithData(data("from a stream")), "s", "s", 13,
                                        "text/plain");
    auto request = formData->requestByFinalizingMultipartFormData();
    auto copy = formData->bodyStream()->copy();
    auto original = bodyOf(request, 9);
    auto copied = text(readAll(*copy, 4));
    CHECK(copied == original);
    CHECK(copy->contentLength() == formData->bodyStream()->contentLength());
    CHECK(original.find("moving pictures") != std::string::npos);
    CHECK(original.find("from a stream") != std::string::npos);
    // The copy through the stream interface, as a request copy would take it.
    auto again = formData->bodyStream()->copyStream();
    REQUIRE(again);
    CHECK(text(readAll(*again)) == original);
}

TEST_CASE("a closed body stream reads nothing more") {
    auto formData = makeFormData();
    formData->appendPartWithFormData(data("abc"), "a");
    auto stream = formData->bodyStream();
    formData->requestByFinalizingMultipartFormData();
    std::uint8_t buffer[8];
    CHECK(stream->read(buffer, sizeof buffer) == -1);  // not open yet
    stream->open();
    CHECK(stream->streamStatus() == NSStreamStatusOpen);
    CHECK(stream->read(buffer, sizeof buffer) == 8);
    stream->close();
    CHECK(stream->streamStatus() == NSStreamStatusClosed);
    CHECK(stream->read(buffer, sizeof buffer) == 0);
    CHECK_FALSE(stream->hasBytesAvailable());
    std::uint8_t* direct = nullptr;
    std::size_t length = 0;
    CHECK_FALSE(stream->getBuffer(&direct, &length));
    CHECK(stream->propertyForKey("anything").isNull());
    CHECK_FALSE(stream->setPropertyForKey(Value(1), "anything"));
}

TEST_CASE("the serializer builds multipart requests from parameters and the constructing block") {
    TempHome home;
    auto file = writeFile(home, "cover.jpg", "jpeg bytes");
    auto serializer = NLHTTPRequestSerializer::serializer();
    Value parameters(ValueDictionary{{"title", Value("Zoë")},
                                     {"tags", Value::array({"a", "b"})},
                                     {"raw", Value(Data{0, 1, 2})},
                                     {"none", Value()}});
    std::shared_ptr<NLMultipartFormData> handed;
    NSErrorPtr error;
    auto request = serializer->multipartFormRequestWithMethod(
        "POST", "http://example.com/upload", parameters,
        [&](const std::shared_ptr<NLMultipartFormData>& formData) {
            handed = formData;
            NSErrorPtr appendError;
            CHECK(formData->appendPartWithFileURL(NSURL::fileURLWithPath(file), "cover", &appendError));
        },
        &error);
    REQUIRE(request);
    CHECK_FALSE(error);
    REQUIRE(handed);
    auto contentType = request->valueForHTTPHeaderField("Content-Type").value();
    REQUIRE(contentType.rfind("multipart/form-data; boundary=", 0) == 0);
    std::string B = contentType.substr(std::string("multipart/form-data; boundary=").size());
    CHECK(request->HTTPMethod() == "POST");
    CHECK(request->valueForHTTPHeaderField("User-Agent"));
    std::string expected = fieldPart(B, "none", "", true) + fieldPart(B, "raw", std::string("\0\1\2", 3), false) +
                           fieldPart(B, "tags[]", "a", false) + fieldPart(B, "tags[]", "b", false) +
                           fieldPart(B, "title", "Zoë", false) +
                           filePart(B, "cover", "cover.jpg", "image/jpeg", "jpeg bytes", false) + closing(B);
    CHECK(bodyOf(request) == expected);
    CHECK(request->valueForHTTPHeaderField("Content-Length") == std::optional<std::string>(std::to_string(expected.size())));

    // A field the serializer's encoding cannot carry is an error, not a missing field.
    serializer->stringEncoding = NSASCIIStringEncoding;
    error = nullptr;
    CHECK_FALSE(serializer->multipartFormRequestWithMethod("POST", "http://example.com/upload", parameters, nullptr,
                                                           &error));
    REQUIRE(error);
    CHECK(error->code() == -1000);
}

TEST_CASE("a multipart body is written to a file whole") {
    TempHome home;
    auto big = writeFile(home, "big.bin", std::string(70000, 'q'));
    auto serializer = NLHTTPRequestSerializer::serializer();
    auto request = serializer->multipartFormRequestWithMethod(
        "POST", "http://example.com/upload", Value(ValueDictionary{{"k", "v"}}),
        [&](const std::shared_ptr<NLMultipartFormData>& formData) {
            formData->appendPartWithFileURL(NSURL::fileURLWithPath(big), "big", nullptr);
        });
    REQUIRE(request);
    auto expected = text(readAll(*std::static_pointer_cast<NLMultipartBodyStream>(request->HTTPBodyStream())->copy()));

    auto target = home.path() + "/body.out";
    bool done = false;
    NSErrorPtr result = NSError::make("unset", 1, "unset");
    bool onMain = false;
    auto written = serializer->requestWithMultipartFormRequest(request, NSURL::fileURLWithPath(target, false),
                                                               [&](const NSErrorPtr& error) {
                                                                   result = error;
                                                                   onMain = NSThread::isMainThread();
                                                                   done = true;
                                                               });
    REQUIRE(written);
    CHECK_FALSE(written->HTTPBodyStream());
    CHECK(written->valueForHTTPHeaderField("Content-Type") == request->valueForHTTPHeaderField("Content-Type"));
    REQUIRE(testsupport::runMainUntil([&] { return done; }, 20));
    CHECK_FALSE(result);
    CHECK(onMain);
    auto contents = NSFileManager::defaultManager()->contentsAtPath(target);
    REQUIRE(contents);
    CHECK(contents->size() == expected.size());
    CHECK(text(*contents) == expected);
    CHECK(std::to_string(contents->size()) == request->valueForHTTPHeaderField("Content-Length").value());

    // A request without a body stream is just copied.
    auto plain = NSMutableURLRequest::requestWithURL("http://example.com/");
    bool called = false;
    auto copy = serializer->requestWithMultipartFormRequest(plain, NSURL::fileURLWithPath(target, false),
                                                            [&](const NSErrorPtr&) { called = true; });
    CHECK(copy->URL() == plain->URL());
    CHECK_FALSE(called);
}

TEST_CASE("writing a multipart body reports stream errors and bad destinations") {
    TempHome home;
    auto serializer = NLHTTPRequestSerializer::serializer();
    auto wait = [](const std::shared_ptr<NSURLRequest>& request, const NSURLPtr& url,
                   const std::shared_ptr<NLHTTPRequestSerializer>& s) {
        bool done = false;
        NSErrorPtr result;
        s->requestWithMultipartFormRequest(request, url, [&](const NSErrorPtr& error) {
            result = error;
            done = true;
        });
        REQUIRE(testsupport::runMainUntil([&] { return done; }, 20));
        return result;
    };

    auto failing = serializer->multipartFormRequestWithMethod(
        "POST", "http://example.com/upload", Value(), [](const std::shared_ptr<NLMultipartFormData>& formData) {
            formData->appendPartWithInputStream(std::make_shared<FailingStream>(std::string(3000, 'p')), "f", "f.bin",
                                                5000, "application/octet-stream");
        });
    auto error = wait(failing, NSURL::fileURLWithPath(home.path() + "/partial.out", false), serializer);
    REQUIRE(error);
    CHECK(error->code() == EIO);
    // The partly written file stays.
    CHECK(NSFileManager::defaultManager()->fileExistsAtPath(home.path() + "/partial.out"));

    auto fine = [&] {
        return serializer->multipartFormRequestWithMethod("POST", "http://example.com/upload",
                                                          Value(ValueDictionary{{"k", "v"}}), nullptr);
    };
    error = wait(fine(), NSURL::fileURLWithPath(home.path() + "/no/such/folder/body.out", false), serializer);
    REQUIRE(error);
    CHECK(error->domain() == NSPOSIXErrorDomain);

    error = wait(fine(), NSURL::URLWithString("http://example.com/body.out"), serializer);
    REQUIRE(error);
    CHECK(error->domain() == "com.netline.error.serialization.request");
    CHECK(error->code() == -1000);
}

TEST_CASE("the multipart body arrives on the wire byte for byte") {
    TempHome home;
    auto file = writeFile(home, "still.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(5000, '\7'));
    LoopbackHttpServer server;
    server.setHandler([](const testsupport::RecordedRequest&) { return Reply::text("stored"); });
    auto serializer = NLHTTPRequestSerializer::serializer();
    auto request = serializer->multipartFormRequestWithMethod(
        "POST", server.url("/upload"), Value(ValueDictionary{{"title", "Night \"Film\""}}),
        [&](const std::shared_ptr<NLMultipartFormData>& formData) {
            formData->appendPartWithFileURL(NSURL::fileURLWithPath(file), "still", nullptr);
        });
    REQUIRE(request);
    auto contentType = request->valueForHTTPHeaderField("Content-Type").value();
    std::string B = contentType.substr(contentType.find('=') + 1);
    std::string expected = fieldPart(B, "title", "Night \"Film\"", true) +
                           filePart(B, "still", "still.png", "image/png",
                                    std::string("\x89PNG\r\n\x1a\n", 8) + std::string(5000, '\7'), false) +
                           closing(B);
    // The transport pulls the body stream itself; small packets change nothing on the wire.
    auto throttled = std::static_pointer_cast<NLMultipartBodyStream>(request->HTTPBodyStream())->copy();
    throttled->numberOfBytesInPacket = 16;
    auto result = wiretest::send(request);
    REQUIRE(result.finished);
    CHECK_FALSE(result.error);
    CHECK(text(result.body) == "stored");
    auto recorded = server.lastRequest();
    REQUIRE(recorded);
    CHECK(recorded->method == "POST");
    CHECK(recorded->headers.get("Content-Type") == contentType);
    CHECK(recorded->headers.get("Content-Length") == std::to_string(expected.size()));
    CHECK(recorded->body == expected);

    auto again = request->mutableCopy();
    again->setHTTPBodyStream(throttled);
    REQUIRE(wiretest::send(again).finished);
    recorded = server.lastRequest();
    REQUIRE(recorded);
    CHECK(server.requestCount() == 2);
    CHECK(recorded->body == expected);
    CHECK(recorded->body == expected);
}

TEST_CASE("an upload whose part stream fails ends with that error") {
    LoopbackHttpServer server;
    server.setHandler([](const testsupport::RecordedRequest&) { return Reply::text("stored"); });
    auto serializer = NLHTTPRequestSerializer::serializer();
    auto request = serializer->multipartFormRequestWithMethod(
        "POST", server.url("/upload"), Value(ValueDictionary{{"k", "v"}}),
        [](const std::shared_ptr<NLMultipartFormData>& formData) {
            formData->appendPartWithInputStream(std::make_shared<FailingStream>(std::string(2000, 'f')), "f", "f.bin",
                                                9000, "application/octet-stream");
        });
    REQUIRE(request);
    auto result = wiretest::send(request);
    REQUIRE(result.finished);
    REQUIRE(result.error);
    CHECK(result.error->domain() == NSPOSIXErrorDomain);
    CHECK(result.error->code() == EIO);
}
