// The header's content: labels, arrow, spinner, per-state entries, the date
// line and the layout. The state machine and the scroll view's insets are in
// STPullToRefreshViewScrolling.cpp.
#include "ui/pulltorefresh/STPullToRefreshView.h"

#include <cassert>
#include <cmath>
#include <numbers>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIFont.h"
#include "ui/scrollextensions/ScrollViewExtensionSupport.h"
#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

namespace {
constexpr CGSize kLabelSize{210, 20};
constexpr CGSize kArrowSize{22, 48};
constexpr const char* kOwner = "STPullToRefreshView";
}  // namespace

std::shared_ptr<STPullToRefreshView> STPullToRefreshView::initWithFrame(CGRect frame) {
    auto view = std::make_shared<STPullToRefreshView>(Passkey{}, frame);
    view->setActivityIndicatorViewStyle(UIActivityIndicatorViewStyleGray);
    view->setTextColor(UIColor::darkGrayColor());
    return view;
}

STPullToRefreshView::STPullToRefreshView(Passkey, CGRect frame)
    : UIView(frame),
      titles_{NSLocalizedString("Pull to refresh..."), NSLocalizedString("Release to refresh..."),
              NSLocalizedString("Loading...")},
      subtitles_(4),
      viewForState_(4) {
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
}

STPullToRefreshView::~STPullToRefreshView() = default;

// ---------------------------------------------------------------- subviews, made on first use

const std::shared_ptr<UILabel>& STPullToRefreshView::titleLabel() {
    if (!titleLabel_) {
        titleLabel_ = std::make_shared<UILabel>(CGRectMake(0, 0, kLabelSize.width, kLabelSize.height));
        titleLabel_->setFont(UIFont::boldSystemFontOfSize(14));
        titleLabel_->setBackgroundColor(UIColor::clearColor()->CGColor());
        if (textColor_) titleLabel_->setTextColor(textColor_->CGColor());
        addSubview(titleLabel_);
    }
    return titleLabel_;
}

const std::shared_ptr<UILabel>& STPullToRefreshView::subtitleLabel() {
    if (!subtitleLabel_) {
        subtitleLabel_ = std::make_shared<UILabel>(CGRectMake(0, 0, kLabelSize.width, kLabelSize.height));
        subtitleLabel_->setFont(UIFont::systemFontOfSize(12));
        subtitleLabel_->setBackgroundColor(UIColor::clearColor()->CGColor());
        if (textColor_) subtitleLabel_->setTextColor(textColor_->CGColor());
        addSubview(subtitleLabel_);
    }
    return subtitleLabel_;
}

std::shared_ptr<UILabel> STPullToRefreshView::dateLabel() { return showsDateLabel_ ? subtitleLabel() : nullptr; }

const std::shared_ptr<STPullToRefreshArrow>& STPullToRefreshView::arrow() {
    if (!arrow_) {
        arrow_ = std::make_shared<STPullToRefreshArrow>(
            CGRectMake(0, bounds().size.height - 54, kArrowSize.width, kArrowSize.height));
        arrow_->setBackgroundColor(UIColor::clearColor()->CGColor());
        arrow_->setOpaque(false);
        addSubview(arrow_);
    }
    return arrow_;
}

const std::shared_ptr<UIActivityIndicatorView>& STPullToRefreshView::activityIndicatorView() {
    if (!activityIndicatorView_) {
        activityIndicatorView_ = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleWhite);
        activityIndicatorView_->setHidesWhenStopped(true);
        addSubview(activityIndicatorView_);
    }
    return activityIndicatorView_;
}

// ---------------------------------------------------------------- appearance

UIColorPtr STPullToRefreshView::arrowColor() { return arrow()->arrowColor(); }

void STPullToRefreshView::setArrowColor(UIColorPtr color) {
    arrow()->setArrowColor(std::move(color));
    arrow()->setNeedsDisplay();
}

UIColorPtr STPullToRefreshView::textColor() { return UIColor::colorWithCGColor(titleLabel()->textColor()); }

void STPullToRefreshView::setTextColor(UIColorPtr color) {
    textColor_ = std::move(color);
    CGColorRef cg = textColor_ ? textColor_->CGColor() : nullptr;
    titleLabel()->setTextColor(cg);
    subtitleLabel()->setTextColor(cg);
}

long STPullToRefreshView::activityIndicatorViewStyle() { return activityIndicatorView()->activityIndicatorViewStyle(); }

void STPullToRefreshView::setActivityIndicatorViewStyle(long style) {
    activityIndicatorView()->setActivityIndicatorViewStyle(static_cast<UIActivityIndicatorViewStyle>(style));
}

// ---------------------------------------------------------------- per-state entries

void STPullToRefreshView::setTitle(const std::string& title, STPullToRefreshState state) {
    QV_ASSERT_MAIN_THREAD();
    auto indexes = scrollextension::perStateIndexes(state, kOwner, "title");
    if (indexes.empty()) return;
    for (auto i : indexes) titles_[i] = title;
    layOutAgain();
}

void STPullToRefreshView::setSubtitle(const std::string& subtitle, STPullToRefreshState state) {
    QV_ASSERT_MAIN_THREAD();
    auto indexes = scrollextension::perStateIndexes(state, kOwner, "subtitle");
    if (indexes.empty()) return;
    for (auto i : indexes) subtitles_[i] = subtitle;
    layOutAgain();
}

void STPullToRefreshView::setCustomView(const std::shared_ptr<UIView>& view, STPullToRefreshState state) {
    QV_ASSERT_MAIN_THREAD();
    auto indexes = scrollextension::perStateIndexes(state, kOwner, "custom view");
    if (indexes.empty()) return;
    for (auto i : indexes) {
        // The view it replaces leaves the header.
        auto& slot = viewForState_[i];
        if (slot && slot != view && slot->superview().get() == this) slot->removeFromSuperview();
        slot = view;
    }
    layOutAgain();
}

// ---------------------------------------------------------------- date line

void STPullToRefreshView::setLastUpdatedDate(std::optional<Date> date) {
    QV_ASSERT_MAIN_THREAD();
    lastUpdatedDate_ = date;
    showsDateLabel_ = true;
    writeDateLine();
    setNeedsLayout();
}

const std::shared_ptr<NSDateFormatter>& STPullToRefreshView::dateFormatter() {
    if (!dateFormatter_) {
        dateFormatter_ = std::make_shared<NSDateFormatter>();
        dateFormatter_->setDateStyle(NSDateFormatterShortStyle);
        dateFormatter_->setTimeStyle(NSDateFormatterShortStyle);
        dateFormatter_->setLocaleIdentifier(NSDateFormatter::defaultLocaleIdentifier());
    }
    return dateFormatter_;
}

void STPullToRefreshView::setDateFormatter(std::shared_ptr<NSDateFormatter> formatter) {
    dateFormatter_ = std::move(formatter);
    writeDateLine();
}

void STPullToRefreshView::writeDateLine() {
    auto label = dateLabel();
    if (!label) return;
    std::string when =
        lastUpdatedDate_ ? dateFormatter()->stringFromDate(*lastUpdatedDate_) : NSLocalizedString("Never");
    label->setText(format(NSLocalizedString("Last Updated: %@"), when));
}

// ---------------------------------------------------------------- layout

void STPullToRefreshView::layOutAgain() {
    setNeedsLayout();
    layoutIfNeeded();
}

bool STPullToRefreshView::showCustomViewForState() {
    for (const auto& view : viewForState_)
        if (view && view->superview().get() == this) view->removeFromSuperview();
    const auto& custom = viewForState_[state_];
    bool shows = static_cast<bool>(custom);
    titleLabel()->setHidden(shows);
    subtitleLabel()->setHidden(shows);
    arrow()->setHidden(shows);
    if (!shows) return false;
    // The custom view stands for the whole content, the spinner included.
    activityIndicatorView()->stopAnimating();
    addSubview(custom);
    CGRect frame = custom->frame();
    frame.origin = scrollextension::centredOrigin(bounds().size, frame.size);
    custom->setFrame(frame);
    return true;
}

void STPullToRefreshView::layoutSubviews() {
    auto parent = superview();
    const CGFloat width = parent ? parent->bounds().size.width : bounds().size.width;
    const CGFloat height = bounds().size.height;
    // The texts first, so that the title sits where the subtitle it shows asks.
    if (!viewForState_[state_]) {
        titleLabel()->setText(titles_[state_]);
        if (!subtitles_[state_].empty()) subtitleLabel()->setText(subtitles_[state_]);
    }
    const auto left = static_cast<CGFloat>(std::ceil(static_cast<float>((width - 200) / 2 + 44)));
    CGRect title = titleLabel()->frame();
    title.origin = {left, subtitleLabel()->text().empty() ? height - 40 : height - 48};
    titleLabel()->setFrame(title);
    CGRect subtitle = subtitleLabel()->frame();
    subtitle.origin = {left, height - 32};
    subtitleLabel()->setFrame(subtitle);
    // The arrow may be turned: it moves by its centre.
    const CGRect arrowFrame = arrow()->frame();
    const auto arrowLeft = static_cast<CGFloat>(std::ceil((width - 200) / 2));
    arrow()->setCenter({arrowLeft + arrowFrame.size.width / 2, arrow()->center().y});
    activityIndicatorView()->setCenter(arrow()->center());

    if (showCustomViewForState()) return;
    switch (state_) {
    case STPullToRefreshStateTriggered:
        rotateArrow(std::numbers::pi_v<float>, false);
        break;
    case STPullToRefreshStateLoading:
        activityIndicatorView()->startAnimating();
        rotateArrow(0, true);
        break;
    default:
        arrow()->setAlpha(1);
        activityIndicatorView()->stopAnimating();
        rotateArrow(0, false);
        break;
    }
}

void STPullToRefreshView::rotateArrow(float degrees, bool hide) {
    std::weak_ptr<CALayer> layer = arrow()->layer();
    UIView::animateWithDuration(
        0.2, 0, UIViewAnimationOptionAllowUserInteraction,
        [layer, degrees, hide] {
            auto l = layer.lock();
            if (!l) return;
            l->setTransform(CATransform3DMakeRotation(degrees, 0, 0, 1));
            l->setOpacity(hide ? 0 : 1);
        },
        {});
}

void STPullToRefreshView::triggerRefresh() {
    if (auto scroll = scrollView()) triggerPullToRefresh(*scroll);
}
