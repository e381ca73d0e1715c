#pragma once
// What every harness body shares. A body is `int fuzzOne(const uint8_t*, size_t)`
// in namespace fuzz::<harness>; it feeds the bytes to one parser, checks what the
// parser promises about its own output (round trips, bounds), and returns 0.
// Bodies keep no state from one input to the next, so a replay of one input
// gives the same outcome as it did inside the fuzzer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/foundation/Data.h"

namespace fuzz {

// Called once per process before the first input: console lines are dropped
// (parsers log every refusal, which would drown the fuzzer's own output), the
// application home is a fresh temporary folder (removed at exit), and URL loads to any host but 127.0.0.1 go to a dead proxy, so a redirect read
// from an input never leaves the machine.
void setUpProcess();

// A broken promise found by a body. The libFuzzer programs print the text and
// abort (so the input is kept as a crash); the replay test throws and reports it.
[[noreturn]] void fail(const std::string& what);

inline void check(bool condition, const char* what) {
    if (!condition) fail(what);
}

// The input cut at the first occurrence of the separator byte: the part before
// it and the part after it (the second empty when the byte is absent).
std::pair<std::string_view, std::string_view> splitAt(const std::uint8_t* data, std::size_t size, char separator);

// Reads a few control bytes from the front of the input before the payload.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // The next byte, or 0 when the input is used up.
    std::uint8_t take() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::string_view rest() const { return {reinterpret_cast<const char*>(data_), size_}; }
    Data restAsData() const { return Data(data_, data_ + size_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace fuzz
