// The scenes of the downloads and favourites tabs in the storyboard "Main":
// each controller with the view factory that builds its views and connects its
// outlets (weakly; each outlet view's accessibility identifier is the outlet's name).
#include "screens/MainStoryboard.h"

#include <algorithm>
#include <functional>

#include "platform/uikit/NSParagraphStyle.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStoryboard.h"
#include "screens/DownloadViewController.h"
#include "screens/FavoritesViewController.h"
#include "screens/ScreenAds.h"
#include "screens/ScreenStyle.h"

namespace {

constexpr CGFloat kSegmentTop = 28;
constexpr CGFloat kSegmentHeight = 29;
constexpr CGFloat kContentTop = 65;
// The tables sit this much lower in the scene; the screen lifts them into place when it loads.
constexpr CGFloat kTableDrop = 30;

template <class V>
std::shared_ptr<V> outlet(std::shared_ptr<V> view, const char* name) {
    view->setAccessibilityIdentifier(name);
    return view;
}

// The root of a library scene: a heading at the top, the banner area centred at
// the bottom, above what the shell's tab bar covers, and the content between
// them, placed from the root's bounds at each layout pass. (Its containers may
// size it through zero on the way to its real size; children placed here, not
// by their autoresizing masks, come through that.)
class LibrarySceneView : public UIView {
public:
    using Placer = std::function<CGRect(CGRect bounds)>;
    explicit LibrarySceneView(CGFloat bottomCover) : UIView(UIScreen::mainScreen()->bounds()), bottomCover_(bottomCover) {
        setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        setBackgroundColor(screenColor()->CGColor());
    }
    void setParts(std::shared_ptr<UIView> heading, Placer placeHeading, CGFloat contentTop,
                  std::shared_ptr<UIView> content, std::shared_ptr<UIView> banner) {
        heading_ = heading;
        placeHeading_ = std::move(placeHeading);
        contentTop_ = contentTop;
        content_ = content;
        banner_ = banner;
        layoutSubviews();
    }
    void layoutSubviews() override {
        const CGRect box = bounds();
        if (box.size.width <= 0 || box.size.height <= contentTop_ + bottomCover_) return;
        const CGFloat bottom = box.size.height - bottomCover_;
        CGFloat bannerHeight = 0;
        if (auto banner = banner_.lock()) {
            bannerHeight = banner->frame().size.height;
            const CGFloat width = banner->frame().size.width;
            banner->setFrame(CGRectMake((box.size.width - width) / 2, bottom - bannerHeight, width, bannerHeight));
        }
        if (auto heading = heading_.lock()) heading->setFrame(placeHeading_(box));
        if (auto content = content_.lock())
            content->setFrame(CGRectMake(0, contentTop_, box.size.width, std::max<CGFloat>(0, bottom - contentTop_ - bannerHeight)));
    }

private:
    std::weak_ptr<UIView> heading_, content_, banner_;
    Placer placeHeading_;
    CGFloat contentTop_ = 0;
    const CGFloat bottomCover_;
};

// The empty banner area at the bottom, centred, sized by the screen's constraints.
std::shared_ptr<AKBannerView> bannerArea(const UIView& root) {
    const CGRect box = root.bounds();
    return makeBannerArea(CGRectMake((box.size.width - 320) / 2, box.size.height, 320, 0));
}

std::shared_ptr<UITableView> downloadsTable(DownloadViewController& screen, CGRect frame, const char* name) {
    auto table = outlet(std::make_shared<UITableView>(frame), name);
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    table->setBackgroundColor(screenColor()->CGColor());
    auto me = screen.self<DownloadViewController>();
    table->setDataSource(me);
    table->setDelegate(me);
    return table;
}

std::shared_ptr<UIView> buildDownloadScene(UIViewController& owner) {
    auto& screen = dynamic_cast<DownloadViewController&>(owner);
    auto root = std::make_shared<LibrarySceneView>(tabBarCover(owner));
    const CGRect box = root->bounds();

    auto segment = outlet(std::make_shared<UISegmentedControl>(std::vector<std::string>{"Downloaded", "Downloading"}),
                          "actionSegment");
    segment->setFrame(CGRectMake(10, kSegmentTop, box.size.width - 20, kSegmentHeight));
    std::weak_ptr<DownloadViewController> weak = screen.self<DownloadViewController>();
    segment->addTarget(
        screen.self<NSObject>(),
        [weak](UIControl& sender, UIEvent*) {
            if (auto s = weak.lock()) s->changeValue(static_cast<UISegmentedControl&>(sender));
        },
        UIControlEventValueChanged);
    root->addSubview(segment);

    auto content = outlet(std::make_shared<UIView>(CGRectMake(0, kContentTop, box.size.width, box.size.height - kContentTop)),
                          "contentView");
    content->setBackgroundColor(screenColor()->CGColor());
    const CGRect tableFrame = CGRectMake(0, kTableDrop, content->bounds().size.width, content->bounds().size.height);
    auto finished = downloadsTable(screen, tableFrame, "downloadTable");
    auto running = downloadsTable(screen, tableFrame, "downloadingTable");
    running->setHidden(true);  // the finished downloads show first
    content->addSubview(finished);
    content->addSubview(running);
    root->addSubview(content);

    auto banner = bannerArea(*root);
    root->addSubview(banner);
    root->setParts(
        segment, [](CGRect bounds) { return CGRectMake(10, kSegmentTop, bounds.size.width - 20, kSegmentHeight); },
        kContentTop, content, banner);

    screen.actionSegment = segment;
    screen.contentView = content;
    screen.downloadTable = finished;
    screen.downloadingTable = running;
    screen.bannerView = banner;
    return root;
}

constexpr CGFloat kHeadingHeight = 64;

// The heading bar of the favourites: the tab's name under the status bar.
std::shared_ptr<UIView> favoritesHeading(CGFloat width) {
    auto heading = outlet(std::make_shared<UIView>(CGRectMake(0, 0, width, kHeadingHeight)), "viewTitle");
    heading->setBackgroundColor(screenColor()->CGColor());
    auto label = std::make_shared<UILabel>(CGRectMake(0, 20, width, kHeadingHeight - 20));
    label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    label->setText("Favorites");
    label->setFont(UIFont::boldSystemFontOfSize(17));
    label->setTextColor(UIColor::whiteColor()->CGColor());
    label->setTextAlignment(NSTextAlignmentCenter);
    heading->addSubview(label);
    return heading;
}

std::shared_ptr<UIView> buildFavoritesScene(UIViewController& owner) {
    auto& screen = dynamic_cast<FavoritesViewController&>(owner);
    auto root = std::make_shared<LibrarySceneView>(tabBarCover(owner));
    const CGRect box = root->bounds();
    auto heading = favoritesHeading(box.size.width);
    root->addSubview(heading);

    auto grid = outlet(std::make_shared<UICollectionView>(
                           CGRectMake(0, kHeadingHeight, box.size.width, box.size.height - kHeadingHeight)),
                       "collectionView");
    auto me = screen.self<FavoritesViewController>();
    grid->setDataSource(me);
    grid->setDelegate(me);
    grid->setAlwaysBounceVertical(true);
    root->addSubview(grid);

    auto banner = bannerArea(*root);
    root->addSubview(banner);
    root->setParts(
        heading, [](CGRect bounds) { return CGRectMake(0, 0, bounds.size.width, kHeadingHeight); }, kHeadingHeight,
        grid, banner);

    screen.viewTitle = heading;
    screen.collectionView = grid;
    screen.bannerView = banner;
    return root;
}

}  // namespace

void registerLibraryScenes() {
    UIStoryboard::registerScene(kMainStoryboardName, "FavoritesViewController", [] {
        auto screen = std::make_shared<FavoritesViewController>();
        screen->setViewFactory(buildFavoritesScene);
        return screen;
    });
    UIStoryboard::registerScene(kMainStoryboardName, "DownloadViewController", [] {
        auto screen = std::make_shared<DownloadViewController>();
        screen->setViewFactory(buildDownloadScene);
        return screen;
    });
}
