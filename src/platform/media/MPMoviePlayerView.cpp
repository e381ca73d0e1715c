#include "platform/media/MPMoviePlayerView.h"

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/graphics/CGColor.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/NSParagraphStyle.h"
#include "platform/uikit/UIFont.h"

namespace {

constexpr CGFloat kStatusBarHeight = 20;
constexpr CGFloat kDoneWidth = 72, kDoneHeight = 32, kMargin = 8;

std::shared_ptr<UILabel> makeLabel(const char* identifier, CGColorRef colour, UIFontPtr font) {
    auto label = std::make_shared<UILabel>();
    label->setTextColor(std::move(colour));
    label->setFont(std::move(font));
    label->setTextAlignment(NSTextAlignmentCenter);
    label->setAccessibilityIdentifier(identifier);
    return label;
}

const char* stateText(const MPMoviePlayerController& player, bool cannotOpen) {
    if (cannotOpen) return "Cannot open";
    switch (player.playbackState()) {
        case MPMoviePlaybackStatePlaying:
        case MPMoviePlaybackStateSeekingForward:
        case MPMoviePlaybackStateSeekingBackward:
            return "Playing";
        case MPMoviePlaybackStatePaused:
        case MPMoviePlaybackStateInterrupted:
            return "Paused";
        case MPMoviePlaybackStateStopped:
            break;
    }
    return "Stopped";
}

}  // namespace

MPMoviePlayerView::MPMoviePlayerView(CGRect frame) : UIView(frame) {
    setBackgroundColor(CGColorCreateSRGB(0, 0, 0, 1));
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    fileNameLabel_ = makeLabel("fileNameLabel", CGColorCreateSRGB(1, 1, 1, 1), UIFont::boldSystemFontOfSize(17));
    stateLabel_ = makeLabel("stateLabel", CGColorCreateSRGB(0.75, 0.75, 0.75, 1), UIFont::systemFontOfSize(15));
    doneButton_ = std::make_shared<UIButton>();
    doneButton_->setBackgroundColor(CGColorCreateSRGB(0.2, 0.2, 0.2, 1));
    doneButton_->layer()->setCornerRadius(6);
    doneButton_->setAccessibilityIdentifier("doneButton");
    doneButton_->setAccessibilityLabel("Done");
    // The title is a label inside the button that lets touches through to it.
    doneTitle_ = makeLabel("doneTitle", CGColorCreateSRGB(1, 1, 1, 1), UIFont::boldSystemFontOfSize(15));
    doneTitle_->setText("Done");
    doneTitle_->setUserInteractionEnabled(false);
}

std::shared_ptr<MPMoviePlayerView> MPMoviePlayerView::viewForPlayer(
    CGRect frame, const std::shared_ptr<MPMoviePlayerController>& player) {
    auto view = std::make_shared<MPMoviePlayerView>(frame);
    view->doneButton_->addSubview(view->doneTitle_);
    view->addSubview(view->fileNameLabel_);
    view->addSubview(view->stateLabel_);
    view->addSubview(view->doneButton_);
    view->setNeedsLayout();
    view->follow(player);
    return view;
}

MPMoviePlayerView::~MPMoviePlayerView() { NSNotificationCenter::defaultCenter()->removeObserver(this); }

std::string MPMoviePlayerView::fileNameForURL(const std::string& url) {
    std::string name;
    if (auto parsed = NSURL::URLWithString(url)) name = parsed->lastPathComponent();
    else name = lastPathComponent(url);
    if (name.empty() || name == "/") return url;
    return name;
}

void MPMoviePlayerView::follow(const std::shared_ptr<MPMoviePlayerController>& player) {
    QV_ASSERT_MAIN_THREAD();
    player_ = player;
    if (!player) return;
    fileNameLabel_->setText(fileNameForURL(player->contentURL()));
    std::weak_ptr<MPMoviePlayerView> weakView = self<MPMoviePlayerView>();
    doneButton_->addTarget(
        self(),
        [weakView](UIControl&, UIEvent*) {
            auto view = weakView.lock();
            if (auto p = view ? view->player_.lock() : nullptr) p->userExit();
        },
        UIControlEventTouchUpInside);
    refresh();
}

void MPMoviePlayerView::didMoveToWindow() {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this);
    auto player = player_.lock();
    if (!window() || !player) return;
    std::weak_ptr<MPMoviePlayerView> weakView = self<MPMoviePlayerView>();
    auto onChange = [weakView](const NSNotification&) {
        if (auto view = weakView.lock()) view->refresh();
    };
    center->addObserver(self(), onChange, MPMoviePlayerPlaybackStateDidChangeNotification, player);
    center->addObserver(self(), onChange, MPMoviePlayerLoadStateDidChangeNotification, player);
    center->addObserver(
        self(),
        [weakView](const NSNotification& n) {
            auto view = weakView.lock();
            if (!view) return;
            long reason = n.userInfo()[MPMoviePlayerPlaybackDidFinishReasonUserInfoKey].intValue();
            view->cannotOpen_ = reason == MPMovieFinishReasonPlaybackError;
            view->refresh();
        },
        MPMoviePlayerPlaybackDidFinishNotification, player);
    refresh();
}

void MPMoviePlayerView::refresh() {
    auto player = player_.lock();
    if (!player) return;
    if (player->playbackState() == MPMoviePlaybackStatePlaying) cannotOpen_ = false;
    stateLabel_->setText(stateText(*player, cannotOpen_));
}

void MPMoviePlayerView::layoutSubviews() {
    CGRect b = bounds();
    doneButton_->setFrame(CGRectMake(kMargin, kStatusBarHeight + kMargin, kDoneWidth, kDoneHeight));
    doneTitle_->setFrame(CGRectMake(0, 0, kDoneWidth, kDoneHeight));
    CGFloat middle = b.size.height / 2;
    fileNameLabel_->setFrame(CGRectMake(20, middle - 30, b.size.width - 40, 26));
    stateLabel_->setFrame(CGRectMake(20, middle + 4, b.size.width - 40, 22));
}
