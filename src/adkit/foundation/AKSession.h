#pragma once
// One application session: an identifier made from a fresh UUID (bytes 8 to
// 15 of the MD5 of its 16 bytes, read little-endian).
#include <cstdint>
#include <string>

#include "platform/foundation/NSObject.h"

class AKSession : public NSObject {
public:
    AKSession();
    std::uint64_t sessionID() const { return sessionID_; }
    void setSessionID(std::uint64_t id) { sessionID_ = id; }
    std::string sessionIDAsString() const { return std::to_string(sessionID_); }

private:
    std::uint64_t sessionID_ = 0;
};
