// Protects the streams: data and file input, file output with offsets and errors, a full device, and memory output.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/NSStream.h"
#include "support/TestEnvironment.h"

TEST_CASE("input streams over data deliver every byte in small reads then report the end") {
    Data source;
    for (int i = 0; i < 1000; ++i) source.push_back(static_cast<std::uint8_t>(i * 7));
    auto in = NSInputStream::inputStreamWithData(source);
    CHECK(in->read(nullptr, 0) == -1);  // not open yet
    in->open();
    Data got;
    std::uint8_t buf[33];
    long n;
    while ((n = in->read(buf, sizeof buf)) > 0) got.insert(got.end(), buf, buf + n);
    CHECK(n == 0);
    CHECK(got == source);
    CHECK(in->streamStatus() == NSStreamStatusAtEnd);
    auto again = in->copyStream();
    again->open();
    CHECK(again->read(buf, 5) == 5);
    CHECK(buf[1] == 7);
}

TEST_CASE("file streams append and report their offset and errors") {
    testsupport::TempHome home;
    auto path = (std::filesystem::path(home.path()) / "body.bin").string();
    {
        auto out = NSOutputStream::outputStreamToFileAtPath(path, false);
        out->open();
        CHECK(out->write(reinterpret_cast<const std::uint8_t*>("hello "), 6) == 6);
        out->close();
    }
    auto out = NSOutputStream::outputStreamToFileAtPath(path, true);
    out->open();
    CHECK(out->propertyForKey(NSStreamFileCurrentOffsetKey).unsignedLongLongValue() == 6);
    CHECK(out->write(reinterpret_cast<const std::uint8_t*>("world"), 5) == 5);
    CHECK(out->propertyForKey(NSStreamFileCurrentOffsetKey).unsignedLongLongValue() == 11);
    out->close();
    CHECK(out->write(reinterpret_cast<const std::uint8_t*>("x"), 1) == -1);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    CHECK(text == "hello world");

    auto missing = NSInputStream::inputStreamWithFileAtPath(path + ".missing");
    missing->open();
    CHECK(missing->streamStatus() == NSStreamStatusError);
    REQUIRE(missing->streamError());
    CHECK(missing->streamError()->code() == ENOENT);
}

TEST_CASE("a full device fails the write with an error instead of pretending") {
    auto out = NSOutputStream::outputStreamToFileAtPath("/dev/full", true);
    out->open();
    REQUIRE(out->streamStatus() == NSStreamStatusOpen);
    std::uint8_t byte = 1;
    CHECK(out->write(&byte, 1) == -1);
    CHECK(out->streamStatus() == NSStreamStatusError);
    REQUIRE(out->streamError());
    CHECK(out->streamError()->code() == ENOSPC);
    CHECK_FALSE(out->hasSpaceAvailable());
}

TEST_CASE("memory output streams keep what was written") {
    auto out = NSOutputStream::outputStreamToMemory();
    out->open();
    CHECK(out->write(reinterpret_cast<const std::uint8_t*>("abc"), 3) == 3);
    auto data = out->propertyForKey(NSStreamDataWrittenToMemoryStreamKey);
    REQUIRE(data.isData());
    CHECK(stringFromData(*data.data()) == "abc");
}
