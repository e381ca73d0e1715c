#pragma once
// What answers an authentication challenge: a user name and password, or,
// for a server-trust challenge, the server's trust accepted by the caller.
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/security/SecTrust.h"

enum NSURLCredentialPersistence : unsigned long {
    NSURLCredentialPersistenceNone = 0,
    NSURLCredentialPersistenceForSession = 1,
    NSURLCredentialPersistencePermanent = 2,
    NSURLCredentialPersistenceSynchronizable = 3,
};

class NSURLCredential : public NSObject {
public:
    NSURLCredential(std::string user, std::string password, NSURLCredentialPersistence persistence)
        : user_(std::move(user)), password_(std::move(password)), persistence_(persistence) {}
    static std::shared_ptr<NSURLCredential> credentialWithUser(std::string user, std::string password,
                                                               NSURLCredentialPersistence persistence) {
        return std::make_shared<NSURLCredential>(std::move(user), std::move(password), persistence);
    }
    // Accepts the server presenting `trust` (for this load); null for a null trust.
    static std::shared_ptr<NSURLCredential> credentialForTrust(const SecTrustRef& trust) {
        if (!trust) return nullptr;
        auto credential = std::make_shared<NSURLCredential>(std::string(), std::string(), NSURLCredentialPersistenceForSession);
        credential->trust_ = trust;
        return credential;
    }

    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    bool hasPassword() const { return !password_.empty(); }
    NSURLCredentialPersistence persistence() const { return persistence_; }
    // The trust of a credential made by credentialForTrust; null otherwise.
    const SecTrustRef& trust() const { return trust_; }

private:
    std::string user_;
    std::string password_;
    NSURLCredentialPersistence persistence_;
    SecTrustRef trust_;
};
