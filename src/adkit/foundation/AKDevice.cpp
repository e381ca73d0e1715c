#include "adkit/foundation/AKDevice.h"

#include <atomic>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/foundation/SystemInfo.h"
#include "platform/media/AudioSessionRoute.h"
#include "platform/adsupport/ASIdentifierManager.h"
#include "platform/coretelephony/CTTelephonyNetworkInfo.h"
#include "platform/storekit/SKPaymentQueue.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStatusBarOrientation.h"

namespace {

struct ProcessFacts {
    AKMainThreadOnce<std::string> systemVersion;
    AKMainThreadOnce<std::string> model;
    AKMainThreadOnce<double> scale;
    AKOnceValue<std::string> submodel;
    AKOnceValue<std::optional<std::string>> locale;
    AKOnceValue<std::optional<std::string>> baseSDK;
};

ProcessFacts& facts() {
    static ProcessLifetime<ProcessFacts> f;
    return *f;
}

std::atomic<bool> jailbroken{false};

std::int64_t leadingInteger(const std::string& text) {
    std::int64_t value = 0;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < (INT64_MAX - 9) / 10) value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

std::string shortText(double value) { return ak_shortStringWithCGFloat(value).value_or("0"); }

std::string processSystemVersion() {
    return facts().systemVersion.get([] { return UIDevice::currentDevice()->systemVersion(); });
}

}  // namespace

std::shared_ptr<AKDevice> AKDevice::currentDevice() {
    static ProcessLifetime<std::shared_ptr<AKDevice>> device([] {
        auto d = std::make_shared<AKDevice>();
        d->network_->enableNetworkChecking();
        d->enableRadioAccessTechnologyChecking();
        return d;
    }());
    return *device;
}

AKDevice::AKDevice() : lockQueue_(dispatch_queue_create("com.adkit.adnet.device")), network_(std::make_shared<AKNetwork>()) {}

AKDevice::~AKDevice() {
    if (network_) network_->disableNetworkChecking();
    if (radioObserver_) NSNotificationCenter::defaultCenter()->removeObserver(radioObserver_.get());
}

void AKDevice::getOSMajor(std::int64_t* major, std::int64_t* minor, std::int64_t* bugFix) {
    // The process-wide fact itself: this runs while the device object is made, too.
    const auto parts = componentsSeparatedByString(processSystemVersion(), ".");
    std::int64_t* const out[] = {major, minor, bugFix};
    for (std::size_t i = 0; i < 3; ++i) {
        if (out[i]) *out[i] = i < parts.size() ? leadingInteger(parts[i]) : 0;
    }
}

bool AKDevice::isOSAtLeastMajor(std::int64_t major, std::int64_t minor, std::int64_t bug) {
    std::int64_t have[3] = {};
    getOSMajor(&have[0], &have[1], &have[2]);
    const std::int64_t want[3] = {major, minor, bug};
    for (int i = 0; i < 3; ++i) {
        if (have[i] != want[i]) return have[i] > want[i];
    }
    return true;
}

Value AKDevice::canOpenURLs(const std::vector<std::string>& urls) const {
    Value result = Value::dictionary();
    for (const std::string& url : urls) {
        bool answer = false;
        AKRunSynchronouslyOnMainThread([&] { answer = UIApplication::sharedApplication()->canOpenURL(url); });
        result.setObject(url, Value(answer));
    }
    return result;
}

bool AKDevice::isJailbroken() const { return jailbroken.load(); }
void AKDevice::setJailbroken(bool value) { jailbroken.store(value); }

void AKDevice::resetProcessFactsForTesting() {
    facts().systemVersion.reset();
    facts().model.reset();
    facts().scale.reset();
    facts().submodel.reset();
    facts().locale.reset();
    facts().baseSDK.reset();
}

std::string AKDevice::systemVersion() const { return processSystemVersion(); }

std::shared_ptr<ASIdentifierManager> AKDevice::identifierManager() const {
    return isOSAtLeastMajor(6, 0, 0) ? ASIdentifierManager::sharedManager() : nullptr;
}

std::string AKDevice::deviceIdentifier() {
    std::string identifier;
    if (auto manager = identifierManager(); manager && manager->isAdvertisingTrackingEnabled()) {
        if (auto uuid = manager->advertisingIdentifier()) identifier = uuid->UUIDString();
    }
    std::string hash;
    dispatch_sync(lockQueue_, [&] {
        if (identifier != cachedIdentifier_) {
            cachedIdentifier_ = identifier;
            cachedIdentifierHash_ = identifier.empty() ? "" : ak_MD5String(identifier).value_or("");
        }
        hash = cachedIdentifierHash_;
    });
    return hash;
}

std::string AKDevice::deviceModel() const {
    return facts().model.get([] { return UIDevice::currentDevice()->model(); });
}

std::string AKDevice::deviceSubmodel() const {
    return facts().submodel.get([] { return SystemInfo::valueForName("hw.machine").value_or(""); });
}

std::optional<std::string> AKDevice::locale() const {
    return facts().locale.get([]() -> std::optional<std::string> {
        const Value languages = NSUserDefaults::standardUserDefaults()->objectForKey("AppleLanguages");
        if (const Value first = languages[0]; first.isString()) return lowercaseString(*first.string());
        return std::nullopt;  // not in the user's defaults: no "hl" at all
    });
}

AKAudioRoute AKDevice::audioRoute() const {
    if (isOSAtLeastMajor(6, 0, 0)) {
        const auto outputs = AudioSessionRoute::currentRouteOutputs();
        if (outputs.empty()) return AKAudioRouteNone;
        if (outputs.size() > 1) return AKAudioRouteOther;
        if (outputs[0] == AVAudioSessionPortHeadphones) return AKAudioRouteHeadphones;
        if (outputs[0] == AVAudioSessionPortBuiltInSpeaker) return AKAudioRouteSpeaker;
        return AKAudioRouteOther;
    }
    const AudioSessionStatus status = AudioSessionRoute::initialize();
    if (status != kAudioSessionNoError && status != kAudioSessionAlreadyInitialized) return AKAudioRouteSpeaker;
    std::string route;
    if (AudioSessionRoute::copyRouteString(&route) != kAudioSessionNoError) return AKAudioRouteSpeaker;
    if (route.empty()) return AKAudioRouteNone;
    if (route == "Headphone" || route == "Headset") return AKAudioRouteHeadphones;
    if (route == "Speaker") return AKAudioRouteSpeaker;
    return AKAudioRouteOther;
}

bool AKDevice::isOrientationLandscape() const {
    bool landscape = false;
    AKRunSynchronouslyOnMainThread([&] { landscape = UIInterfaceOrientationIsLandscape(UIStatusBar::statusBarOrientation()); });
    return landscape;
}

double AKDevice::screenDensity() const {
    return facts().scale.get([] { return static_cast<double>(UIScreen::mainScreen()->scale()); });
}

CGRect AKDevice::standardized(CGRect rect) const {
    rect = CGRectStandardize(rect);
    std::int64_t major = 0;
    getOSMajor(&major, nullptr, nullptr);
    if (major >= 8 && isOrientationLandscape()) std::swap(rect.size.width, rect.size.height);
    return rect;
}

CGRect AKDevice::standardizedScreenBounds() const {
    std::int64_t major = 0;
    getOSMajor(&major, nullptr, nullptr);
    CGRect bounds;
    AKRunSynchronouslyOnMainThread(
        [&] { bounds = UIScreenGeometry::interfaceBounds(*UIScreen::mainScreen(), static_cast<int>(major)); });
    return standardized(bounds);
}

CGRect AKDevice::standardizedApplicationFrame() const {
    std::int64_t major = 0;
    getOSMajor(&major, nullptr, nullptr);
    CGRect frame;
    AKRunSynchronouslyOnMainThread(
        [&] { frame = UIScreenGeometry::applicationFrame(*UIScreen::mainScreen(), static_cast<int>(major)); });
    return standardized(frame);
}

bool AKDevice::userInterfaceIdiomIsPhone() const {
    bool phone = false;
    AKRunSynchronouslyOnMainThread(
        [&] { phone = UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPhone; });
    return phone;
}

std::optional<std::string> AKDevice::baseSDKVersion() const {
    return facts().baseSDK.get([]() -> std::optional<std::string> {
        const Value info = NSBundle::mainBundle()->infoDictionary();
        const Value name = info["DTSDKName"];
        if (!name.isString()) return std::nullopt;
        std::string version = *name.string();
        if (const Value platform = info["DTPlatformName"]; platform.isString() && !platform.string()->empty()) {
            version = stringByReplacingOccurrencesOfString(version, *platform.string(), "");
        }
        return version;
    });
}

std::optional<std::string> AKDevice::radioAccessTechnology() const {
    std::optional<std::string> value;
    dispatch_sync(lockQueue_, [&] { value = radio_; });
    return value;
}

void AKDevice::setRadioAccessTechnology(const std::optional<std::string>& technology) {
    auto me = self<AKDevice>();
    dispatch_async(lockQueue_, [me, technology] {
        me->radio_ = technology;
        if (technology) me->lastRadio_ = technology;
    });
}

std::optional<std::string> AKDevice::lastKnownRadioAccessTechnology() const {
    std::optional<std::string> value;
    dispatch_sync(lockQueue_, [&] { value = lastRadio_; });
    return value;
}

void AKDevice::enableRadioAccessTechnologyChecking() {
    if (!isOSAtLeastMajor(7, 0, 0) || radioObserver_) return;
    auto info = std::make_shared<CTTelephonyNetworkInfo>();
    setRadioAccessTechnology(info->currentRadioAccessTechnology());
    std::weak_ptr<AKDevice> weak = self<AKDevice>();
    radioObserver_ = NSNotificationCenter::defaultCenter()->addObserverForName(
        CTRadioAccessTechnologyDidChangeNotification, nullptr, nullptr, [weak, info](const NSNotification&) {
            if (auto device = weak.lock()) device->setRadioAccessTechnology(info->currentRadioAccessTechnology());
        });
}

void AKDevice::disableRadioAccessTechnologyChecking() {
    if (!radioObserver_) return;
    NSNotificationCenter::defaultCenter()->removeObserver(radioObserver_.get());
    radioObserver_.reset();
}

std::optional<std::string> AKDevice::userAgentString() const {
    std::optional<std::string> value;
    dispatch_sync(lockQueue_, [&] { value = userAgent_; });
    return value;
}

void AKDevice::setUserAgentString(const std::optional<std::string>& userAgent) {
    if (!userAgent || userAgent->empty()) return;
    auto me = self<AKDevice>();
    dispatch_async(lockQueue_, [me, userAgent] { me->userAgent_ = userAgent; });
}

std::shared_ptr<AKNetwork> AKDevice::network() const {
    std::shared_ptr<AKNetwork> value;
    dispatch_sync(lockQueue_, [&] { value = network_; });
    return value;
}

void AKDevice::setNetwork(std::shared_ptr<AKNetwork> network) {
    dispatch_sync(lockQueue_, [&] { network_ = std::move(network); });
}

Value AKDevice::parameters() {
    Value p = Value::dictionary();
    const std::string model = deviceModel();
    if (model == "iPad" && userInterfaceIdiomIsPhone()) p.setObject("ios_ipadc", Value("1"));
    p.setObject("ios_metadata", AKApplication::sharedApplication()->iTunesMetadata());
    ak_setIfNotNilObject(p, baseSDKVersion() ? Value(*baseSDKVersion()) : Value(), "ios_base_sdk");
    const Value info = NSBundle::mainBundle()->infoDictionary();
    std::string appName;
    if (const Value version = info["CFBundleVersion"]; version.isString()) appName = *version.string() + ".";
    appName += "iphone." + NSBundle::mainBundle()->bundleIdentifier();
    p.setObject("app_name", Value(appName));
    ak_setStringIfTrueForBoolValue(p, isJailbroken(), "ios_jb");
    p.setObject("platform", Value(model));
    p.setObject("submodel", Value(deviceSubmodel()));
    if (auto language = locale()) p.setObject("hl", Value(*language));
    p.setObject("u_audio", Value(std::to_string(static_cast<std::uint64_t>(audioRoute()))));
    p.setObject("u_so", Value(isOrientationLandscape() ? "l" : "p"));
    if (auto radio = radioAccessTechnology()) p.setObject("ios_radio", Value(*radio));
    if (auto last = lastKnownRadioAccessTechnology()) p.setObject("ios_radio_last", Value(*last));
    p.setObject("u_sd", Value(shortText(screenDensity())));
    const CGRect bounds = standardizedScreenBounds();
    p.setObject("u_w", Value(shortText(bounds.size.width)));
    p.setObject("u_h", Value(shortText(bounds.size.height)));
    const Value openable = canOpenURLs({"itms-books://", "kindle://home"});
    const std::int64_t books = (openable["itms-books://"].boolValue() ? 1 : 0) + (openable["kindle://home"].boolValue() ? 2 : 0);
    if (books != 0) p.setObject("cap_bs", Value(books));
    p.setObject("cap_noiap", Value(SKPaymentQueue::canMakePayments() ? "0" : "1"));
    return p;
}
