#pragma once
// TLS server trust for the curl backing: curl's OpenSSL context gets a chain
// verification of ours. The first handshake with a server in a load only
// records the server's certificates and is given up (LoadState::TrustDue); the
// challenge is then raised outside curl and, once the server is accepted, the
// request goes out on a new connection whose leaf certificate must be the
// accepted one (else LoadState::TrustRefused).
#include <curl/curl.h>

#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/security/SecTrust.h"

namespace curlbacking {

// CURLOPT_SSL_CTX_FUNCTION; `user` is the Transfer.
CURLcode onSslContext(CURL*, void* context, void* user);

// A trust over a chain of DER certificates (leaf first) under the TLS server
// policy for `host`; null when no certificate of it parses.
SecTrustRef serverTrustFor(const std::vector<Data>& chain, const std::string& host);

}  // namespace curlbacking
