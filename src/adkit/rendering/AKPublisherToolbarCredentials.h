#pragma once
// The publisher toolbar's sign-in credentials, kept in the user defaults under
// "AdKitSDKToolbarCredentials" as the dictionary the toolbar page sent with
// its last "storeCredentials" message. While they are there every ad request
// carries "dpt" = "1". They outlive any toolbar until "clearCredentials".
//
// Writes (store, clear) take one process-wide lock; reads (hasToolbarCredentials,
// the copy made at creation) take none. Any thread.
#include <memory>
#include <mutex>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class AKPublisherToolbarCredentials : public NSObject {
public:
    static constexpr const char* kDefaultsKey = "AdKitSDKToolbarCredentials";

    // The user defaults hold a dictionary under the key.
    static bool hasToolbarCredentials();
    static std::mutex& credentialsLock();

    // init: a copy of the stored dictionary (null when there is none).
    AKPublisherToolbarCredentials();

    const Value& credentials() const { return credentials_; }
    // Keeps the dictionary (a copy) and writes it to the user defaults.
    void storeCredentials(const Value& credentials);
    // Removes the key from the user defaults and forgets the credentials.
    void clearCredentials();

private:
    Value credentials_;
};
