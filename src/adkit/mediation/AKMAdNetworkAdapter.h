#pragma once
// The mediation adapter interface and the adapter tests.
//
// Every mediation adapter derives from AKMAdNetworkAdapting and registers its
// class with ClassRegistry, declaring the protocol kAKMAdNetworkAdapterProtocol,
// the instance operation "getBannerWithSize:" (and "changeAdSizeTo:" when it
// implements it) and the class operations "adapterVersion" and
// "networkExtrasClass" (registerAdapterClass below fills these in). Adapter
// classes register before the ad library's early activities: the list of
// available adapters is computed once per process, at its first use.
//
// The adapter tests work on class names only, never on instances:
//   - classImplementsCurrentAdapterAPI: the class's instances answer
//     "getBannerWithSize:" (a class without it implements the old interface);
//   - classIsAdapterClass: the class or a superclass declares the protocol.
// Any thread; adapters themselves run on the main thread.
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "adkit/requests/AKAdSize.h"
#include "adkit/requests/AKSlotServices.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSObject.h"

class AKMAdNetworkConnector;
class UIViewController;

inline constexpr const char* kAKMAdNetworkAdapterProtocol = "AKMAdNetworkAdapter";
inline constexpr const char* kAKMGetBannerWithSizeOperation = "getBannerWithSize:";
inline constexpr const char* kAKMChangeAdSizeOperation = "changeAdSizeTo:";
inline constexpr const char* kAKMAdapterVersionOperation = "adapterVersion";
inline constexpr const char* kAKMNetworkExtrasClassOperation = "networkExtrasClass";

// What every adapter instance does for one attempt at one network.
class AKMAdNetworkAdapting : public NSObject {
public:
    // Made by the registered factory, then given its connector, which it must
    // not own (hold it weakly).
    virtual void initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& connector) = 0;
    virtual void getBannerWithSize(AKAdSize size) = 0;
    virtual void getInterstitial() = 0;
    // The adapter and its ad objects stop calling the connector.
    virtual void stopBeingDelegate() = 0;
    // Whether a banner transition animation (0 to 8) suits this network.
    virtual bool isBannerAnimationOK(std::int64_t animationType) = 0;
    virtual void presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) = 0;
    // Optional: answered only when the class lists kAKMChangeAdSizeOperation.
    virtual void changeAdSizeTo(AKAdSize /*size*/) {}
};

namespace AKMAdNetworkAdapter {

// The names of all registered classes that conform to the adapter protocol
// (directly or through a superclass); null when none does. Computed once.
std::shared_ptr<const std::set<std::string>> availableAdapterNameSet();
// The same set as an array of names, sorted; null when there is none.
Value availableAdapterNamesScanned();
bool classIsAdapterClass(const std::string& className);
bool classImplementsCurrentAdapterAPI(const std::string& className);

// Registers an adapter class: the protocol, "getBannerWithSize:" (and
// "changeAdSizeTo:" when `changesSize`), the version and the extras class name
// (empty: nil).
struct AdapterClass {
    std::string name;
    std::string superclass = "NSObject";
    ClassRegistry::Factory factory;
    std::string version;
    std::string networkExtrasClass;
    bool changesSize = false;
};
void registerAdapterClass(AdapterClass adapter);

// Installs the scanned names as the slot's adapter-names provider
// (AKSlotServices.h); the mediation waterfall calls this when it is in place.
void installAvailableAdapterNamesProvider();

}  // namespace AKMAdNetworkAdapter

// Adapters' handling of ad sizes boxed in platform values (kAKAdSizeTypeEncoding).
// A value that does not decode counts as kAKAdSizeInvalid in the last three.
namespace AKMAdSizeUtilities {
inline constexpr const char* kBoolEncoding = "B";
inline constexpr const char* kCGSizeEncoding = "{CGSize=dd}";
// Fills `size` only when the value's encoding is exactly kAKAdSizeTypeEncoding.
bool decodeNSValue(const NSValue& value, AKAdSize* size);
NSValue AKAdSizeEqualToSize(const NSValue& a, const NSValue& b);  // boxed "B"
NSValue CGSizeFromAKAdSize(const NSValue& value);                  // boxed "{CGSize=dd}"
NSValue isAKAdSizeValid(const NSValue& value);                     // boxed "B"
std::string stringFromAKAdSize(const NSValue& value);
}  // namespace AKMAdSizeUtilities
