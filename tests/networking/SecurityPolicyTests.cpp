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

TEST_CASE("certificate pinning covers the whole chain unless told otherwise") {
    const auto& pki = testPKI();
    TestRootInstalled installed;
    auto policy = std::make_shared<NLSecurityPolicy>();
    policy->setSSLPinningMode(NLSSLPinningModeCertificate);
    policy->setPinnedCertificates(std::vector<Data>{pki.root.der});
    auto chain = std::vector<Data>{pki.leaf.der, pki.intermediate.der};
    // The chain evaluates to three certificates and only the root is pinned.
    CHECK_FALSE(policy->evaluateServerTrust(serverTrust(chain), std::string("127.0.0.1")));
    policy->setValidatesCertificateChain(false);
    CHECK(policy->evaluateServerTrust(serverTrust(chain), std::string("127.0.0.1")));
    // Every certificate of the evaluated chain pinned: accepted with the chain check.
    policy->setValidatesCertificateChain(true);
    policy->setPinnedCertificates(std::vector<Data>{pki.leaf.der, pki.intermediate.der, pki.root.der});
    CHECK(policy->evaluateServerTrust(serverTrust(chain), std::string("127.0.0.1")));
    // A pinned anchor that is not the chain's root fails the second evaluation.
    policy->setValidatesCertificateChain(false);
    policy->setPinnedCertificates(std::vector<Data>{pki.selfSigned.der});
    CHECK_FALSE(policy->evaluateServerTrust(serverTrust(chain), std::string("127.0.0.1")));
    // A pinned private root that the system does not trust: the first evaluation
    // already refuses unless invalid certificates are allowed.
    SecTrustSetAdditionalSystemAnchors({});
    policy->setPinnedCertificates(std::vector<Data>{pki.root.der});
    CHECK_FALSE(policy->evaluateServerTrust(serverTrust(chain), std::string("127.0.0.1")));
    policy->setAllowInvalidCertificates(true);
    CHECK(policy->evaluateServerTrust(serverTrust(chain), std::string("127.0.0.1")));
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
