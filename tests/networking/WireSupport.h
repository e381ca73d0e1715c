#pragma once
// Sending a request through the URL loading system and waiting on the main run
// loop for its end, for the serializer tests on the wire.
#include <memory>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/net/NSURLRequest.h"
#include "platform/foundation/NSStream.h"

namespace wiretest {

struct Result {
    bool finished = false;
    std::shared_ptr<NSHTTPURLResponse> response;
    Data body;
    NSErrorPtr error;
};

// Loads the request on the main run loop; finished is false after the timeout.
Result send(const std::shared_ptr<NSURLRequest>& request, double timeoutSeconds = 10);

// Reads the stream to its end (or failure) in reads of at most `bufferSize`
// bytes; the stream is opened first when it is not open.
Data readAll(NSInputStream& stream, std::size_t bufferSize = 4096, long* lastCount = nullptr);

inline std::string text(const Data& d) { return std::string(d.begin(), d.end()); }
inline Data data(const std::string& s) { return Data(s.begin(), s.end()); }

}  // namespace wiretest
