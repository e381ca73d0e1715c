#pragma once
// The easy handle of one request: URL, method, body (given or streamed),
// header fields, credential, TLS hooks and the recording callbacks.
#include <optional>
#include <string>

#include "platform/net/CurlTransfer.h"

namespace curlbacking {

// Makes t.easy (an idle handle of the multi handle, else a new one) ready for
// t.request, whose URL was parsed into t.url. On failure, why (the option libcurl
// refused, or the handle or list it could not make); the handle made so far
// is freed by the transfer.
[[nodiscard]] std::optional<std::string> configure(NSURLConnection::Transfer& t);

}  // namespace curlbacking
