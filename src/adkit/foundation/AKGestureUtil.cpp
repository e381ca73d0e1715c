#include "adkit/foundation/AKGestureUtil.h"

#include <mutex>

#include "adkit/foundation/AKReachability.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIWindow.h"

namespace {

// The view classes every chain passes through, for a registry that does not
// know them yet (the window layer registers its own classes).
void registerBaseViewClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        const std::pair<const char*, const char*> chain[] = {
            {"NSObject", ""}, {"UIResponder", "NSObject"}, {"UIView", "UIResponder"}, {"UIWindow", "UIView"}};
        for (const auto& [name, superclass] : chain) {
            if (!ClassRegistry::lookup(name)) ClassRegistry::registerClass({name, superclass, {}, nullptr});
        }
    });
}

void walk(const std::shared_ptr<UIView>& view, const UIWindow& window, const std::string& stopAt, Value& records) {
    if (view->isHidden()) return;
    const std::string name = AKGestureUtil::viewInheritenceHierarchy(view.get(), 128);
    const CGPoint origin = view->convertPointToView(CGPointZero, &window);
    records.append(Value{{"ViewName", Value(name)},
                         {"x", Value(origin.x)},
                         {"y", Value(origin.y)},
                         {"w", Value(view->frame().size.width)},
                         {"h", Value(view->frame().size.height)}});
    if (name == stopAt) return;
    for (const auto& child : view->subviews()) walk(child, window, stopAt, records);
}

}  // namespace

namespace AKGestureUtil {

void reachability(std::uint32_t* flags) {
    if (!flags) return;
    if (auto read = AKReachability::defaultRouteFlags()) *flags = *read;
}

std::string viewInheritenceHierarchy(const UIView* view, std::size_t maxSize) {
    if (!view) return "";
    registerBaseViewClasses();
    std::string chain = view->className();
    std::string current = chain;
    for (int depth = 0; depth < 64; ++depth) {
        auto info = ClassRegistry::lookup(current);
        if (!info || info->superclass.empty()) break;
        current = info->superclass;
        chain += ":" + current;
    }
    if (chain.size() > maxSize) chain.resize(maxSize);
    return chain;
}

Value walkViews(const std::string& stopAt) {
    Value records = Value::array();
    auto window = UIApplication::sharedApplication()->keyWindow();
    if (window) walk(window, *window, stopAt, records);
    return records;
}

}  // namespace AKGestureUtil
