#pragma once
// One banner of the benchmark: an AKBannerView of the standard banner size at
// a place of a window, with the root view controller and the unit set, and a
// delegate that counts the ads it received and the loads that failed. The
// banner's own slot refreshes it. Main thread only.
#include <memory>
#include <string>

#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKAdSize.h"
#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/AKRequest.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

class RefreshingBanner : public AKBannerViewDelegate {
public:
    static std::shared_ptr<RefreshingBanner> make(UIWindow& window, const std::shared_ptr<UIViewController>& root,
                                                  CGPoint origin, const std::string& unit) {
        auto made = std::make_shared<RefreshingBanner>();
        made->banner_ = AKBannerView::makeWithAdSizeOrigin(kAKAdSizeBanner, origin);
        made->banner_->setRootViewController(root);
        made->banner_->setDelegate(made);
        made->banner_->setAdUnitID(unit);
        window.addSubview(made->banner_);
        return made;
    }
    ~RefreshingBanner() override { banner_->removeFromSuperview(); }

    void load() { banner_->loadRequest(AKRequest::request()); }
    int received() const { return received_; }
    int failed() const { return failed_; }
    const std::shared_ptr<AKAdSlot>& slot() const { return banner_->slot(); }
    std::string describe() const {
        return "(state " + std::to_string(static_cast<int>(banner_->slot()->state())) + ", received " +
               std::to_string(received_) + ", failed " + std::to_string(failed_) + ")";
    }

    void adViewDidReceiveAd(AKBannerView&) override { ++received_; }
    void adViewDidFailToReceiveAdWithError(AKBannerView&, const NSErrorPtr&) override { ++failed_; }

private:
    std::shared_ptr<AKBannerView> banner_;
    int received_ = 0;
    int failed_ = 0;
};
