#include "platform/display/DeviceViewFacts.h"

#include <cassert>
#include <vector>

#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UITabBarButton.h"
#include "platform/uikit/UITabBarItem.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextView.h"
#include "platform/uikit/UIView.h"
#include "platform/webkit/UIWebView.h"

namespace {

// Keys of the associated attributes (their addresses are the keys).
const char kLabelKey = 0;
const char kImageSourceKey = 0;

std::string associatedText(const UIView& view, const void* key) {
    auto text = view.associated<std::string>(key);
    return text ? *text : std::string();
}

void describeBase(const UIView& view, DeviceViewFacts& facts) {
    facts.className = view.className();
    facts.identifier = view.accessibilityIdentifier();
    facts.label = associatedText(view, &kLabelKey);
    if (facts.label.empty()) facts.label = view.accessibilityLabel();
    if (auto* label = dynamic_cast<const UILabel*>(&view)) facts.label = label->text();
    if (view.isAccessibilityElement()) facts.accessibilityElement = true;
    facts.imageSource = associatedText(view, &kImageSourceKey);
}

void describeControls(const UIView& view, DeviceViewFacts& facts) {
    if (auto* control = dynamic_cast<const UIControl*>(&view)) {
        facts.enabled = control->isEnabled();
        facts.selected = control->isSelected();
        facts.highlighted = control->isHighlighted();
    }
    if (auto* imageView = dynamic_cast<const UIImageView*>(&view)) facts.highlighted = imageView->isHighlighted();
    if (auto* alert = dynamic_cast<const UIAlertView*>(&view)) {
        facts.label = alert->title();
        facts.detail = alert->message();
    }
}

// What the list, text and scrolling views show: a cell's texts and checkmark,
// a button's title, the segments, a search bar's or text view's text, the
// first responder and a scroll view's offset.
void describeContent(const UIView& view, DeviceViewFacts& facts) {
    facts.firstResponder = view.isFirstResponder();
    if (auto* scroll = dynamic_cast<const UIScrollView*>(&view)) facts.contentOffset = scroll->contentOffset();
    if (auto* web = dynamic_cast<const UIWebView*>(&view)) {
        if (auto request = web->request()) facts.url = request->URL();
        facts.title = web->documentTitle();
    }
    if (auto* cell = dynamic_cast<const UITableViewCell*>(&view)) {
        if (cell->textLabel()) facts.label = cell->textLabel()->text();
        if (cell->detailTextLabel()) facts.detail = cell->detailTextLabel()->text();
        facts.checkmark = cell->accessoryType() == UITableViewCellAccessoryCheckmark;
        facts.selected = cell->isSelected();
    }
    if (auto* button = dynamic_cast<const UIButton*>(&view); button && facts.label.empty())
        facts.label = button->currentTitle();
    if (auto* segments = dynamic_cast<const UISegmentedControl*>(&view)) {
        std::string titles;
        for (std::size_t i = 0; i < segments->numberOfSegments(); ++i)
            titles += (i ? "|" : "") + segments->titleForSegmentAtIndex(i);
        facts.label = titles;
        if (segments->selectedSegmentIndex() != UISegmentedControlNoSegment)
            facts.detail = segments->titleForSegmentAtIndex(static_cast<std::size_t>(segments->selectedSegmentIndex()));
    }
    if (auto* search = dynamic_cast<const UISearchBar*>(&view)) {
        facts.label = search->text();
        facts.detail = search->placeholder();
    }
    if (auto* text = dynamic_cast<const UITextView*>(&view)) facts.label = text->text();
    if (auto* tab = dynamic_cast<const UITabBarButton*>(&view)) {
        if (auto item = tab->item(); item && item->badgeValue()) facts.detail = *item->badgeValue();
    }
}

std::vector<DeviceViewFacts::Describer>& describers() {
    static std::vector<DeviceViewFacts::Describer> list{describeBase, describeControls, describeContent};
    return list;
}

}  // namespace

void DeviceViewFacts::addDescriber(Describer describer) {
    QV_ASSERT_MAIN_THREAD();
    describers().push_back(std::move(describer));
}

DeviceViewFacts DeviceViewFacts::of(const UIView& view) {
    DeviceViewFacts facts;
    for (const auto& describe : describers()) describe(view, facts);
    return facts;
}

namespace display {

void setAccessibilityIdentifier(UIView& view, std::string identifier) {
    view.setAccessibilityIdentifier(std::move(identifier));
}

void setBackgroundColor(UIView& view, CGColorRef color) { view.setBackgroundColor(std::move(color)); }

void setLabelText(UIView& view, std::string text) {
    view.setAssociatedObject(&kLabelKey, std::make_shared<std::string>(std::move(text)));
}

void setImageSource(UIView& view, std::string source) {
    view.setAssociatedObject(&kImageSourceKey, std::make_shared<std::string>(std::move(source)));
}

}  // namespace display
