#include "platform/display/DeviceTree.h"

#include <cassert>
#include <functional>
#include <memory>
#include <vector>

#include "platform/display/DeviceScene.h"
#include "platform/display/DeviceViewFacts.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIWindow.h"

namespace {

using Json = nlohmann::json;

Json rectJson(CGRect r) { return Json::array({r.origin.x, r.origin.y, r.size.width, r.size.height}); }

void putState(Json& node, const char* key, const std::optional<bool>& value) {
    if (value) node[key] = *value;
}

Json viewNode(const UIView& view) {
    const DeviceViewFacts facts = DeviceViewFacts::of(view);
    Json node = {{"class", facts.className}, {"frame", rectJson(DeviceScene::frameInWindow(view))}};
    if (!facts.identifier.empty()) node["id"] = facts.identifier;
    if (!facts.label.empty()) node["label"] = facts.label;
    if (!facts.detail.empty()) node["detail"] = facts.detail;
    if (!facts.imageSource.empty()) node["image"] = facts.imageSource;
    if (!facts.url.empty()) node["url"] = facts.url;
    if (!facts.title.empty()) node["title"] = facts.title;
    putState(node, "selected", facts.selected);
    putState(node, "enabled", facts.enabled);
    putState(node, "highlighted", facts.highlighted);
    putState(node, "checkmark", facts.checkmark);
    putState(node, "firstResponder", facts.firstResponder);
    putState(node, "accessibilityElement", facts.accessibilityElement);
    if (facts.contentOffset) node["contentOffset"] = Json::array({facts.contentOffset->x, facts.contentOffset->y});
    Json children = Json::array();
    for (const auto& child : view.subviews())
        if (!child->isHidden()) children.push_back(viewNode(*child));
    if (!children.empty()) node["children"] = std::move(children);
    return node;
}

Json buttonNode(const char* className, const DeviceOverlayButton& b) {
    Json node = {{"class", className}, {"label", b.title}, {"index", b.index}, {"frame", rectJson(b.frame)}};
    if (b.role == DeviceButtonRole::Cancel) node["cancel"] = true;
    if (b.role == DeviceButtonRole::Destructive) node["destructive"] = true;
    return node;
}

Json alertNode(const DeviceAlertLayout& layout) {
    Json node = {{"class", "UIAlertView"}, {"frame", rectJson(layout.frame)}};
    if (!layout.alert->title().empty()) node["label"] = layout.alert->title();
    if (!layout.alert->message().empty()) node["detail"] = layout.alert->message();
    Json buttons = Json::array();
    for (const auto& b : layout.buttons) buttons.push_back(buttonNode("UIAlertButton", b));
    node["children"] = std::move(buttons);
    return node;
}

Json sheetNode(const DeviceSheetLayout& layout) {
    Json node = {{"class", "UIActionSheet"}, {"frame", rectJson(layout.frame)}};
    if (!layout.sheet->title().empty()) node["label"] = layout.sheet->title();
    if (!layout.sheet->accessibilityIdentifier().empty()) node["id"] = layout.sheet->accessibilityIdentifier();
    Json buttons = Json::array();
    for (const auto& b : layout.buttons) buttons.push_back(buttonNode("UIActionSheetButton", b));
    node["children"] = std::move(buttons);
    return node;
}

constexpr const char* kKeyboardId = "keyboard";

Json keyboardNode(const DeviceKeyboardLayout& layout) {
    Json keys = Json::array();
    for (const auto& key : layout.keys)
        keys.push_back({{"class", "UIKeyboardKey"}, {"label", key.label}, {"frame", rectJson(key.frame)}});
    return {{"class", "UIKeyboard"}, {"id", kKeyboardId}, {"frame", rectJson(layout.frame)}, {"children", keys}};
}

// One match of a query: a view of the window or a button of the front alert.
struct Match {
    std::shared_ptr<UIView> view;  // null for an alert button
    CGRect frame{};
    CGRect visible{};
};

bool matches(const DeviceViewFacts& facts, const DeviceTargetQuery& query) {
    return query.byIdentifier() ? facts.identifier == query.identifier : facts.label == query.label;
}

void collect(const std::shared_ptr<UIView>& view, const DeviceTargetQuery& query, std::vector<Match>& out) {
    if (view->isHidden()) return;
    if (matches(DeviceViewFacts::of(*view), query) && DeviceScene::isShown(*view))
        out.push_back({view, DeviceScene::frameInWindow(*view), DeviceScene::visibleFrameInWindow(*view)});
    for (const auto& child : view->subviews()) collect(child, query, out);
}

// While an alert or a sheet is up its buttons come first: when one matches,
// the views it covers are not candidates. The keyboard answers to its id.
std::vector<Match> findMatches(const DeviceTargetQuery& query) {
    std::vector<Match> found;
    if (!query.byIdentifier()) {
        const auto add = [&](const std::vector<DeviceOverlayButton>& buttons) {
            for (const auto& b : buttons)
                if (b.title == query.label) found.push_back({nullptr, b.frame, b.frame});
        };
        if (auto alert = DeviceScene::frontAlert()) add(alert->buttons);
        if (auto sheet = DeviceScene::frontSheet(); sheet && found.empty()) add(sheet->buttons);
        if (!found.empty()) return found;
    }
    if (auto window = DeviceScene::keyWindow(); window && !window->isHidden()) collect(window, query, found);
    if (auto keyboard = DeviceScene::keyboard(); keyboard && query.identifier == kKeyboardId)
        found.push_back({nullptr, keyboard->frame, keyboard->frame});
    return found;
}

CGPoint centre(CGRect r) { return CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r)); }

// Whether a tap at the point reaches the view: the view hit there is the view
// itself, one inside it, or a container that takes the view's touches for it.
bool reaches(const std::shared_ptr<UIView>& hit, const UIView& target) {
    if (!hit) return false;
    return hit.get() == &target || hit->isDescendantOfView(&target) || target.isDescendantOfView(hit.get());
}

}  // namespace

std::string DeviceTargetQuery::description() const {
    std::string text = byIdentifier() ? "id \"" + identifier + "\"" : "label \"" + label + "\"";
    if (index) text += " [" + std::to_string(*index) + "]";
    return text;
}

nlohmann::json DeviceTree::describe() {
    QV_ASSERT_MAIN_THREAD();
    Json views = Json::array();
    if (auto window = DeviceScene::keyWindow(); window && !window->isHidden()) views.push_back(viewNode(*window));
    if (auto keyboard = DeviceScene::keyboard()) views.push_back(keyboardNode(*keyboard));
    if (auto sheet = DeviceScene::frontSheet()) views.push_back(sheetNode(*sheet));
    if (auto alert = DeviceScene::frontAlert()) views.push_back(alertNode(*alert));
    return {{"views", std::move(views)}};
}

std::size_t DeviceTree::countMatches(const DeviceTargetQuery& query) {
    QV_ASSERT_MAIN_THREAD();
    return findMatches(query).size();
}

DeviceTarget DeviceTree::locate(const DeviceTargetQuery& query) {
    QV_ASSERT_MAIN_THREAD();
    DeviceTarget target;
    const auto found = findMatches(query);
    target.matches = found.size();
    if (found.empty() || (query.index && *query.index >= found.size())) {
        target.status = DeviceTargetStatus::NotFound;
        target.message = "no view with " + query.description() + " is on screen";
        return target;
    }
    if (found.size() > 1 && !query.index) {
        target.status = DeviceTargetStatus::Ambiguous;
        target.message = std::to_string(found.size()) + " views have " + query.description() + "; give an index";
        return target;
    }
    const Match& match = found[query.index.value_or(0)];
    target.frame = match.frame;
    target.point = centre(match.visible);
    if (CGRectIsEmpty(match.visible)) {
        target.status = DeviceTargetStatus::Covered;
        target.message = "the view with " + query.description() + " is off screen";
        return target;
    }
    if (!match.view) {  // a button of the front alert or sheet, or the keyboard
        const bool keyboard = query.identifier == kKeyboardId;
        target.status = keyboard && (DeviceScene::frontAlert() || DeviceScene::frontSheet())
                            ? DeviceTargetStatus::Covered
                            : DeviceTargetStatus::Found;
        if (target.status == DeviceTargetStatus::Covered) target.message = "an alert or sheet covers the keyboard";
        return target;
    }
    const char* cover = DeviceScene::frontAlert() ? "an alert" : DeviceScene::frontSheet() ? "an action sheet" : nullptr;
    if (cover) {
        target.status = DeviceTargetStatus::Covered;
        target.message = std::string(cover) + " covers the view with " + query.description();
        return target;
    }
    auto window = match.view->window();
    if (!window || !reaches(DeviceScene::hitTest(*window, target.point), *match.view)) {
        target.status = DeviceTargetStatus::Covered;
        target.message = "another view covers the view with " + query.description();
        return target;
    }
    target.status = DeviceTargetStatus::Found;
    return target;
}
