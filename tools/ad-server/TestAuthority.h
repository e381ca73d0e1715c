#pragma once
// A certificate authority made fresh at every start, and the server certificate it
// signs for "127.0.0.1" and "localhost". Only the authority's certificate leaves the
// process (as PEM, for clients to trust); both keys live and die in memory.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace adserver {

struct OpensslFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

class TestAuthority {
public:
    // Makes the authority and the server certificate; false with `error` set when OpenSSL refused.
    [[nodiscard]] bool create(std::string& error);
    // The authority's certificate as PEM, written beside the path and renamed over it.
    [[nodiscard]] bool writeAuthorityPem(const std::string& path) const;

    X509* serverCertificate() const { return serverCertificate_.get(); }
    EVP_PKEY* serverKey() const { return serverKey_.get(); }

private:
    std::unique_ptr<EVP_PKEY, OpensslFree> authorityKey_;
    std::unique_ptr<X509, OpensslFree> authorityCertificate_;
    std::unique_ptr<EVP_PKEY, OpensslFree> serverKey_;
    std::unique_ptr<X509, OpensslFree> serverCertificate_;
};

}  // namespace adserver
