#pragma once
// The ad library's one source of device facts and the device part of every ad
// request (`parameters`). One instance per process (`currentDevice`), which
// starts network watching and, from system 7.0, radio-technology watching.
//
// Threads: any thread may call. Facts that need the interface objects (system
// version, model, orientation, idiom, scale, screen geometry, can-open
// questions) are read on the main thread; those read once per process are kept
// in once-only holders that never hold a lock while waiting for the main
// thread. The radio values, the user agent and the identifier cache live on
// "com.adkit.adnet.device" (writes asynchronous, reads synchronous).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/foundation/AKNetwork.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class ASIdentifierManager;

// Audio routes: 1 built-in speaker, 2 headphones or headset, 3 no output, 5 other.
enum AKAudioRoute : std::uint64_t {
    AKAudioRouteSpeaker = 1,
    AKAudioRouteHeadphones = 2,
    AKAudioRouteNone = 3,
    AKAudioRouteOther = 5,
};

class AKDeviceSpecifications {
public:
    virtual ~AKDeviceSpecifications() = default;
    virtual bool isJailbroken() const = 0;
    virtual std::string systemVersion() const = 0;
    virtual std::string deviceIdentifier() = 0;
    virtual std::string deviceModel() const = 0;
    virtual std::string deviceSubmodel() const = 0;
    virtual std::optional<std::string> locale() const = 0;
    virtual AKAudioRoute audioRoute() const = 0;
    virtual bool isOrientationLandscape() const = 0;
    virtual double screenDensity() const = 0;
    virtual CGRect standardizedScreenBounds() const = 0;
    virtual CGRect standardizedApplicationFrame() const = 0;
};

class AKDevice : public NSObject, public AKDeviceSpecifications {
public:
    static std::shared_ptr<AKDevice> currentDevice();
    AKDevice();
    ~AKDevice() override;

    Value parameters();

    // The system version split at "."; a missing part is 0. Null pointers are skipped.
    static void getOSMajor(std::int64_t* major, std::int64_t* minor, std::int64_t* bugFix);
    static bool isOSAtLeastMajor(std::int64_t major, std::int64_t minor, std::int64_t bug);
    static bool OSIsSupported() { return isOSAtLeastMajor(5, 0, 0); }

    // Each string to whether the application can open its URL (asked on the main thread).
    Value canOpenURLs(const std::vector<std::string>& urls) const;

    bool isJailbroken() const override;
    std::string systemVersion() const override;
    std::string deviceIdentifier() override;
    std::shared_ptr<ASIdentifierManager> identifierManager() const;
    std::string deviceModel() const override;
    std::string deviceSubmodel() const override;
    std::optional<std::string> locale() const override;
    AKAudioRoute audioRoute() const override;
    bool isOrientationLandscape() const override;
    double screenDensity() const override;
    CGRect standardizedScreenBounds() const override;
    CGRect standardizedApplicationFrame() const override;
    bool userInterfaceIdiomIsPhone() const;
    std::optional<std::string> baseSDKVersion() const;

    std::optional<std::string> radioAccessTechnology() const;
    void setRadioAccessTechnology(const std::optional<std::string>& technology);
    std::optional<std::string> lastKnownRadioAccessTechnology() const;
    void enableRadioAccessTechnologyChecking();
    void disableRadioAccessTechnologyChecking();

    std::optional<std::string> userAgentString() const;
    void setUserAgentString(const std::optional<std::string>& userAgent);  // empty or nullopt: ignored

    std::shared_ptr<AKNetwork> network() const;
    void setNetwork(std::shared_ptr<AKNetwork> network);

    // The jailbreak fact (NO unless set).
    static void setJailbroken(bool jailbroken);
    // Forgets the once-per-process facts, so tests can change the device between cases.
    static void resetProcessFactsForTesting();

private:
    CGRect standardized(CGRect rect) const;
    dispatch_queue_t lockQueue_;
    // On lockQueue_.
    std::optional<std::string> radio_;
    std::optional<std::string> lastRadio_;
    std::optional<std::string> userAgent_;
    std::string cachedIdentifier_;
    std::string cachedIdentifierHash_;
    std::shared_ptr<AKNetwork> network_;
    std::shared_ptr<NSObject> radioObserver_;  // main thread
};
