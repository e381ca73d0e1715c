// The detail page's scenes: "DetailMoviesViewController" (phones, pushed, the
// screen's width) and "DetailMoviesViewController_iPad" (tablets, a 540 x 620
// form sheet). Header with back or cancel and the favourite button; the title's
// poster, title and facts; the panes switch (description, chapters); the panes
// fill the room down to the banner slot at the bottom (above the shell's tab
// bar on a phone), which the page sizes.
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStoryboard.h"
#include "screens/DetailMoviesViewController.h"
#include "screens/MainStoryboard.h"
#include "screens/ScreenOutlets.h"
#include "screens/ScreenAds.h"
#include "screens/ScreenStyle.h"

namespace {

struct Metrics {
    CGSize size;          // the root view
    CGFloat head;         // header height (a phone's includes the status bar)
    CGFloat margin;       // left and right
    CGSize poster;
    CGFloat titleHeight;
    CGFloat titleFont;
    CGFloat factStep;     // one fact line
    CGFloat info;         // height of the block with poster and facts
};

Metrics phoneMetrics() {
    const CGRect screen = UIScreen::mainScreen()->bounds();
    return {screen.size, 64, 10, {100, 150}, 40, 16, 22, 170};
}

Metrics tabletMetrics() { return {{540, 620}, 44, 20, {140, 210}, 50, 20, 28, 236}; }

CGColorRef white() { return UIColor::whiteColor()->CGColor(); }

std::shared_ptr<UILabel> makeLabel(CGRect frame, const std::shared_ptr<UIFont>& font, CGColorRef color, long lines = 1) {
    auto label = std::make_shared<UILabel>(frame);
    label->setFont(font);
    label->setTextColor(color);
    label->setNumberOfLines(lines);
    label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    return label;
}

// Runs the page's action while the page lives.
void connectAction(const std::shared_ptr<UIControl>& control, DetailMoviesViewController& page,
                   void (DetailMoviesViewController::*action)(UIControl*), UIControlEvents events) {
    std::weak_ptr<DetailMoviesViewController> weak = page.self<DetailMoviesViewController>();
    control->addTarget(
        page.self<NSObject>(),
        [weak, action](UIControl& sender, UIEvent*) {
            if (auto controller = weak.lock()) ((*controller).*action)(&sender);
        },
        events);
}

std::shared_ptr<UIButton> makeHeaderButton(CGRect frame, const char* title) {
    auto button = std::make_shared<UIButton>(frame);
    button->setTitle(title, UIControlStateNormal);
    button->setTitleColor(white(), UIControlStateNormal);
    return button;
}

void buildHeader(const std::shared_ptr<UIView>& root, DetailMoviesViewController& page, const Metrics& m) {
    auto& out = page.outlets();
    const CGFloat width = m.size.width, top = m.head - 44;
    auto head = connectOutlet(root, out.headViewTitle, std::make_shared<UIView>(CGRectMake(0, 0, width, m.head)),
                              "headViewTitle");
    head->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    head->setBackgroundColor(UIColor::colorWithRed(52 / 255.0, 52 / 255.0, 56 / 255.0, 1)->CGColor());
    auto back = connectOutlet(head, out.backButton, makeHeaderButton(CGRectMake(4, top, 64, 44), "Back"), "backButton");
    auto cancel = connectOutlet(head, out.cancelButton, makeHeaderButton(CGRectMake(4, top, 70, 44), "Cancel"),
                                "cancelButton");
    connectAction(back, page, &DetailMoviesViewController::backView, UIControlEventTouchUpInside);
    connectAction(cancel, page, &DetailMoviesViewController::backView, UIControlEventTouchUpInside);
    auto favorite = connectOutlet(head, out.movieFavoritiesButton,
                                  std::make_shared<UIButton>(CGRectMake(width - 50, top, 44, 44)), "movieFavoritiesButton");
    favorite->setImage(UIImage::imageNamed("favorite_normal.png"), UIControlStateNormal);
    favorite->setImage(UIImage::imageNamed("favorite_selected.png"), UIControlStateSelected);
    favorite->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    connectAction(favorite, page, &DetailMoviesViewController::checkFavorities, UIControlEventTouchUpInside);
}

// Poster, title and the four facts, each fact after its caption.
void buildInfo(const std::shared_ptr<UIView>& root, DetailMoviesViewController& page, const Metrics& m) {
    auto& out = page.outlets();
    const CGFloat width = m.size.width;
    auto info = connectOutlet(root, out.detailView, std::make_shared<UIView>(CGRectMake(0, m.head, width, m.info)),
                              "detailView");
    info->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    auto poster = connectOutlet(info, out.thumnailMovie,
                                std::make_shared<UIImageView>(CGRectMake(m.margin, 10, m.poster.width, m.poster.height)),
                                "thumnailMovie");
    poster->setContentMode(UIViewContentModeScaleAspectFill);
    poster->setClipsToBounds(true);
    const CGFloat x = m.margin * 2 + m.poster.width, textWidth = width - x - m.margin;
    connectOutlet(info, out.titleMovieLabel,
                  makeLabel(CGRectMake(x, 10, textWidth, m.titleHeight), UIFont::boldSystemFontOfSize(m.titleFont), white(), 2),
                  "titleMovieLabel");
    struct Fact {
        const char* caption;
        std::weak_ptr<UILabel>& outlet;
        const char* name;
    };
    const Fact facts[] = {{"Year", out.startYearMovie, "startYearMovie"},
                          {"Rating", out.ratingMovieLabel, "ratingMovieLabel"},
                          {"Genre", out.genreMovieLabel, "genreMovieLabel"},
                          {"State", out.stateMovieLabel, "stateMovieLabel"}};
    const auto captionFont = UIFont::systemFontOfSize(13), valueFont = UIFont::systemFontOfSize(14);
    CGFloat y = 16 + m.titleHeight;
    for (const auto& fact : facts) {
        auto caption = makeLabel(CGRectMake(x, y, 52, m.factStep - 2), captionFont, UIColor::lightGrayColor()->CGColor());
        caption->setText(fact.caption);
        caption->setAutoresizingMask(UIViewAutoresizingNone);
        info->addSubview(caption);
        connectOutlet(info, fact.outlet, makeLabel(CGRectMake(x + 56, y, textWidth - 56, m.factStep - 2), valueFont, white()),
                      fact.name);
        y += m.factStep;
    }
}

std::shared_ptr<NSLayoutConstraint> pin(const std::shared_ptr<UIView>& a, NSLayoutAttribute attrA,
                                        const std::shared_ptr<UIView>& b, NSLayoutAttribute attrB, CGFloat constant) {
    return NSLayoutConstraint::constraintWithItem(a, attrA, NSLayoutRelationEqual, b, attrB, 1, constant);
}

// The panes switch, the two panes and the banner slot; the panes end where the banner begins.
void buildPanes(const std::shared_ptr<UIView>& root, DetailMoviesViewController& page, const Metrics& m) {
    auto& out = page.outlets();
    const CGFloat width = m.size.width, top = m.head + m.info;
    auto segment = connectOutlet(root, out.functionSegment,
                                 std::make_shared<UISegmentedControl>(std::vector<std::string>{"Description", "Chapters"}),
                                 "functionSegment");
    segment->setFrame(CGRectMake(m.margin, top, width - 2 * m.margin, 29));
    segment->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    segment->setSelectedSegmentIndex(1);
    connectAction(segment, page, &DetailMoviesViewController::changeFunctions, UIControlEventValueChanged);

    auto banner = connectOutlet<AKBannerView>(root, out.bannerView, makeBannerArea(CGRectZero), "bannerView");
    root->addConstraint(pin(banner, NSLayoutAttributeCenterX, root, NSLayoutAttributeCenterX, 0));
    // On a phone the page is pushed inside the tab shell, whose bar lies over its bottom: the banner sits on the bar.
    root->addConstraint(pin(banner, NSLayoutAttributeBottom, root, NSLayoutAttributeBottom, -tabBarOverlap(page)));

    auto self = page.self<DetailMoviesViewController>();
    auto table = connectOutlet(root, out.chaptersTable, std::make_shared<UITableView>(), "chaptersTable");
    table->setDataSource(self);
    table->setDelegate(self);
    table->setBackgroundColor(UIColor::clearColor()->CGColor());
    auto text = connectOutlet(root, out.detailDescription, std::make_shared<UITextView>(), "detailDescription");
    text->setDelegate(self);
    text->setBackgroundColor(UIColor::clearColor()->CGColor());
    text->setTextColor(white());
    text->setFont(UIFont::systemFontOfSize(14));
    text->setHidden(true);  // the chapters show first
    const std::shared_ptr<UIView> panes[] = {table, text};
    for (const auto& pane : panes) {
        pane->setTranslatesAutoresizingMaskIntoConstraints(false);
        root->addConstraint(pin(pane, NSLayoutAttributeTop, root, NSLayoutAttributeTop, top + 29 + 8));
        root->addConstraint(pin(pane, NSLayoutAttributeLeading, root, NSLayoutAttributeLeading, m.margin));
        root->addConstraint(pin(pane, NSLayoutAttributeTrailing, root, NSLayoutAttributeTrailing, -m.margin));
        root->addConstraint(pin(pane, NSLayoutAttributeBottom, banner, NSLayoutAttributeTop, -4));
    }
}

std::shared_ptr<UIView> buildPage(DetailMoviesViewController& page, const Metrics& m) {
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, m.size.width, m.size.height));
    root->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    root->setBackgroundColor(screenColor()->CGColor());
    buildHeader(root, page, m);
    buildInfo(root, page, m);
    buildPanes(root, page, m);
    return root;
}

void registerDetailScene(const char* identifier, Metrics (*metrics)()) {
    UIStoryboard::registerScene(kMainStoryboardName, identifier, [metrics] {
        auto page = std::make_shared<DetailMoviesViewController>();
        page->setViewFactory([metrics](UIViewController& owner) -> std::shared_ptr<UIView> {
            return buildPage(static_cast<DetailMoviesViewController&>(owner), metrics());
        });
        return page;
    });
}

}  // namespace

void registerDetailScenes() {
    registerDetailScene(DetailMoviesViewController::kPhoneIdentifier, phoneMetrics);
    registerDetailScene(DetailMoviesViewController::kTabletIdentifier, tabletMetrics);
}
