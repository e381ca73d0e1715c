// Protects the TLS tests: a root, an intermediate and leaves made at run time, one of them self-signed.
#include "support/TestPKI.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace testsupport {
namespace {

EVP_PKEY* newKey() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key) throw std::runtime_error("key generation failed");
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) throw std::runtime_error("bad extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

X509* makeCert(const char* cn, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, bool ca, const char* san, long serial) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600L * 24 * 30);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Quorvane Test"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509* issuerCert = issuer ? issuer : cert;
    if (ca) {
        addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, issuerCert, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        addExtension(cert, issuerCert, NID_ext_key_usage, "serverAuth");
    }
    addExtension(cert, issuerCert, NID_subject_key_identifier, "hash");
    if (san) addExtension(cert, issuerCert, NID_subject_alt_name, san);
    if (!X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256())) throw std::runtime_error("sign failed");
    return cert;
}

TestCertificate describe(X509* cert, EVP_PKEY* key) {
    TestCertificate out;
    int len = i2d_X509(cert, nullptr);
    out.der.resize(static_cast<std::size_t>(len));
    unsigned char* p = out.der.data();
    i2d_X509(cert, &p);
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    out.pem.assign(data, static_cast<std::size_t>(n));
    BIO_free(bio);
    bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    n = BIO_get_mem_data(bio, &data);
    out.keyPem.assign(data, static_cast<std::size_t>(n));
    BIO_free(bio);
    return out;
}

}  // namespace

TestPKI makeTestPKI() {
    TestPKI pki;
    EVP_PKEY* rootKey = newKey();
    EVP_PKEY* interKey = newKey();
    EVP_PKEY* leafKey = newKey();
    EVP_PKEY* otherKey = newKey();
    EVP_PKEY* selfKey = newKey();
    X509* root = makeCert("Quorvane Test Root", rootKey, nullptr, nullptr, true, nullptr, 1);
    X509* inter = makeCert("Quorvane Test Intermediate", interKey, root, rootKey, true, nullptr, 2);
    X509* leaf = makeCert("127.0.0.1", leafKey, inter, interKey, false, "IP:127.0.0.1,DNS:localhost", 3);
    X509* other = makeCert("other.example", otherKey, inter, interKey, false, "DNS:other.example", 4);
    X509* self = makeCert("127.0.0.1", selfKey, nullptr, nullptr, false, "IP:127.0.0.1,DNS:localhost", 5);
    pki.root = describe(root, rootKey);
    pki.intermediate = describe(inter, interKey);
    pki.leaf = describe(leaf, leafKey);
    pki.otherHostLeaf = describe(other, otherKey);
    pki.selfSigned = describe(self, selfKey);
    for (X509* c : {root, inter, leaf, other, self}) X509_free(c);
    for (EVP_PKEY* k : {rootKey, interKey, leafKey, otherKey, selfKey}) EVP_PKEY_free(k);
    return pki;
}

const TestPKI& testPKI() {
    static const TestPKI pki = makeTestPKI();
    return pki;
}

}  // namespace testsupport
