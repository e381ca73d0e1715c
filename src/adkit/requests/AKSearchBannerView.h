#pragma once
// The banner that shows search ads (an AKSearchRequest's request): an
// AKBannerView that adds nothing but its name. Main thread only.
#include <string>

#include "adkit/requests/AKBannerView.h"

class AKSearchBannerView : public AKBannerView {
public:
    AK_BANNER_MAKERS(AKSearchBannerView)

    std::string className() const override { return "AKSearchBannerView"; }

protected:
    friend class AKBannerView;
    explicit AKSearchBannerView(CGRect frame) : AKBannerView(frame) {}
};
