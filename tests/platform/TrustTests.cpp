// Protects certificate trust: DER parsing, chains trusted only through a known root, host name checks, and public keys.
#include <doctest/doctest.h>

#include "platform/security/SecTrust.h"
#include "support/TestPKI.h"

using testsupport::testPKI;

namespace {
SecTrustRef trustFor(const std::vector<Data>& chain, const SecPolicyRef& policy) {
    std::vector<SecCertificateRef> certs;
    for (const auto& der : chain) certs.push_back(SecCertificateCreateWithData(der));
    SecTrustRef trust;
    REQUIRE(SecTrustCreateWithCertificates(certs, policy, &trust) == errSecSuccess);
    return trust;
}

SecTrustResultType evaluate(const SecTrustRef& trust) {
    SecTrustResultType result = kSecTrustResultInvalid;
    REQUIRE(SecTrustEvaluate(trust, &result) == errSecSuccess);
    return result;
}

struct TestRootInstalled {
    TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({SecCertificateCreateWithData(testPKI().root.der)}); }
    ~TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({}); }
};
}  // namespace

TEST_CASE("certificates parse from DER only and round-trip their bytes") {
    const auto& pki = testPKI();
    auto cert = SecCertificateCreateWithData(pki.leaf.der);
    REQUIRE(cert);
    CHECK(SecCertificateCopyData(cert) == pki.leaf.der);
    CHECK(SecCertificateCopySubjectSummary(cert) == "127.0.0.1");
    CHECK(SecCertificateCreateWithData(dataFromString("not a certificate")) == nullptr);
    Data truncated(pki.leaf.der.begin(), pki.leaf.der.begin() + 40);
    CHECK(SecCertificateCreateWithData(truncated) == nullptr);
    Data trailing = pki.leaf.der;
    trailing.push_back(0);
    CHECK(SecCertificateCreateWithData(trailing) == nullptr);
    CHECK(SecCertificatesFromPEM(pki.leafChainPem()).size() == 2);
}

TEST_CASE("a chain is trusted only through a known root") {
    const auto& pki = testPKI();
    auto chain = std::vector<Data>{pki.leaf.der, pki.intermediate.der};
    CHECK(evaluate(trustFor(chain, SecPolicyCreateBasicX509())) == kSecTrustResultRecoverableTrustFailure);
    {
        TestRootInstalled installed;
        auto trust = trustFor(chain, SecPolicyCreateBasicX509());
        CHECK(evaluate(trust) == kSecTrustResultUnspecified);
        // The evaluated chain runs from the leaf to the root.
        REQUIRE(SecTrustGetCertificateCount(trust) == 3);
        CHECK(SecCertificateCopyData(SecTrustGetCertificateAtIndex(trust, 0)) == pki.leaf.der);
        CHECK(SecCertificateCopyData(SecTrustGetCertificateAtIndex(trust, 2)) == pki.root.der);
        CHECK(SecTrustGetCertificateAtIndex(trust, 3) == nullptr);
    }
    // Explicit anchors work without any installed root.
    auto anchored = trustFor(chain, SecPolicyCreateBasicX509());
    SecTrustSetAnchorCertificates(anchored, {SecCertificateCreateWithData(pki.root.der)});
    CHECK(evaluate(anchored) == kSecTrustResultUnspecified);
    // A self-signed leaf is trusted by nothing unless it is itself an anchor.
    auto self = trustFor({pki.selfSigned.der}, SecPolicyCreateBasicX509());
    CHECK(evaluate(self) == kSecTrustResultRecoverableTrustFailure);
    CHECK_FALSE(SecTrustCopyFailureReason(self).empty());
}

TEST_CASE("the TLS policy checks the host name and the basic policy does not") {
    const auto& pki = testPKI();
    TestRootInstalled installed;
    auto other = std::vector<Data>{pki.otherHostLeaf.der, pki.intermediate.der};
    CHECK(evaluate(trustFor(other, SecPolicyCreateBasicX509())) == kSecTrustResultUnspecified);
    CHECK(evaluate(trustFor(other, SecPolicyCreateSSL(true, std::string("127.0.0.1")))) ==
          kSecTrustResultRecoverableTrustFailure);
    auto leaf = std::vector<Data>{pki.leaf.der, pki.intermediate.der};
    CHECK(evaluate(trustFor(leaf, SecPolicyCreateSSL(true, std::string("127.0.0.1")))) == kSecTrustResultUnspecified);
    CHECK(evaluate(trustFor(leaf, SecPolicyCreateSSL(true, std::string("localhost")))) == kSecTrustResultUnspecified);
    CHECK(evaluate(trustFor(leaf, SecPolicyCreateSSL(true, std::string("127.0.0.2")))) ==
          kSecTrustResultRecoverableTrustFailure);
}

TEST_CASE("public keys are the leaf's and compare by value") {
    const auto& pki = testPKI();
    auto a = trustFor({pki.leaf.der}, SecPolicyCreateBasicX509());
    auto b = trustFor({pki.leaf.der, pki.intermediate.der}, SecPolicyCreateBasicX509());
    auto c = trustFor({pki.otherHostLeaf.der}, SecPolicyCreateBasicX509());
    evaluate(a);
    evaluate(b);
    evaluate(c);
    CHECK(SecKeyEqual(SecTrustCopyPublicKey(a), SecTrustCopyPublicKey(b)));
    CHECK_FALSE(SecKeyEqual(SecTrustCopyPublicKey(a), SecTrustCopyPublicKey(c)));
    SecTrustRef none;
    CHECK(SecTrustCreateWithCertificates({}, SecPolicyCreateBasicX509(), &none) == errSecParam);
}
