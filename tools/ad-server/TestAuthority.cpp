#include "TestAuthority.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace adserver {

namespace {

constexpr long kValiditySeconds = 30L * 24 * 3600;

std::unique_ptr<EVP_PKEY, OpensslFree> newKey() {
    return std::unique_ptr<EVP_PKEY, OpensslFree>(EVP_EC_gen("P-256"));
}

bool addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension) return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate for `key` named `commonName`, signed by the issuer (itself when null).
std::unique_ptr<X509, OpensslFree> issue(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey,
                                         bool authority) {
    std::unique_ptr<X509, OpensslFree> certificate(X509_new());
    if (!certificate) return nullptr;
    X509* c = certificate.get();
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) return nullptr;
    serial[0] &= 0x7f;  // a positive serial number
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serialSet = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(c));
    BN_free(number);
    X509_NAME* name = X509_get_subject_name(c);
    bool ok = serialSet && X509_set_version(c, 2) == 1 && X509_gmtime_adj(X509_getm_notBefore(c), -3600) &&
              X509_gmtime_adj(X509_getm_notAfter(c), kValiditySeconds) && X509_set_pubkey(c, key) == 1 &&
              X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                         reinterpret_cast<const unsigned char*>("Quorvane ad server"), -1, -1, 0) == 1 &&
              X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                                         -1, -1, 0) == 1;
    X509* signer = issuer ? issuer : c;
    ok = ok && X509_set_issuer_name(c, X509_get_subject_name(signer)) == 1;
    if (authority) {
        ok = ok && addExtension(c, signer, NID_basic_constraints, "critical,CA:TRUE,pathlen:0") &&
             addExtension(c, signer, NID_key_usage, "critical,keyCertSign,cRLSign") &&
             addExtension(c, signer, NID_subject_key_identifier, "hash");
    } else {
        ok = ok && addExtension(c, signer, NID_basic_constraints, "critical,CA:FALSE") &&
             addExtension(c, signer, NID_key_usage, "critical,digitalSignature") &&
             addExtension(c, signer, NID_ext_key_usage, "serverAuth") &&
             addExtension(c, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
             addExtension(c, signer, NID_authority_key_identifier, "keyid:always");
    }
    ok = ok && X509_sign(c, issuerKey ? issuerKey : key, EVP_sha256()) > 0;
    return ok ? std::move(certificate) : nullptr;
}

}  // namespace

bool TestAuthority::create(std::string& error) {
    authorityKey_ = newKey();
    serverKey_ = newKey();
    if (!authorityKey_ || !serverKey_) {
        error = "cannot make the test keys";
        return false;
    }
    authorityCertificate_ = issue(authorityKey_.get(), "Quorvane ad server test CA", nullptr, nullptr, true);
    if (authorityCertificate_)
        serverCertificate_ =
            issue(serverKey_.get(), "127.0.0.1", authorityCertificate_.get(), authorityKey_.get(), false);
    if (!serverCertificate_) {
        error = "cannot make the test certificates";
        return false;
    }
    return true;
}

bool TestAuthority::writeAuthorityPem(const std::string& path) const {
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    BIO* out = BIO_new_file(temporary.c_str(), "w");
    if (!out) return false;
    const bool written = PEM_write_bio_X509(out, authorityCertificate_.get()) == 1;
    BIO_free(out);
    std::error_code error;
    if (written) std::filesystem::rename(temporary, path, error);
    if (!written || error) std::filesystem::remove(temporary, error);
    return written && !error;
}

}  // namespace adserver
