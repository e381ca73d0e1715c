#include "platform/net/CurlTLSCapture.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>

#include "platform/net/CurlTransfer.h"
#include "platform/net/CurlURL.h"

namespace curlbacking {

namespace {

Data derOf(X509* certificate) {
    int length = i2d_X509(certificate, nullptr);
    if (length <= 0) return {};
    Data der(static_cast<std::size_t>(length));
    unsigned char* out = der.data();
    if (i2d_X509(certificate, &out) != length) return {};
    return der;
}

// The chain the server presented, leaf first, each certificate once.
std::vector<Data> presentedChain(X509_STORE_CTX* store) {
    std::vector<Data> chain;
    if (X509* leaf = X509_STORE_CTX_get0_cert(store)) chain.push_back(derOf(leaf));
    if (STACK_OF(X509)* presented = X509_STORE_CTX_get0_untrusted(store)) {
        for (int i = 0; i < sk_X509_num(presented); ++i) {
            Data der = derOf(sk_X509_value(presented, i));
            if (std::find(chain.begin(), chain.end(), der) == chain.end()) chain.push_back(std::move(der));
        }
    }
    return chain;
}

// OpenSSL's verification of the server's chain, replaced: the chain is taken
// as it came; whether it is trusted is decided by the challenge.
int onVerifyChain(X509_STORE_CTX* store, void* user) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    int verdict = guarded(t, 0, [&] {
        touch(t);
        if (t.state() != LoadState::AwaitingHeaders) return 0;  // the load already failed
        std::vector<Data> chain = presentedChain(store);
        if (chain.empty() || chain.front().empty()) {
            t.recordFailure(NSURLErrorSecureConnectionFailed, "The server presented no readable certificate.");
            return 0;
        }
        auto accepted = t.acceptedLeaves.find(serverKey(partsOf(t.request->URL())));
        if (accepted == t.acceptedLeaves.end()) {
            t.peerChain = std::move(chain);
            t.moveTo(LoadState::TrustDue);
            return 0;
        }
        if (accepted->second == chain.front()) return 1;
        t.moveTo(LoadState::TrustRefused);
        return 0;
    });
    X509_STORE_CTX_set_error(store, verdict ? X509_V_OK : X509_V_ERR_APPLICATION_VERIFICATION);
    return verdict;
}

}  // namespace

CURLcode onSslContext(CURL*, void* context, void* user) {
    auto* ctx = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(ctx, &onVerifyChain, user);
    return CURLE_OK;
}

SecTrustRef serverTrustFor(const std::vector<Data>& chain, const std::string& host) {
    std::vector<SecCertificateRef> certificates;
    for (const auto& der : chain)
        if (auto certificate = SecCertificateCreateWithData(der)) certificates.push_back(certificate);
    SecTrustRef trust;
    if (certificates.empty() ||
        SecTrustCreateWithCertificates(certificates, SecPolicyCreateSSL(true, host), &trust) != errSecSuccess)
        return nullptr;
    return trust;
}

}  // namespace curlbacking
