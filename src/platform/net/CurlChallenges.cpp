// The challenges of a load over libcurl: an HTTP Basic challenge and the TLS
// server trust of a handshake given up for a decision. Each is offered to the
// delegate the same way; the answer comes back through answer() on the loop's
// thread, and the request goes out again, or the held answer is handed over,
// or the load fails.
#include "platform/net/CurlTLSCapture.h"
#include "platform/net/CurlTransfer.h"
#include "platform/net/CurlURL.h"
#include "platform/net/NSURLConnectionBacking.h"

using curlbacking::LoadState;

void NSURLConnectionBacking::challenge(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    auto parts = curlbacking::partsOf(t.request->URL());
    auto space = std::make_shared<NSURLProtectionSpace>(parts.host, parts.port, parts.scheme, t.realm,
                                                        NSURLAuthenticationMethodHTTPBasic);
    offer(c, space, t.credential, t.authFailures, t.response);
}

void NSURLConnectionBacking::challengeServerTrust(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    auto parts = curlbacking::partsOf(t.request->URL());
    SecTrustRef trust = curlbacking::serverTrustFor(t.peerChain, parts.host);
    if (!trust) return fail(c, NSURLErrorSecureConnectionFailed, "The server's certificates could not be read.");
    auto space = std::make_shared<NSURLProtectionSpace>(parts.host, parts.port, parts.scheme, std::string(),
                                                        NSURLAuthenticationMethodServerTrust, trust);
    offer(c, space, nullptr, 0, nullptr);
}

void NSURLConnectionBacking::offer(const NSURLConnectionPtr& c, const std::shared_ptr<NSURLProtectionSpace>& space,
                                   const std::shared_ptr<NSURLCredential>& proposed, long failures,
                                   const std::shared_ptr<NSURLResponse>& failureResponse) {
    auto& t = *c->transfer_;
    t.moveTo(LoadState::Challenging);
    // The load waits for the answer: no idle time-out meanwhile.
    if (t.idleTimer) t.idleTimer->invalidate();
    t.idleTimer.reset();
    std::weak_ptr<NSURLAuthenticationChallengeSender> sender = std::shared_ptr<NSURLAuthenticationChallengeSender>(c);
    auto challenge =
        std::make_shared<NSURLAuthenticationChallenge>(space, proposed, failures, failureResponse, nullptr, sender);
    t.pendingChallenge = challenge;
    bool answers = false;
    c->deliver([&](NSURLConnectionDelegate& d) {
        answers = d.respondsToWillSendRequestForAuthenticationChallenge();
        if (answers) d.connectionWillSendRequestForAuthenticationChallenge(c, challenge);
    });
    if (c->cancelled_) return stop(c);
    if (!answers) answer(c, challenge, Answer::Default, nullptr);
}

void NSURLConnectionBacking::answer(const NSURLConnectionPtr& c,
                                    const std::shared_ptr<NSURLAuthenticationChallenge>& challenge, Answer kind,
                                    const std::shared_ptr<NSURLCredential>& credential) {
    assertOnLoopThread(c);
    if (c->cancelled_ || c->ended_ || !c->transfer_ || c->transfer_->pendingChallenge != challenge) return;
    auto& t = *c->transfer_;
    t.pendingChallenge.reset();
    if (challenge->protectionSpace()->authenticationMethod() == NSURLAuthenticationMethodServerTrust)
        return answerServerTrust(c, challenge, kind, credential);
    switch (kind) {
        case Answer::UseCredential:
            if (credential && !credential->trust()) {
                t.credential = credential;
                ++t.authFailures;  // counted as failed if the server challenges again
                return sendAgain(c, t.request);
            }
            return deliverHeldResponse(c);
        case Answer::Cancel: return c->fail(NSURLErrorUserCancelledAuthentication);
        case Answer::ContinueWithout:
        case Answer::Default:
            // No credential store: the challenging response is the answer.
            return deliverHeldResponse(c);
    }
}

void NSURLConnectionBacking::answerServerTrust(const NSURLConnectionPtr& c,
                                               const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                               Answer kind, const std::shared_ptr<NSURLCredential>& credential) {
    auto& t = *c->transfer_;
    const auto& space = *challenge->protectionSpace();
    Data leaf = t.peerChain.empty() ? Data() : t.peerChain.front();
    auto accept = [&] {
        t.acceptedLeaves[curlbacking::serverKey({space.protocol(), space.host(), space.port()})] = leaf;
        launch(c, t.request);
    };
    if (kind == Answer::Cancel) return c->fail(NSURLErrorUserCancelledAuthentication);
    if (kind == Answer::UseCredential && credential && credential->trust() &&
        SecTrustGetCertificateCount(credential->trust()) > 0 &&
        SecCertificateCopyData(SecTrustGetCertificateAtIndex(credential->trust(), 0)) == leaf)
        return accept();
    // Default handling: the system's roots and the TLS server policy for the host,
    // on a trust of our own (the delegate may have changed the offered one).
    SecTrustRef trust = curlbacking::serverTrustFor(t.peerChain, space.host());
    SecTrustResultType result = kSecTrustResultInvalid;
    bool trusted = trust && SecTrustEvaluate(trust, &result) == errSecSuccess &&
                   (result == kSecTrustResultProceed || result == kSecTrustResultUnspecified);
    if (!trusted)
        return fail(c, NSURLErrorServerCertificateUntrusted,
                    trust ? SecTrustCopyFailureReason(trust) : std::string("The server's certificates could not be read."));
    accept();
}
