// Protects the security policy: trusted chains naming the host, untrusted chains, certificate and public-key pinning, and pinning modes.
#include <doctest/doctest.h>

#include "networking/NLSecurityPolicy.h"
#include "support/TestPKI.h"

using testsupport::testPKI;

namespace {
SecTrustRef serverTrust(const std::vector<Data>& chain) {
    std::vector<SecCertificateRef> certs;
    for (const auto& der : chain) certs.push_back(SecCertificateCreateWithData(der));
    SecTrustRef trust;
    REQUIRE(SecTrustCreateWithCertificates(certs, SecPolicyCreateBasicX509(), &trust) == errSecSuccess);
    return trust;
}

struct TestRootInstalled {
    TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({SecCertificateCreateWithData(testPKI().root.der)}); }
    ~TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({}); }
};
}  // namespace

TEST_CASE("the default policy wants a trusted chain that names the host") {
    const auto& pki = testPKI();
    TestRootInstalled installed;
    auto policy = NLSecurityPolicy::defaultPolicy();
    CHECK(policy->validatesDomainName());
    CHECK(policy->evaluateServerTrust(serverTrust({pki.leaf.der, pki.intermediate.der}), std::string("127.0.0.1")));
    CHECK_FALSE(policy->evaluateServerTrust(serverTrust({pki.otherHostLeaf.der, pki.intermediate.der}),
                                            std::string("127.0.0.1")));
    CHECK_FALSE(policy->evaluateServerTrust(serverTrust({pki.selfSigned.der}), std::string("127.0.0.1")));
    policy->setAllowInvalidCertificates(true);
    CHECK(policy->evaluateServerTrust(serverTrust({pki.selfSigned.der}), std::string("127.0.0.1")));
}

TEST_CASE("untrusted chains are refused without an installed root") {
    const auto& pki = testPKI();
    CHECK_FALSE(NLSecurityPolicy::defaultPolicy()->evaluateServerTrust(
        serverTrust({pki.leaf.der, pki.intermediate.der}), std::string("127.0.0.1")));
}

TEST_CASE("certificate pinning trusts a pinned leaf or intermediate, and the chain check wants every certificate") {
    const auto& pki = testPKI();
    const auto chain = std::vector<Data>{pki.leaf.der, pki.intermediate.der};
    const std::string host = "127.0.0.1";
    struct Case {
        std::string what;
        std::vector<Data> pinned;
        bool rootInstalled, validatesChain, allowInvalid, accepted;
    };
    const std::vector<Case> cases{
        // The chain evaluates to three certificates under the installed root.
        {"leaf pinned", {pki.leaf.der}, true, false, false, true},
        {"intermediate pinned", {pki.intermediate.der}, true, false, false, true},
        {"leaf pinned, whole chain wanted", {pki.leaf.der}, true, true, false, false},
        {"leaf and intermediate pinned, whole chain wanted", {pki.leaf.der, pki.intermediate.der}, true, true, false,
         false},
        {"every certificate pinned, whole chain wanted", {pki.leaf.der, pki.intermediate.der, pki.root.der}, true, true,
         false, true},
        {"another host's leaf pinned", {pki.otherHostLeaf.der}, true, false, false, false},
        {"an unrelated certificate pinned", {pki.selfSigned.der}, true, false, false, false},
        // A private chain that no system root vouches for: the first evaluation
        // refuses unless invalid certificates are allowed; the pinned certificate
        // is then the anchor.
        {"private leaf pinned", {pki.leaf.der}, false, false, false, false},
        {"private leaf pinned, invalid allowed", {pki.leaf.der}, false, false, true, true},
        {"private intermediate pinned, invalid allowed", {pki.intermediate.der}, false, false, true, true},
        {"private chain pinned whole, invalid allowed", {pki.leaf.der, pki.intermediate.der}, false, true, true, true},
        {"another host's leaf pinned, invalid allowed", {pki.otherHostLeaf.der}, false, false, true, false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        SecTrustSetAdditionalSystemAnchors(c.rootInstalled ? std::vector<SecCertificateRef>{SecCertificateCreateWithData(
                                                                 pki.root.der)}
                                                           : std::vector<SecCertificateRef>{});
        auto policy = std::make_shared<NLSecurityPolicy>();
        policy->setSSLPinningMode(NLSSLPinningModeCertificate);
        policy->setPinnedCertificates(c.pinned);
        policy->setValidatesCertificateChain(c.validatesChain);
        policy->setAllowInvalidCertificates(c.allowInvalid);
        CHECK(policy->evaluateServerTrust(serverTrust(chain), host) == c.accepted);
    }
    SecTrustSetAdditionalSystemAnchors({});
    // The pinned leaf still has to name the host asked for.
    auto policy = std::make_shared<NLSecurityPolicy>();
    policy->setSSLPinningMode(NLSSLPinningModeCertificate);
    policy->setValidatesCertificateChain(false);
    policy->setAllowInvalidCertificates(true);
    policy->setPinnedCertificates(std::vector<Data>{pki.otherHostLeaf.der});
    CHECK_FALSE(policy->evaluateServerTrust(serverTrust({pki.otherHostLeaf.der, pki.intermediate.der}), host));
    policy->setValidatesDomainName(false);
    CHECK(policy->evaluateServerTrust(serverTrust({pki.otherHostLeaf.der, pki.intermediate.der}), host));
}

TEST_CASE("public-key pinning matches the leaf key") {
    const auto& pki = testPKI();
    TestRootInstalled installed;
    auto policy = std::make_shared<NLSecurityPolicy>();
    policy->setSSLPinningMode(NLSSLPinningModePublicKey);
    policy->setValidatesCertificateChain(false);
    policy->setPinnedCertificates(std::vector<Data>{pki.leaf.der, dataFromString("junk")});
    REQUIRE(policy->pinnedPublicKeys());
    CHECK(policy->pinnedPublicKeys()->size() == 1);  // the junk entry has no key
    CHECK(policy->evaluateServerTrust(serverTrust({pki.leaf.der, pki.intermediate.der}), std::string("127.0.0.1")));
    policy->setPinnedCertificates(std::vector<Data>{pki.otherHostLeaf.der});
    CHECK_FALSE(policy->evaluateServerTrust(serverTrust({pki.leaf.der, pki.intermediate.der}), std::string("127.0.0.1")));
}

TEST_CASE("pinning modes set host validation and unknown modes refuse") {
    const auto& pki = testPKI();
    TestRootInstalled installed;
    NLSecurityPolicy policy;
    policy.setValidatesDomainName(false);
    policy.setSSLPinningMode(NLSSLPinningModePublicKey);
    CHECK(policy.validatesDomainName());
    policy.setSSLPinningMode(NLSSLPinningModeNone);
    CHECK_FALSE(policy.validatesDomainName());
    policy.setSSLPinningMode(3);
    CHECK_FALSE(policy.evaluateServerTrust(serverTrust({pki.leaf.der, pki.intermediate.der}), std::string("127.0.0.1")));
    int notified = 0;
    auto token = policy.observeValueForKey("pinnedPublicKeys", [&](const std::string&) { ++notified; });
    policy.setPinnedCertificates(std::nullopt);
    CHECK(notified == 1);
    CHECK_FALSE(policy.pinnedPublicKeys().has_value());
}
