#pragma once
// Universally unique identifiers: random (version 4) ones, or parsed from text.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

class NSUUID;
using NSUUIDPtr = std::shared_ptr<NSUUID>;

class NSUUID : public NSObject {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    // A new random identifier (RFC 4122 version 4, variant 10).
    static NSUUIDPtr UUID();
    // nullptr unless the text has the form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX
    // (hexadecimal digits of either case).
    static NSUUIDPtr initWithUUIDString(const std::string& text);

    explicit NSUUID(const Bytes& bytes) : bytes_(bytes) {}

    // Upper-case text form, 36 characters.
    std::string UUIDString() const;
    const Bytes& bytes() const { return bytes_; }

    bool isEqual(const NSUUID& other) const { return bytes_ == other.bytes_; }
    bool operator==(const NSUUID& other) const { return isEqual(other); }
    std::string description() const override { return UUIDString(); }

private:
    Bytes bytes_;
};
