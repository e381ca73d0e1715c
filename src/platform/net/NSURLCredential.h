#pragma once
// A user name and password offered to an authentication challenge.
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

    // A credential that accepts a server's trust (the answer to a server-trust challenge).
    static std::shared_ptr<NSURLCredential> credentialForTrust(SecTrustRef trust) {
        auto credential = std::make_shared<NSURLCredential>(std::string(), std::string(), NSURLCredentialPersistenceNone);
        credential->serverTrust_ = std::move(trust);
        return credential;
    }

    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    bool hasPassword() const { return !password_.empty(); }
    NSURLCredentialPersistence persistence() const { return persistence_; }
    const SecTrustRef& serverTrust() const { return serverTrust_; }

private:
    std::string user_;
    std::string password_;
    NSURLCredentialPersistence persistence_;
    SecTrustRef serverTrust_;
};
