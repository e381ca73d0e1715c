#pragma once
// A user name and password offered to an authentication challenge.
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

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

    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    bool hasPassword() const { return !password_.empty(); }
    NSURLCredentialPersistence persistence() const { return persistence_; }

private:
    std::string user_;
    std::string password_;
    NSURLCredentialPersistence persistence_;
};
