// Server trust decided by the operation's security policy, over real TLS
// handshakes with the loopback server.
#include <doctest/doctest.h>

#include "OperationTestSupport.h"
#include "networking/NLSecurityPolicy.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackTlsConnection.h"
#include "support/TestEnvironment.h"
#include "support/TestPKI.h"

using namespace optest;
using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;
using testsupport::testPKI;

namespace {

struct TestRootInstalled {
    TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({SecCertificateCreateWithData(testPKI().root.der)}); }
    ~TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({}); }
};

struct TlsServer {
    TlsServer(const std::string& chainPem, const std::string& keyPem)
        : server(testsupport::tlsConnectionFactory(chainPem, keyPem), "https") {
        server.route("GET", "/hello", Reply::text("hello over TLS"));
    }
    LoopbackHttpServer server;
};

// Loads /hello with the policy (the default one for null); the error code, 0 on success.
long loadWith(TlsServer& tls, const std::shared_ptr<NLSecurityPolicy>& policy) {
    auto op = get(tls.server.url("/hello"));
    if (policy) op->setSecurityPolicy(policy);
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    if (out.successes == 1) {
        CHECK(*out.object.data() == bytes("hello over TLS"));
        return 0;
    }
    REQUIRE(out.error);
    CHECK(out.error->domain() == NSURLErrorDomain);
    return out.error->code();
}

std::shared_ptr<NLSecurityPolicy> pinning(std::uint64_t mode, std::vector<Data> certificates) {
    auto policy = NLSecurityPolicy::policyWithPinningMode(mode);
    policy->setPinnedCertificates(std::move(certificates));
    return policy;
}

}  // namespace

TEST_SUITE("operation server trust") {

TEST_CASE("the default policy accepts a trusted chain for the host and refuses others") {
    const auto& pki = testPKI();
    TestRootInstalled root;
    TlsServer good(pki.leafChainPem(), pki.leaf.keyPem);
    CHECK(loadWith(good, nullptr) == 0);
    TlsServer otherHost(pki.otherHostChainPem(), pki.otherHostLeaf.keyPem);
    CHECK(loadWith(otherHost, nullptr) == NSURLErrorUserCancelledAuthentication);
    CHECK(otherHost.server.requestCount() == 0);
    TlsServer selfSigned(pki.selfSigned.pem, pki.selfSigned.keyPem);
    CHECK(loadWith(selfSigned, nullptr) == NSURLErrorUserCancelledAuthentication);
    auto relaxed = std::make_shared<NLSecurityPolicy>();
    relaxed->setAllowInvalidCertificates(true);
    CHECK(loadWith(selfSigned, relaxed) == 0);
}

TEST_CASE("without the root installed a pinned chain is trusted only when invalid chains are allowed") {
    const auto& pki = testPKI();
    TlsServer good(pki.leafChainPem(), pki.leaf.keyPem);
    CHECK(loadWith(good, nullptr) == NSURLErrorUserCancelledAuthentication);
    auto pinned = pinning(NLSSLPinningModeCertificate, {pki.leaf.der, pki.intermediate.der, pki.root.der});
    CHECK(loadWith(good, pinned) == NSURLErrorUserCancelledAuthentication);
    pinned->setAllowInvalidCertificates(true);
    CHECK(loadWith(good, pinned) == 0);
    auto wrongPin = pinning(NLSSLPinningModeCertificate, {pki.selfSigned.der});
    wrongPin->setAllowInvalidCertificates(true);
    CHECK(loadWith(good, wrongPin) == NSURLErrorUserCancelledAuthentication);
}

TEST_CASE("certificate and public-key pinning over real handshakes") {
    const auto& pki = testPKI();
    TestRootInstalled root;
    TlsServer good(pki.leafChainPem(), pki.leaf.keyPem);
    const std::vector<Data> chain = {pki.leaf.der, pki.intermediate.der, pki.root.der};
    CHECK(loadWith(good, pinning(NLSSLPinningModeCertificate, chain)) == 0);
    CHECK(loadWith(good, pinning(NLSSLPinningModePublicKey, chain)) == 0);
    CHECK(loadWith(good, pinning(NLSSLPinningModePublicKey, {pki.otherHostLeaf.der})) ==
          NSURLErrorUserCancelledAuthentication);
    // Pinning checks the host too: the other host's chain, pinned whole, is refused for 127.0.0.1.
    TlsServer otherHost(pki.otherHostChainPem(), pki.otherHostLeaf.keyPem);
    CHECK(loadWith(otherHost, pinning(NLSSLPinningModeCertificate,
                                      {pki.otherHostLeaf.der, pki.intermediate.der, pki.root.der})) ==
          NSURLErrorUserCancelledAuthentication);
    CHECK(otherHost.server.requestCount() == 0);
}

TEST_CASE("a challenge hook replaces the policy") {
    const auto& pki = testPKI();
    TlsServer selfSigned(pki.selfSigned.pem, pki.selfSigned.keyPem);
    auto op = get(selfSigned.server.url("/hello"));
    std::atomic<int> asked{0};
    op->setWillSendRequestForAuthenticationChallengeBlock(
        [&](const NSURLConnectionPtr&, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
            ++asked;
            challenge->sender()->useCredential(
                NSURLCredential::credentialForTrust(challenge->protectionSpace()->serverTrust()), challenge);
        });
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    CHECK(out.successes == 1);
    CHECK(asked >= 1);
}

}  // TEST_SUITE
