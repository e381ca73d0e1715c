// Trust services over OpenSSL's X.509 verification.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <memory>
#include <mutex>

#include "platform/foundation/ProcessLifetime.h"
#include "platform/security/SecTrust.h"

class SecCertificate {
public:
    explicit SecCertificate(X509* x) : x509(x) {}
    ~SecCertificate() { X509_free(x509); }
    SecCertificate(const SecCertificate&) = delete;
    SecCertificate& operator=(const SecCertificate&) = delete;
    X509* x509;
};

class SecKey {
public:
    explicit SecKey(Data spki) : spki(std::move(spki)) {}
    Data spki;  // DER SubjectPublicKeyInfo
};

class SecPolicy {
public:
    bool ssl = false;
    bool server = true;
    std::optional<std::string> hostname;
};

class SecTrust {
public:
    std::vector<SecCertificateRef> certificates;
    std::vector<SecPolicyRef> policies;
    std::vector<SecCertificateRef> anchors;
    bool anchorsSet = false;
    bool anchorsOnly = true;
    bool evaluated = false;
    std::vector<SecCertificateRef> chain;
    std::string failure;
};

namespace {

std::mutex& systemMutex() {
    static ProcessLifetime<std::mutex> m;
    return *m;
}
std::vector<SecCertificateRef>& additionalAnchors() {
    static ProcessLifetime<std::vector<SecCertificateRef>> v;
    return *v;
}

Data toDer(X509* x) {
    int len = i2d_X509(x, nullptr);
    if (len <= 0) return {};
    Data out(static_cast<std::size_t>(len));
    unsigned char* p = out.data();
    i2d_X509(x, &p);
    return out;
}

bool isIpAddress(const std::string& host) {
    unsigned char buf[16];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

}  // namespace

SecCertificateRef SecCertificateCreateWithData(const Data& der) {
    if (der.empty()) return nullptr;
    const unsigned char* p = der.data();
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    if (!x) {
        ERR_clear_error();
        return nullptr;
    }
    if (p != der.data() + der.size()) {  // trailing bytes: not one certificate
        X509_free(x);
        return nullptr;
    }
    return std::make_shared<SecCertificate>(x);
}

Data SecCertificateCopyData(const SecCertificateRef& certificate) {
    return certificate ? toDer(certificate->x509) : Data();
}

std::string SecCertificateCopySubjectSummary(const SecCertificateRef& certificate) {
    if (!certificate) return {};
    X509_NAME* name = X509_get_subject_name(certificate->x509);
    int idx = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (idx < 0) return {};
    ASN1_STRING* s = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, idx));
    unsigned char* utf8 = nullptr;
    int len = ASN1_STRING_to_UTF8(&utf8, s);
    if (len < 0) return {};
    std::string out(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(len));
    OPENSSL_free(utf8);
    return out;
}

std::vector<SecCertificateRef> SecCertificatesFromPEM(const std::string& pem) {
    std::vector<SecCertificateRef> out;
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (!bio) return out;
    while (X509* x = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) out.push_back(std::make_shared<SecCertificate>(x));
    ERR_clear_error();
    BIO_free(bio);
    return out;
}

bool SecKeyEqual(const SecKeyRef& a, const SecKeyRef& b) { return a && b && a->spki == b->spki; }

Data SecKeyCopyExternalRepresentation(const SecKeyRef& key) { return key ? key->spki : Data(); }

SecPolicyRef SecPolicyCreateBasicX509() { return std::make_shared<SecPolicy>(); }

SecPolicyRef SecPolicyCreateSSL(bool server, const std::optional<std::string>& hostname) {
    auto p = std::make_shared<SecPolicy>();
    p->ssl = true;
    p->server = server;
    p->hostname = hostname;
    return p;
}

OSStatus SecTrustCreateWithCertificates(const std::vector<SecCertificateRef>& certificates, const SecPolicyRef& policy,
                                        SecTrustRef* trust) {
    if (!trust || certificates.empty()) return errSecParam;
    for (const auto& c : certificates)
        if (!c) return errSecParam;
    auto t = std::make_shared<SecTrust>();
    t->certificates = certificates;
    if (policy) t->policies.push_back(policy);
    *trust = t;
    return errSecSuccess;
}

OSStatus SecTrustSetPolicies(const SecTrustRef& trust, const std::vector<SecPolicyRef>& policies) {
    if (!trust) return errSecParam;
    trust->policies = policies;
    trust->evaluated = false;
    return errSecSuccess;
}

OSStatus SecTrustSetAnchorCertificates(const SecTrustRef& trust, const std::vector<SecCertificateRef>& anchors) {
    if (!trust) return errSecParam;
    trust->anchors.clear();
    for (const auto& a : anchors)
        if (a) trust->anchors.push_back(a);
    trust->anchorsSet = true;
    trust->anchorsOnly = true;
    trust->evaluated = false;
    return errSecSuccess;
}

OSStatus SecTrustSetAnchorCertificatesOnly(const SecTrustRef& trust, bool anchorsOnly) {
    if (!trust) return errSecParam;
    trust->anchorsOnly = anchorsOnly;
    return errSecSuccess;
}

namespace {

struct StoreFree {
    void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
struct ContextFree {
    void operator()(X509_STORE_CTX* ctx) const { X509_STORE_CTX_free(ctx); }
};
struct StackFree {
    void operator()(STACK_OF(X509) * stack) const { sk_X509_free(stack); }
};

// The system's roots and the additional anchors, read once: loading the
// distribution's bundle costs tens of milliseconds, so the store is shared by
// every evaluation (OpenSSL locks a store's lookups) and made again only when
// the additional anchors change. Guarded by systemMutex().
X509_STORE*& sharedSystemStore() {
    static X509_STORE* store = nullptr;  // lives as long as the process, or until replaced
    return store;
}

[[nodiscard]] bool addSystemRoots(X509_STORE* store) {
    // Without the distribution's bundle only the installed roots count.
    if (X509_STORE_set_default_paths(store) != 1) ERR_clear_error();
    for (const auto& a : additionalAnchors())
        if (X509_STORE_add_cert(store, a->x509) != 1) return false;
    return true;
}

std::unique_ptr<X509_STORE, StoreFree> systemStore() {
    std::lock_guard lock(systemMutex());
    X509_STORE*& shared = sharedSystemStore();
    if (!shared) {
        std::unique_ptr<X509_STORE, StoreFree> made(X509_STORE_new());
        if (!made || !addSystemRoots(made.get())) return nullptr;
        shared = made.release();
    }
    if (X509_STORE_up_ref(shared) != 1) return nullptr;
    return std::unique_ptr<X509_STORE, StoreFree>(shared);
}

// The store to verify against: the pinned anchors, and the system's roots
// unless the anchors stand alone. Null when it cannot be made.
std::unique_ptr<X509_STORE, StoreFree> storeFor(const SecTrust& trust) {
    const bool withSystem = !trust.anchorsSet || !trust.anchorsOnly;
    if (withSystem && trust.anchors.empty()) return systemStore();
    std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
    if (!store) return nullptr;
    if (withSystem) {
        std::lock_guard lock(systemMutex());
        if (!addSystemRoots(store.get())) return nullptr;
    }
    for (const auto& a : trust.anchors)
        if (X509_STORE_add_cert(store.get(), a->x509) != 1) return nullptr;
    return store;
}

[[nodiscard]] bool applyPolicies(const SecTrust& trust, X509_STORE_CTX* ctx) {
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx);
    // Anchors set on the trust are trusted as they are: a pinned leaf or
    // intermediate ends the chain without a self-signed root above it.
    if (!trust.anchors.empty() && X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN) != 1) return false;
    for (const auto& policy : trust.policies) {
        if (!policy || !policy->ssl) continue;
        if (X509_STORE_CTX_set_purpose(ctx, policy->server ? X509_PURPOSE_SSL_SERVER : X509_PURPOSE_SSL_CLIENT) != 1)
            return false;
        if (policy->hostname && !policy->hostname->empty()) {
            const std::string& host = *policy->hostname;
            int set = isIpAddress(host) ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                                        : X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
            if (set != 1) return false;
        }
    }
    return true;
}

}  // namespace

OSStatus SecTrustEvaluate(const SecTrustRef& trust, SecTrustResultType* result) {
    if (!trust || !result || trust->certificates.empty()) return errSecParam;
    ERR_clear_error();
    auto store = storeFor(*trust);
    std::unique_ptr<STACK_OF(X509), StackFree> untrusted(sk_X509_new_null());
    std::unique_ptr<X509_STORE_CTX, ContextFree> ctx(X509_STORE_CTX_new());
    if (!store || !untrusted || !ctx) {
        ERR_clear_error();
        return errSecAllocate;
    }
    for (std::size_t i = 1; i < trust->certificates.size(); ++i)
        if (sk_X509_push(untrusted.get(), trust->certificates[i]->x509) <= 0) return errSecAllocate;
    if (X509_STORE_CTX_init(ctx.get(), store.get(), trust->certificates[0]->x509, untrusted.get()) != 1 ||
        !applyPolicies(*trust, ctx.get())) {
        ERR_clear_error();
        return errSecInternalComponent;
    }
    int ok = X509_verify_cert(ctx.get());
    trust->chain.clear();
    if (STACK_OF(X509)* chain = X509_STORE_CTX_get1_chain(ctx.get())) {
        for (int i = 0; i < sk_X509_num(chain); ++i) {
            X509* x = sk_X509_value(chain, i);
            X509_up_ref(x);
            trust->chain.push_back(std::make_shared<SecCertificate>(x));
        }
        sk_X509_pop_free(chain, X509_free);
    }
    if (trust->chain.empty()) trust->chain = trust->certificates;
    trust->failure = ok == 1 ? std::string() : X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get()));
    *result = ok == 1 ? kSecTrustResultUnspecified : kSecTrustResultRecoverableTrustFailure;
    trust->evaluated = true;
    ERR_clear_error();
    return errSecSuccess;
}

long SecTrustGetCertificateCount(const SecTrustRef& trust) {
    if (!trust) return 0;
    return static_cast<long>(trust->evaluated ? trust->chain.size() : trust->certificates.size());
}

SecCertificateRef SecTrustGetCertificateAtIndex(const SecTrustRef& trust, long index) {
    if (!trust || index < 0) return nullptr;
    const auto& list = trust->evaluated ? trust->chain : trust->certificates;
    return static_cast<std::size_t>(index) < list.size() ? list[static_cast<std::size_t>(index)] : nullptr;
}

SecKeyRef SecTrustCopyPublicKey(const SecTrustRef& trust) {
    if (!trust || trust->certificates.empty()) return nullptr;
    EVP_PKEY* key = X509_get0_pubkey(trust->certificates[0]->x509);
    if (!key) {
        ERR_clear_error();
        return nullptr;
    }
    int len = i2d_PUBKEY(key, nullptr);
    if (len <= 0) return nullptr;
    Data spki(static_cast<std::size_t>(len));
    unsigned char* p = spki.data();
    i2d_PUBKEY(key, &p);
    return std::make_shared<SecKey>(std::move(spki));
}

std::string SecTrustCopyFailureReason(const SecTrustRef& trust) { return trust ? trust->failure : std::string(); }

void SecTrustSetAdditionalSystemAnchors(const std::vector<SecCertificateRef>& anchors) {
    std::lock_guard lock(systemMutex());
    additionalAnchors() = anchors;
    X509_STORE*& shared = sharedSystemStore();
    X509_STORE_free(shared);  // evaluations under way keep their own reference
    shared = nullptr;
}
