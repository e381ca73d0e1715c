// The scenes of the poster grids in the storyboard "Main": the movie grid,
// the TV-show grid and the search screen. Each scene's views are built when
// the controller's view is first asked for: a 64-point header under the status
// bar (title and controls), the banner area below it (sized by the screen),
// then the grid down to the bottom. Outlets are weak and named after the
// controller's fields; the controls' actions hold the controller weakly.
#include <algorithm>
#include <functional>

#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/NSParagraphStyle.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UIStoryboard.h"
#include "screens/GridLayout.h"
#include "screens/MainStoryboard.h"
#include "screens/MovieViewController.h"
#include "screens/ScreenAds.h"
#include "screens/ScreenStyle.h"
#include "screens/SearchMovieViewController.h"
#include "screens/TVShowViewController.h"

namespace {

constexpr CGFloat kHeaderHeight = 64;  // 20 of status bar, 44 of bar
constexpr CGFloat kSearchBarHeight = 44;
constexpr CGFloat kTitleLeft = 72;    // the left control's room
constexpr CGFloat kTitleRight = 120;  // the room of the two controls on the right
constexpr CGFloat kCentredTitleWidth = 160;  // the least width a title centred on the header keeps

template <class View>
std::shared_ptr<View> outlet(std::shared_ptr<View> view, const std::string& name) {
    view->setAccessibilityIdentifier(name);
    return view;
}

std::shared_ptr<NSLayoutConstraint> pin(const std::shared_ptr<UIView>& a, NSLayoutAttribute aAttribute,
                                        const std::shared_ptr<UIView>& b, NSLayoutAttribute bAttribute,
                                        CGFloat constant = 0) {
    return NSLayoutConstraint::constraintWithItem(a, aAttribute, NSLayoutRelationEqual, b, bAttribute, 1, constant);
}

std::shared_ptr<NSLayoutConstraint> fixed(const std::shared_ptr<UIView>& a, NSLayoutAttribute attribute,
                                          CGFloat constant) {
    return NSLayoutConstraint::constraintWithItem(a, attribute, NSLayoutRelationEqual, nullptr,
                                                  NSLayoutAttributeNotAnAttribute, 0, constant);
}

std::shared_ptr<UIView> makeRoot() {
    const CGRect screen = UIScreen::mainScreen()->bounds();
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, screen.size.width, screen.size.height));
    root->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    root->setBackgroundColor(screenColor()->CGColor());
    return root;
}

// The header bar across the top, held there by constraints.
std::shared_ptr<UIView> addHeader(const std::shared_ptr<UIView>& root, const std::string& name) {
    auto header = outlet(std::make_shared<UIView>(CGRectMake(0, 0, root->bounds().size.width, kHeaderHeight)), name);
    header->setTranslatesAutoresizingMaskIntoConstraints(false);
    header->setBackgroundColor(screenColor()->CGColor());
    root->addSubview(header);
    root->addConstraints({pin(header, NSLayoutAttributeTop, root, NSLayoutAttributeTop),
                          pin(header, NSLayoutAttributeLeading, root, NSLayoutAttributeLeading),
                          pin(header, NSLayoutAttributeTrailing, root, NSLayoutAttributeTrailing)});
    header->addConstraint(fixed(header, NSLayoutAttributeHeight, kHeaderHeight));
    return header;
}

// The title between the header's controls: `left` and `right` points kept
// clear. Where the header is wide enough (a tablet's), both sides keep the
// larger room, so the title stays centred on the header in every orientation.
std::shared_ptr<UILabel> addTitle(const std::shared_ptr<UIView>& header, const std::string& name,
                                  const std::string& text, CGFloat left, CGFloat right) {
    const CGFloat width = header->bounds().size.width;
    if (const CGFloat room = std::max(left, right); width - 2 * room >= kCentredTitleWidth) left = right = room;
    auto label = outlet(std::make_shared<UILabel>(CGRectMake(left, 20, width - left - right, 44)), name);
    label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    label->setText(text);
    label->setTextAlignment(NSTextAlignmentCenter);
    label->setTextColor(UIColor::whiteColor()->CGColor());
    label->setFont(UIFont::boldSystemFontOfSize(17));
    label->setAdjustsFontSizeToFitWidth(true);  // long genre names shrink rather than run under the controls
    label->setMinimumScaleFactor(0.6);
    header->addSubview(label);
    return label;
}

using SenderAction = std::function<void(UIView& sender)>;

// A text button of the header at x (negative: from the right edge).
std::shared_ptr<UIButton> addHeaderButton(const std::shared_ptr<UIView>& header, const std::string& name,
                                          const std::string& title, CGFloat x, CGFloat width,
                                          const std::shared_ptr<NSObject>& target, SenderAction action) {
    const CGFloat left = x >= 0 ? x : header->bounds().size.width + x;
    auto button = outlet(std::make_shared<UIButton>(CGRectMake(left, 20, width, 44)), name);
    button->setAutoresizingMask(x >= 0 ? UIViewAutoresizingFlexibleRightMargin : UIViewAutoresizingFlexibleLeftMargin);
    button->setTitle(title, UIControlStateNormal);
    button->setTitleColor(UIColor::whiteColor()->CGColor(), UIControlStateNormal);
    button->setTitleColor(UIColor::lightGrayColor()->CGColor(), UIControlStateHighlighted);
    button->addTarget(target, [action](UIControl& sender, UIEvent*) { action(sender); }, UIControlEventTouchUpInside);
    header->addSubview(button);
    return button;
}

// The banner area under `above` (its size is the screen's), and the grid from
// it down to the bottom.
struct GridViews {
    std::shared_ptr<AKBannerView> banner;
    std::shared_ptr<UICollectionView> grid;
};

GridViews addBannerAndGrid(UIViewController& owner, const std::shared_ptr<UIView>& root,
                           const std::shared_ptr<UIView>& above) {
    auto banner = makeBannerArea(CGRectMake(0, above->frame().size.height, 320, 0));
    root->addSubview(banner);
    root->addConstraints({pin(banner, NSLayoutAttributeTop, above, NSLayoutAttributeBottom),
                          pin(banner, NSLayoutAttributeCenterX, root, NSLayoutAttributeCenterX)});

    const CGSize size = root->bounds().size;
    const CGFloat top = CGRectGetMaxY(above->frame());
    auto grid = outlet(std::make_shared<UICollectionView>(CGRectMake(0, top, size.width, size.height - top),
                                                          makeGridLayout(UIInterfaceOrientationPortrait)),
                       "collectionView");
    grid->setTranslatesAutoresizingMaskIntoConstraints(false);
    grid->setAlwaysBounceVertical(true);
    root->addSubview(grid);
    // The shell's tab bar lies over the bottom of the screens: the grid ends above it.
    root->addConstraints({pin(grid, NSLayoutAttributeTop, banner, NSLayoutAttributeBottom),
                          pin(grid, NSLayoutAttributeBottom, root, NSLayoutAttributeBottom, -tabBarOverlap(owner))});
    // A tablet's grid spans the screen in every orientation; a phone's width
    // comes from the screen's own constraints (configurationView).
    if (isTablet())
        root->addConstraints({pin(grid, NSLayoutAttributeLeading, root, NSLayoutAttributeLeading),
                              pin(grid, NSLayoutAttributeTrailing, root, NSLayoutAttributeTrailing)});
    return {banner, grid};
}

template <class Screen>
void connectGrid(Screen& screen, const GridViews& views) {
    screen.setBannerView(views.banner);
    screen.setCollectionView(views.grid);
    auto self = screen.template self<Screen>();
    views.grid->setDataSource(self);
    views.grid->setDelegate(self);
}

// The catalogue grids: title, genre, sort and search controls.
template <class Screen>
std::shared_ptr<UIView> buildBrowseScene(Screen& screen, const std::string& headerName, const std::string& title,
                                         const std::function<void(Screen&, const std::shared_ptr<UIView>&)>& setHeader) {
    auto root = makeRoot();
    auto header = addHeader(root, headerName);
    setHeader(screen, header);
    screen.setMovieTitle(addTitle(header, "movieTitle", title, kTitleLeft, kTitleRight));
    auto weak = screen.template weakSelf<Screen>();
    auto self = screen.template self<Screen>();
    addHeaderButton(header, "genresButton", "Genres", 4, 64, self, [weak](UIView& sender) {
        if (auto s = weak.lock()) s->genresSelect(sender);
    });
    addHeaderButton(header, "sortButton", "Sort", -116, 48, self, [weak](UIView& sender) {
        if (auto s = weak.lock()) s->typeSelect(sender);
    });
    addHeaderButton(header, "searchButton", "Search", -68, 64, self, [weak](UIView& sender) {
        if (auto s = weak.lock()) s->searchMovies(sender);
    });
    connectGrid(screen, addBannerAndGrid(screen, root, header));
    return root;
}

std::shared_ptr<UIView> buildSearchScene(SearchMovieViewController& screen) {
    auto root = makeRoot();
    auto header = addHeader(root, "viewTitle");
    screen.setViewTitle(header);
    addTitle(header, "titleLabel", "Search", kTitleLeft, kTitleLeft);
    auto weak = screen.weakSelf<SearchMovieViewController>();
    addHeaderButton(header, "backButton", "Back", 4, 64, screen.self<SearchMovieViewController>(),
                    [weak](UIView& sender) {
                        if (auto s = weak.lock()) s->backView(sender);
                    });
    auto bar = outlet(std::make_shared<UISearchBar>(CGRectMake(0, kHeaderHeight, root->bounds().size.width,
                                                               kSearchBarHeight)),
                      "searchBar");
    bar->setTranslatesAutoresizingMaskIntoConstraints(false);
    bar->setPlaceholder("Title or description, 8 characters or more");
    bar->setShowsCancelButton(true);
    bar->setBarTintColor(screenColor()->CGColor());
    bar->setDelegate(screen.self<SearchMovieViewController>());
    root->addSubview(bar);
    root->addConstraints({pin(bar, NSLayoutAttributeTop, header, NSLayoutAttributeBottom),
                          pin(bar, NSLayoutAttributeLeading, root, NSLayoutAttributeLeading),
                          pin(bar, NSLayoutAttributeTrailing, root, NSLayoutAttributeTrailing)});
    bar->addConstraint(fixed(bar, NSLayoutAttributeHeight, kSearchBarHeight));
    screen.setSearchBar(bar);
    connectGrid(screen, addBannerAndGrid(screen, root, bar));
    return root;
}

template <class Screen>
void registerScreen(const std::string& identifier, std::function<std::shared_ptr<UIView>(Screen&)> build) {
    UIStoryboard::registerScene(kMainStoryboardName, identifier, [build] {
        auto screen = std::make_shared<Screen>();
        screen->setViewFactory([build](UIViewController& owner) { return build(static_cast<Screen&>(owner)); });
        return screen;
    });
}

}  // namespace

void registerGridScenes() {
    registerScreen<MovieViewController>("MovieViewController", [](MovieViewController& screen) {
        return buildBrowseScene<MovieViewController>(
            screen, "viewTitle", "All Genres",
            [](MovieViewController& s, const std::shared_ptr<UIView>& header) { s.setViewTitle(header); });
    });
    registerScreen<TVShowViewController>("TVShowViewController", [](TVShowViewController& screen) {
        return buildBrowseScene<TVShowViewController>(
            screen, "headViewTitle", "All Genres",
            [](TVShowViewController& s, const std::shared_ptr<UIView>& header) { s.setHeadViewTitle(header); });
    });
    registerScreen<SearchMovieViewController>("SearchMovieViewController", buildSearchScene);
}
