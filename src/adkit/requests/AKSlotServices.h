#pragma once
// Services the ad slot calls whose full versions come with later work: the
// mediation configuration and glue, the adapter names the build knows, swipe
// to a full-screen view controller (the default purchase flow and the
// publisher toolbar's credentials are the rendering layer's).
//
// Each is a class with default behaviour or a function with a default. A later
// implementation installs itself (setFactory / install) from an early activity
// of AKApplication; AKAdSlot's class initialisation registers the defaults the
// same way, filling only what nobody installed, so the order of the early
// activities does not matter. Defaults, until then:
//   - AKMConfig::initWithAppKey fails with AKRequestError code 8 (no mediation
//     adapter), so a mediation response fails its load;
//   - AKMToAKGlue requests nothing, changes no type, presents nothing;
//   - AKMAdNetworkAdapter::availableAdapterNames is null (no "adapters" key);
//   - swipe calls do nothing (until ad rendering's swipe installs itself).
//
// Threads: installing and reading the installed objects may happen on any
// thread; what they do runs on the main thread, where the slot calls them.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "adkit/foundation/AKInstalled.h"
#include "adkit/rendering/AKPaymentTransactionObserver.h"  // the default purchase flow the slot asks
#include "adkit/requests/AKAdType.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class AKAdSlot;
class UIViewController;

// The mediation configuration of one mediation response.
class AKMConfig : public NSObject {
public:
    using Factory = std::function<std::shared_ptr<AKMConfig>(const std::string& appKey, const Value& configDict,
                                                             NSErrorPtr* error)>;
    // initWithAppKey:configDict:error: through the installed factory.
    static std::shared_ptr<AKMConfig> initWithAppKey(const std::string& appKey, const Value& configDict,
                                                     NSErrorPtr* error);
    static void setFactory(Factory factory);
    // The default factory: nil and AKRequestError code 8.
    static std::shared_ptr<AKMConfig> unavailable(const std::string& appKey, const Value& configDict,
                                                  NSErrorPtr* error);

    virtual AKAdTypePtr adType() const = 0;
    virtual void setAdType(const AKAdTypePtr& type) = 0;
    // Seconds; 0 or below: no refresh.
    virtual double refreshInterval() const = 0;
};

// The glue between a slot and the mediation waterfall. The slot owns it; it
// holds the slot weakly and reports back through the slot's public operations.
class AKMToAKGlue : public NSObject {
public:
    using Factory = std::function<std::shared_ptr<AKMToAKGlue>()>;
    static std::shared_ptr<AKMToAKGlue> make();
    static void setFactory(Factory factory);

    std::shared_ptr<AKAdSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::shared_ptr<AKAdSlot>& slot) { slot_ = slot; }

    virtual void requestAdWithType(const AKAdTypePtr& /*type*/, const std::shared_ptr<AKMConfig>& /*config*/) {}
    // YES: the mediated network took the new type.
    virtual bool changeAdTypeTo(const AKAdTypePtr& /*type*/) { return false; }
    virtual void cancel() {}
    virtual std::shared_ptr<NSObject> mediatedInterstitial() const { return nullptr; }
    virtual void presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& /*root*/) {}
    // The adapter class name of the connector that delivered the ad (none: nullopt).
    virtual std::optional<std::string> receivedAdapterClassName() const { return std::nullopt; }

private:
    std::weak_ptr<AKAdSlot> slot_;
};

namespace AKMAdNetworkAdapter {
// The adapter names the build knows, as an array (null: none known).
Value availableAdapterNames();
void setAvailableAdapterNamesProvider(std::function<Value()> provider);
// The class name of the library's own network adapter.
inline constexpr const char* kAdKitAdapterClassName = "AKMAdapterAdKitAdNetAds";
}  // namespace AKMAdNetworkAdapter

// The slot's swipe-to-view-controller operations.
class AKSlotExtensions {
public:
    virtual ~AKSlotExtensions() = default;
    static std::shared_ptr<AKSlotExtensions> shared();
    static void install(std::shared_ptr<AKSlotExtensions> extensions);

    // The eligibility report, after every Viewability sample.
    virtual void canEnableSwipeToViewController(AKAdSlot& /*slot*/) {}
    virtual void enableSwipeToViewController(AKAdSlot& /*slot*/) {}
    virtual void disableSwipeToViewController(AKAdSlot& /*slot*/) {}
    // The slot resets its request state (after disabling the swipe, before
    // dropping its ad): the swipe's store sheet goes back to the application.
    virtual void slotWillResetRequestState(AKAdSlot& /*slot*/) {}
};

// Installs the swipe-to-store operations of ad rendering as the slot
// extensions, from an early activity (once; AKAdSlot's class initialisation calls it).
void AKSlotSwipeExtensionsRegister();

// Registers the defaults above (once; AKAdSlot's class initialisation calls it).
void AKSlotServicesRegisterDefaults();
