#pragma once
// Where a challenge comes from: host, port, protocol, realm and the kind of
// authentication asked for (with the server's trust for TLS server trust).
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/security/SecTrust.h"

inline constexpr const char* NSURLProtectionSpaceHTTP = "http";
inline constexpr const char* NSURLProtectionSpaceHTTPS = "https";
inline constexpr const char* NSURLAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";
inline constexpr const char* NSURLAuthenticationMethodHTTPBasic = "NSURLAuthenticationMethodHTTPBasic";
inline constexpr const char* NSURLAuthenticationMethodHTTPDigest = "NSURLAuthenticationMethodHTTPDigest";
inline constexpr const char* NSURLAuthenticationMethodServerTrust = "NSURLAuthenticationMethodServerTrust";

class NSURLProtectionSpace : public NSObject {
public:
    NSURLProtectionSpace(std::string host, long port, std::string protocol, std::string realm,
                         std::string authenticationMethod, SecTrustRef serverTrust = nullptr)
        : host_(std::move(host)),
          port_(port),
          protocol_(std::move(protocol)),
          realm_(std::move(realm)),
          authenticationMethod_(std::move(authenticationMethod)),
          serverTrust_(std::move(serverTrust)) {}

    const std::string& host() const { return host_; }
    long port() const { return port_; }
    const std::string& protocol() const { return protocol_; }
    const std::string& realm() const { return realm_; }
    const std::string& authenticationMethod() const { return authenticationMethod_; }
    // The server's certificates (leaf first) for NSURLAuthenticationMethodServerTrust; null otherwise.
    const SecTrustRef& serverTrust() const { return serverTrust_; }

private:
    std::string host_;
    long port_;
    std::string protocol_;
    std::string realm_;
    std::string authenticationMethod_;
    SecTrustRef serverTrust_;
};
