// The pickers' scenes: the interface file "ListSortViewController" and the
// storyboard scenes "ListGenresViewController" and "ListStreamViewController".
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStoryboard.h"
#include "screens/ListGenresViewController.h"
#include "screens/ListSortViewController.h"
#include "screens/ListStreamViewController.h"
#include "screens/MainStoryboard.h"
#include "screens/ScreenOutlets.h"
#include "screens/ScreenStyle.h"

namespace {

constexpr UIViewAutoresizing kFill = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;

// A picker's root view: white, with the platform's tint of its own, so that the
// checkmarks keep their colour inside a popover whose theme tints its content.
std::shared_ptr<UIView> makePickerRoot(CGRect frame) {
    auto root = std::make_shared<UIView>(frame);
    root->setBackgroundColor(UIColor::whiteColor()->CGColor());
    root->setTintColor(UIViewDefaultTintColor());
    return root;
}

std::shared_ptr<UILabel> makeLabel(CGRect frame, CGFloat size, CGColorRef color) {
    auto label = std::make_shared<UILabel>(frame);
    label->setFont(UIFont::boldSystemFontOfSize(size));
    label->setTextColor(color);
    label->setTextAlignment(1);
    return label;
}

std::shared_ptr<UIButton> makeButton(CGRect frame, const std::string& title, CGColorRef color) {
    auto button = std::make_shared<UIButton>(frame);
    button->setTitle(title, UIControlStateNormal);
    button->setTitleColor(color, UIControlStateNormal);
    return button;
}

// A target-action that reaches the controller only while it lives.
template <class Controller>
void connectAction(const std::shared_ptr<UIControl>& control, Controller& owner, void (Controller::*action)(UIControl*)) {
    std::weak_ptr<Controller> weak = owner.template self<Controller>();
    control->addTarget(
        owner.template self<NSObject>(),
        [weak, action](UIControl& sender, UIEvent*) {
            if (auto controller = weak.lock()) ((*controller).*action)(&sender);
        },
        UIControlEventTouchUpInside);
}

template <class Controller>
std::shared_ptr<UITableView> makeTable(CGRect frame, Controller& owner) {
    auto table = std::make_shared<UITableView>(frame);
    table->setAutoresizingMask(kFill);
    table->setBackgroundColor(UIColor::whiteColor()->CGColor());
    auto self = owner.template self<Controller>();
    table->setDataSource(self);
    table->setDelegate(self);
    return table;
}

// The sort picker's interface file: the four rows fill the grids' 150 x 176
// popover, so the heading stays hidden there.
UINib::Objects buildSortPicker(const std::shared_ptr<NSObject>& owner) {
    auto root = makePickerRoot(CGRectMake(0, 0, 150, 176));
    auto picker = std::dynamic_pointer_cast<ListSortViewController>(owner);
    auto title = makeLabel(CGRectMake(0, 0, 150, 0), 15, UIColor::blackColor()->CGColor());
    title->setText("Sort By");
    title->setHidden(true);
    std::shared_ptr<UITableView> table;
    if (picker) {
        table = connectOutlet(root, picker->tableViewOutlet(), makeTable(root->bounds(), *picker), "tableView");
        connectOutlet(root, picker->titleLabelOutlet(), title, "titleLabel");
    } else {
        table = std::make_shared<UITableView>(root->bounds());
        root->addSubview(table);
        root->addSubview(title);
    }
    table->setAutoresizingMask(kFill);
    return {root};
}

// Full screen on a phone; on a tablet the size of the popover it is shown in.
std::shared_ptr<UIView> buildGenrePicker(ListGenresViewController& picker) {
    const CGRect screen = isTablet() ? CGRectMake(0, 0, 320, 480) : UIScreen::mainScreen()->bounds();
    const CGFloat width = screen.size.width, height = screen.size.height;
    auto root = makePickerRoot(CGRectMake(0, 0, width, height));
    root->setBackgroundColor(screenColor()->CGColor());
    auto& out = picker.outlets();
    auto head = connectOutlet(root, out.headViewTitle, std::make_shared<UIView>(CGRectMake(0, 0, width, 64)),
                              "headViewTitle");
    head->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    head->setBackgroundColor(screenColor()->CGColor());
    // The heading and the buttons keep to the bar's lower 44 points when it shrinks.
    const UIViewAutoresizing low = UIViewAutoresizingFlexibleTopMargin;
    auto white = UIColor::whiteColor()->CGColor();
    auto title = connectOutlet(head, out.titleLabel, makeLabel(CGRectMake(70, 20, width - 140, 44), 17, white),
                               "titleLabel");
    title->setAutoresizingMask(low | UIViewAutoresizingFlexibleWidth);
    auto back = connectOutlet(head, out.backButton, makeButton(CGRectMake(4, 20, 66, 44), "Back", white), "backButton");
    back->setAutoresizingMask(low | UIViewAutoresizingFlexibleRightMargin);
    auto cancel = connectOutlet(head, out.cancelButton, makeButton(CGRectMake(width - 70, 20, 66, 44), "Cancel", white),
                                "cancelButton");
    cancel->setAutoresizingMask(low | UIViewAutoresizingFlexibleLeftMargin);
    connectAction<ListGenresViewController>(back, picker, &ListGenresViewController::cancelView);
    connectAction<ListGenresViewController>(cancel, picker, &ListGenresViewController::cancelView);
    connectOutlet(root, out.genresTable, makeTable(CGRectMake(0, 64, width, height - 64), picker), "genresTable");
    return root;
}

// The stream dialog's content, 276 x 220: heading, streams, three buttons.
std::shared_ptr<UIView> buildStreamPicker(ListStreamViewController& picker) {
    auto root = makePickerRoot(CGRectMake(0, 0, 276, 220));
    auto& out = picker.outlets();
    auto heading = connectOutlet(root, out.movieName, makeLabel(CGRectMake(10, 0, 256, 40), 15, UIColor::blackColor()->CGColor()),
                                 "movieName");
    heading->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    connectOutlet(root, out.movieTable, makeTable(CGRectMake(0, 40, 276, 136), picker), "movieTable");
    auto tint = UIViewDefaultTintColor();
    struct Action {
        std::weak_ptr<UIButton>& outlet;
        const char* name;
        const char* title;
        void (ListStreamViewController::*action)(UIControl*);
    };
    const Action actions[] = {
        {out.downloadButton, "downloadButton", "Download", &ListStreamViewController::downloadVideo},
        {out.playButton, "playButton", "Play", &ListStreamViewController::playVideo},
        {out.cancelButton, "cancelButton", "Cancel", &ListStreamViewController::cancelView},
    };
    CGFloat x = 0;
    for (const auto& a : actions) {
        auto button = connectOutlet(root, a.outlet, makeButton(CGRectMake(x, 176, 92, 44), a.title, tint), a.name);
        button->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleWidth);
        connectAction<ListStreamViewController>(button, picker, a.action);
        x += 92;
    }
    return root;
}

template <class Controller>
void registerPickerScene(const char* identifier, std::shared_ptr<UIView> (*build)(Controller&)) {
    UIStoryboard::registerScene(kMainStoryboardName, identifier, [build] {
        auto controller = std::make_shared<Controller>();
        controller->setViewFactory([build](UIViewController& owner) -> std::shared_ptr<UIView> {
            return build(static_cast<Controller&>(owner));
        });
        return controller;
    });
}

}  // namespace

void registerPickerScenes() {
    UINib::registerNibFactory(ListSortViewController::kNibName, buildSortPicker);
    registerPickerScene<ListGenresViewController>(ListGenresViewController::kStoryboardIdentifier, buildGenrePicker);
    registerPickerScene<ListStreamViewController>(ListStreamViewController::kStoryboardIdentifier, buildStreamPicker);
}
