#pragma once
// Rewrites a native ad's configuration through the native support page before
// the ad is built (the page gets the configuration decoded and written again as
// JSON, so an ad server's text never reaches the page as anything but data). The preprocessor owns a hidden slot (plain, for its ad unit,
// the preprocessor its ad event delegate) that loads the support page directly
// (the request's "_requestUrl" extra); once the page has loaded, the page gets
// "adkit.adnet.nativeAds.preProcessJsonAmsg(<the configuration>)" and answers
// with the page message "nativeAdPreProcess" whose "success" is the rewritten
// configuration as JSON text.
//
// Call order: make, then preprocessNativeAdJSON once. The completion gets
//   (configuration, the preprocessor's slot, no error)  - a decoded answer;
//   (null, null, the decoding error)                    - a configuration that is no JSON;
//   (null, null, AKRequestError 13)                     - an answer that is no JSON;
//   (null, null, private code 2 "Timed out.")           - no answer 5 s (Clock) after the page loaded;
//   (null, null, the slot's error)                      - the support page failed to load.
// It runs at most once, always later on the main queue: whatever comes after the
// first result (a late answer, the time-out) is dropped.
//
// Lifetime: the owner keeps the preprocessor until its completion has run; the
// time-out and the page's answer hold it weakly, so a preprocessor released
// earlier is destroyed at once with its slot, and its completion never runs
// (a completion already queued still runs: it holds nothing of the preprocessor).
// Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/AKSlotDelegates.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class AKAdSlot;

class AKAdPreprocessor : public NSObject, public AKSlotAdEventDelegate {
public:
    static constexpr double kTimeoutSeconds = 5;
    static constexpr const char* kNotificationName = "nativeAdPreProcess";
    using CompletionHandler =
        std::function<void(const std::optional<Value>& configuration, const std::shared_ptr<AKAdSlot>& slot,
                           const NSErrorPtr& error)>;

    // initWithAdUnitID:
    static std::shared_ptr<AKAdPreprocessor> make(const std::string& adUnitID);
    ~AKAdPreprocessor() override;
    std::string className() const override { return "AKAdPreprocessor"; }

    void preprocessNativeAdJSON(const std::string& nativeAdJSON, CompletionHandler completionHandler);

    // AKSlotAdEventDelegate
    void slotFinishedLoadingAdContent(AKAdSlot& slot) override;
    void slotDidFailToLoadAdContentWithError(AKAdSlot& slot, const NSErrorPtr& error) override;
    void handlePreprocessorNotification(const NSNotification& notification);

    const std::shared_ptr<AKAdSlot>& slot() const { return slot_; }
    const std::string& nativeAdJSON() const { return nativeAdJSON_; }

    struct PassKey {
    private:
        friend class AKAdPreprocessor;
        PassKey() = default;
    };
    explicit AKAdPreprocessor(PassKey) {}

private:
    void complete(const std::optional<Value>& configuration, const std::shared_ptr<AKAdSlot>& slot,
                  const NSErrorPtr& error);

    std::shared_ptr<AKAdSlot> slot_;
    CompletionHandler completionHandler_;  // the once-only wrapper
    std::string nativeAdJSON_;
    std::string pageArgument_;  // nativeAdJSON_ decoded and written again
    bool pageAsked_ = false;
};
