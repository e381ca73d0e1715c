#pragma once
// A server's demand for credentials, and the object that takes the answer.
#include <memory>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/net/NSURLCredential.h"
#include "platform/net/NSURLProtectionSpace.h"
#include "platform/net/NSURLResponse.h"

class NSURLAuthenticationChallenge;

// Takes the answer to a challenge. Exactly one of these is called per
// challenge, from any thread, during the delegate call or later.
class NSURLAuthenticationChallengeSender {
public:
    virtual ~NSURLAuthenticationChallengeSender() = default;
    // Sends the request again with the credential.
    virtual void useCredential(const std::shared_ptr<NSURLCredential>& credential,
                               const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) = 0;
    // Takes the challenging response as the answer.
    virtual void continueWithoutCredentialForAuthenticationChallenge(
        const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) = 0;
    // Fails the load (NSURLErrorUserCancelledAuthentication).
    virtual void cancelAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) = 0;
    // What the connection does for a delegate that does not answer challenges.
    virtual void performDefaultHandlingForAuthenticationChallenge(
        const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) = 0;
};

class NSURLAuthenticationChallenge : public NSObject {
public:
    NSURLAuthenticationChallenge(std::shared_ptr<NSURLProtectionSpace> protectionSpace,
                                 std::shared_ptr<NSURLCredential> proposedCredential, long previousFailureCount,
                                 std::shared_ptr<NSURLResponse> failureResponse, NSErrorPtr error,
                                 std::weak_ptr<NSURLAuthenticationChallengeSender> sender)
        : protectionSpace_(std::move(protectionSpace)),
          proposedCredential_(std::move(proposedCredential)),
          previousFailureCount_(previousFailureCount),
          failureResponse_(std::move(failureResponse)),
          error_(std::move(error)),
          sender_(std::move(sender)) {}

    const std::shared_ptr<NSURLProtectionSpace>& protectionSpace() const { return protectionSpace_; }
    const std::shared_ptr<NSURLCredential>& proposedCredential() const { return proposedCredential_; }
    // How many credentials were already refused for this load.
    long previousFailureCount() const { return previousFailureCount_; }
    const std::shared_ptr<NSURLResponse>& failureResponse() const { return failureResponse_; }
    const NSErrorPtr& error() const { return error_; }
    // Null once the connection is gone.
    std::shared_ptr<NSURLAuthenticationChallengeSender> sender() const { return sender_.lock(); }

private:
    std::shared_ptr<NSURLProtectionSpace> protectionSpace_;
    std::shared_ptr<NSURLCredential> proposedCredential_;
    long previousFailureCount_;
    std::shared_ptr<NSURLResponse> failureResponse_;
    NSErrorPtr error_;
    std::weak_ptr<NSURLAuthenticationChallengeSender> sender_;
};
