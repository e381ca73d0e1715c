#include "ui/progresshud/LOProgressHUD.h"

#include <cassert>

#include "platform/base/ThreadAssertions.h"
#include "platform/runloop/NSThread.h"
#include "ui/progresshud/LOBarProgressView.h"
#include "ui/progresshud/LOProgressIndicator.h"
#include "ui/progresshud/LORoundProgressView.h"

namespace {

// The overlay resizes with its host: every margin flexible (mask 45).
constexpr UIViewAutoresizing kOverlayAutoresizing =
    UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
    UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin;

std::shared_ptr<UILabel> makeLabel(long numberOfLines) {
    auto label = std::make_shared<UILabel>(CGRectZero);
    label->setAdjustsFontSizeToFitWidth(false);
    label->setTextAlignment(1);  // centred
    label->setOpaque(false);
    label->setBackgroundColor(UIColor::clearColor()->CGColor());
    label->setNumberOfLines(numberOfLines);
    return label;
}

}  // namespace

LOProgressHUD::LOProgressHUD(CGRect frame) : UIView(frame) {
    properties_.labelFont = UIFont::boldSystemFontOfSize(16);
    properties_.labelColor = UIColor::whiteColor();
    properties_.detailsLabelFont = UIFont::boldSystemFontOfSize(12);
    properties_.detailsLabelColor = UIColor::whiteColor();
    properties_.activityIndicatorColor = UIColor::whiteColor();

    setContentMode(UIViewContentModeCenter);
    setAutoresizingMask(kOverlayAutoresizing);
    setOpaque(false);
    setBackgroundColor(UIColor::clearColor()->CGColor());
    setAlpha(0);
    makeLabels();
    updateIndicators();
}

LOProgressHUD::~LOProgressHUD() {
    cancelTimers();
    cancelDelayedHides();
    if (observingOrientation_) NSNotificationCenter::defaultCenter()->removeObserver(this);
}

void LOProgressHUD::attachViews() {
    if (viewsAttached_) return;
    viewsAttached_ = true;
    addSubview(label_);
    addSubview(detailsLabel_);
    if (indicator_) addSubview(indicator_);
}

std::size_t LOProgressHUD::hideAllHUDsForView(const std::shared_ptr<UIView>& view, bool animated) {
    auto huds = allHUDsForView<LOProgressHUD>(view);
    for (const auto& hud : huds) {
        hud->setRemoveFromSuperViewOnHide(true);
        hud->hide(animated);
    }
    return huds.size();
}

LOProgressHUD::Properties LOProgressHUD::propertiesSnapshot() const {
    std::lock_guard<std::mutex> lock(propertiesMutex_);
    return properties_;
}

// ---------------------------------------------------------------- observed properties

void LOProgressHUD::observedPropertyChanged(const char* key) {
    didChangeValueForKey(key);
    if (NSThread::isMainThread()) {
        reactToChange(key);
        return;
    }
    // The views are the main thread's: hand the change over without waiting.
    std::weak_ptr<NSObject> weak = weak_from_this();
    dispatch_async(dispatch_get_main_queue(), [weak, changed = std::string(key)] {
        if (auto self = std::static_pointer_cast<LOProgressHUD>(weak.lock())) self->reactToChange(changed);
    });
}

void LOProgressHUD::reactToChange(const std::string& key) {
    QV_ASSERT_MAIN_THREAD();
    if (key == "mode" || key == "customView" || key == "activityIndicatorColor") {
        updateIndicators();
    } else if (key == "progress") {
        if (auto receiver = std::dynamic_pointer_cast<LOProgressIndicator>(indicator_))
            receiver->setProgress(progress());
        return;  // the panel keeps its layout
    } else {
        updateLabel(key);
    }
    setNeedsLayout();
    setNeedsDisplay();
}

void LOProgressHUD::makeLabels() {
    const Properties p = propertiesSnapshot();
    label_ = makeLabel(1);
    label_->setFont(p.labelFont);
    label_->setTextColor(p.labelColor ? p.labelColor->CGColor() : nullptr);
    label_->setText(p.labelText.value_or(""));

    detailsLabel_ = makeLabel(0);
    detailsLabel_->setFont(p.detailsLabelFont);
    detailsLabel_->setTextColor(p.detailsLabelColor ? p.detailsLabelColor->CGColor() : nullptr);
    detailsLabel_->setText(p.detailsLabelText.value_or(""));
}

void LOProgressHUD::updateLabel(const std::string& key) {
    if (key == "labelText") label_->setText(labelText().value_or(""));
    else if (key == "labelFont") label_->setFont(labelFont());
    else if (key == "labelColor") label_->setTextColor(labelColor() ? labelColor()->CGColor() : nullptr);
    else if (key == "detailsLabelText") detailsLabel_->setText(detailsLabelText().value_or(""));
    else if (key == "detailsLabelFont") detailsLabel_->setFont(detailsLabelFont());
    else if (key == "detailsLabelColor")
        detailsLabel_->setTextColor(detailsLabelColor() ? detailsLabelColor()->CGColor() : nullptr);
}

void LOProgressHUD::replaceIndicator(std::shared_ptr<UIView> indicator) {
    if (indicator_ && indicator_->superview().get() == this) indicator_->removeFromSuperview();
    indicator_ = std::move(indicator);
    if (indicator_ && viewsAttached_) addSubview(indicator_);
}

void LOProgressHUD::updateIndicators() {
    const Properties p = propertiesSnapshot();
    switch (p.mode) {
    case LOProgressHUDModeIndeterminate: {
        auto spinner = std::dynamic_pointer_cast<UIActivityIndicatorView>(indicator_);
        if (!spinner) {
            spinner = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleWhiteLarge);
            replaceIndicator(spinner);
            spinner->startAnimating();
        }
        spinner->setColor(p.activityIndicatorColor ? p.activityIndicatorColor->CGColor() : nullptr);
        break;
    }
    case LOProgressHUDModeDeterminate:
    case LOProgressHUDModeAnnularDeterminate: {
        auto round = std::dynamic_pointer_cast<LORoundProgressView>(indicator_);
        if (!round) {
            round = std::make_shared<LORoundProgressView>();
            round->setProgress(p.progress);
            replaceIndicator(round);
        }
        // Back to mode 1 the ring stays a ring.
        if (p.mode == LOProgressHUDModeAnnularDeterminate) round->setAnnular(true);
        break;
    }
    case LOProgressHUDModeDeterminateHorizontalBar: {
        auto bar = std::make_shared<LOBarProgressView>();
        bar->setProgress(p.progress);
        replaceIndicator(bar);
        break;
    }
    case LOProgressHUDModeCustomView:
        if (p.customView != indicator_) replaceIndicator(p.customView);
        break;
    case LOProgressHUDModeText:
        replaceIndicator(nullptr);
        break;
    default:
        break;
    }
}
