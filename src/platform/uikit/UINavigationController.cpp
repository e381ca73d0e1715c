#include "platform/uikit/UINavigationController.h"

#include <algorithm>
#include <mutex>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/UIView.h"

namespace {
std::mutex hookMutex;
std::vector<UINavigationController::PushHook>& pushHooks() {
    static std::vector<UINavigationController::PushHook> hooks;
    return hooks;
}
std::vector<UINavigationController::PushAroundHook>& pushAroundHooks() {
    static auto* hooks = new std::vector<UINavigationController::PushAroundHook>();
    return *hooks;
}
std::vector<UINavigationController::SetViewControllersAroundHook>& setAroundHooks() {
    static auto* hooks = new std::vector<UINavigationController::SetViewControllersAroundHook>();
    return *hooks;
}

// Runs `own` wrapped by the hooks, the last added outermost.
template <class Hook, class List>
void runAround(const std::vector<Hook>& hooks, std::size_t n, UINavigationController& nav, const List& arg,
               bool animated, const std::function<void()>& own) {
    if (n == 0) {
        own();
        return;
    }
    std::function<void()> inner = [&] { runAround(hooks, n - 1, nav, arg, animated, own); };
    hooks[n - 1](nav, arg, animated, inner);
}

template <class Hook>
std::vector<Hook> copyOf(const std::vector<Hook>& hooks) {
    std::lock_guard lock(hookMutex);
    return hooks;
}
}  // namespace

void UINavigationController::addPushAroundHook(PushAroundHook hook) {
    std::lock_guard lock(hookMutex);
    pushAroundHooks().push_back(std::move(hook));
}

void UINavigationController::addSetViewControllersAroundHook(SetViewControllersAroundHook hook) {
    std::lock_guard lock(hookMutex);
    setAroundHooks().push_back(std::move(hook));
}

const std::shared_ptr<UINavigationBar>& UINavigationController::navigationBar() {
    if (!navigationBar_) {
        navigationBar_ = std::make_shared<UINavigationBar>();
        navigationBar_->setHidden(navigationBarHidden_);
        updateNavigationBarItems();
    }
    return navigationBar_;
}

void UINavigationController::updateNavigationBarItems() {
    if (!navigationBar_) return;
    const auto& list = viewControllers();
    std::string top = list.empty() ? std::string() : list.back()->title();
    std::optional<std::string> back;
    if (list.size() > 1) back = list[list.size() - 2]->title();
    navigationBar_->setItemTitles(std::move(top), std::move(back));
}

void UINavigationController::setNavigationBarHidden(bool hidden, bool /*animated*/) {
    navigationBarHidden_ = hidden;
    navigationBar()->setHidden(hidden);
    if (isViewLoaded()) view()->setNeedsLayout();
}

void UINavigationController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    placeNavigationBar();
}

// The view may reach its window only after viewWillAppear (a tab bar adds the
// selected tab's view after telling it): the bar is placed again once it has.
void UINavigationController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    placeNavigationBar();
}

void UINavigationController::didRotateFromInterfaceOrientation(UIInterfaceOrientation fromOrientation) {
    UIViewController::didRotateFromInterfaceOrientation(fromOrientation);
    placeNavigationBar();
}

void UINavigationController::placeNavigationBar() {
    if (!isViewLoaded() || !navigationBar_) return;
    auto v = view();
    CGFloat top = 0;
    if (auto window = v->window(); window && !UIApplication::sharedApplication()->isStatusBarHidden()) {
        const CGRect inWindow = v->convertRectToView(v->bounds(), window.get());
        const CGRect windowInScreen = window->frame();
        if (inWindow.origin.y + windowInScreen.origin.y <= 0) top = kUIStatusBarHeight;
    }
    navigationBar_->setFrame(CGRectMake(0, top, v->bounds().size.width, UINavigationBar::kHeight));
}

void UINavigationController::addPushHook(PushHook hook) {
    std::lock_guard lock(hookMutex);
    pushHooks().push_back(std::move(hook));
}

std::shared_ptr<UINavigationController> UINavigationController::initWithRootViewController(
    const std::shared_ptr<UIViewController>& root) {
    auto nav = std::make_shared<UINavigationController>();
    nav->setViewControllers({root}, false);
    return nav;
}

bool UINavigationController::canPush(const std::shared_ptr<UIViewController>& controller, bool log) const {
    const char* why = nullptr;
    if (!controller) why = "Application tried to push a nil view controller on target %@.";
    else if (std::dynamic_pointer_cast<UINavigationController>(controller))
        why = "Pushing a navigation controller is not supported (%@).";
    else if (controller->parentViewController() || controller.get() == this)
        why = "Pushing the same view controller instance more than once is not supported (%@).";
    else if (controller->presentingViewController())
        why = "Application tried to push a presented view controller (%@).";
    if (why && log)
        NSLog(why, controller ? controller->description() : description());
    return why == nullptr;
}

void UINavigationController::setViewControllers(const ControllerList& controllers, bool animated) {
    auto keep = self<UINavigationController>();
    auto hooks = copyOf(setAroundHooks());
    runAround(hooks, hooks.size(), *this, controllers, animated,
              [&] { setViewControllersOwn(controllers, animated); });
}

void UINavigationController::setViewControllersOwn(const ControllerList& controllers, bool animated) {
    auto oldTop = topViewController();
    ControllerList removed;
    for (auto& child : ControllerList(childViewControllers())) {
        if (std::find(controllers.begin(), controllers.end(), child) != controllers.end()) continue;
        child->willMoveToParentViewController(nullptr);
        child->removeFromParentViewController();
        removed.push_back(child);
    }
    auto me = self<UINavigationController>();
    for (auto& c : controllers) {
        if (c && c->parentViewController() == me) continue;  // kept
        if (!canPush(c, true)) continue;
        addChildViewController(c);
        c->didMoveToParentViewController(me);
    }
    orderChildren(controllers);
    changeTop(oldTop, topViewController(), animated, removed);
}

void UINavigationController::pushViewController(const std::shared_ptr<UIViewController>& controller, bool animated) {
    auto keep = self<UINavigationController>();
    auto hooks = copyOf(pushAroundHooks());
    runAround(hooks, hooks.size(), *this, controller, animated, [&] { pushOwn(controller, animated); });
}

void UINavigationController::pushOwn(const std::shared_ptr<UIViewController>& controller, bool animated) {
    if (!canPush(controller, true)) return;
    std::vector<PushHook> hooks;
    {
        std::lock_guard lock(hookMutex);
        hooks = pushHooks();
    }
    for (auto& h : hooks) h(*this, controller, animated);
    if (!canPush(controller, true)) return;  // a hook may have placed it elsewhere
    auto oldTop = topViewController();
    addChildViewController(controller);
    controller->didMoveToParentViewController(self<UIViewController>());
    changeTop(oldTop, controller, animated, {});
}

std::shared_ptr<UIViewController> UINavigationController::popViewControllerAnimated(bool animated) {
    auto n = viewControllers().size();
    if (n < 2) return nullptr;
    auto removed = popAbove(n - 2, animated);
    return removed.empty() ? nullptr : removed.front();
}

UINavigationController::ControllerList UINavigationController::popToRootViewControllerAnimated(bool animated) {
    if (viewControllers().empty()) return {};
    return popAbove(0, animated);
}

UINavigationController::ControllerList UINavigationController::popToViewController(
    const std::shared_ptr<UIViewController>& controller, bool animated) {
    const auto& list = viewControllers();
    auto it = std::find(list.begin(), list.end(), controller);
    if (it == list.end()) return {};
    return popAbove(static_cast<std::size_t>(it - list.begin()), animated);
}

UINavigationController::ControllerList UINavigationController::popAbove(std::size_t keep, bool animated) {
    auto oldTop = topViewController();
    ControllerList removed(viewControllers().begin() + static_cast<long>(keep) + 1, viewControllers().end());
    for (auto& c : removed) {
        c->willMoveToParentViewController(nullptr);
        c->removeFromParentViewController();
    }
    if (!removed.empty()) changeTop(oldTop, topViewController(), animated, removed);
    return removed;
}

void UINavigationController::changeTop(const std::shared_ptr<UIViewController>& oldTop,
                                       const std::shared_ptr<UIViewController>& newTop, bool animated,
                                       const ControllerList& removed) {
    updateNavigationBarItems();
    if (oldTop == newTop) return;
    bool visible = isViewVisible();
    if (visible) {
        if (oldTop) oldTop->beginAppearanceTransition(false, animated);
        if (newTop) newTop->beginAppearanceTransition(true, animated);
    }
    swapContentView(oldTop, newTop);
    if (!visible) return;
    finishTransition(animated, [oldTop, newTop, removed] {
        if (oldTop) oldTop->endAppearanceTransition();
        if (newTop) newTop->endAppearanceTransition();
    });
}

std::shared_ptr<UIViewController> UINavigationController::topViewController() const {
    const auto& list = viewControllers();
    return list.empty() ? nullptr : list.back();
}

std::shared_ptr<UIViewController> UINavigationController::visibleViewController() const {
    auto top = topViewController();
    if (auto presented = top ? top->presentedViewController() : presentedViewController()) return presented;
    return top;
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::childViewControllersForAppearance() const {
    if (auto top = topViewController()) return {top};
    return {};
}

void UINavigationController::containerViewDidLoad() {
    swapContentView(nullptr, topViewController());
    auto& bar = navigationBar();
    // Set once the view loads (the bar can be tapped only from then on).
    std::weak_ptr<UINavigationController> weak = self<UINavigationController>();
    bar->setBackAction([weak] {
        if (auto nav = weak.lock()) nav->popViewControllerAnimated(true);
    });
    auto v = view();
    bar->setFrame(CGRectMake(0, 0, v->bounds().size.width, UINavigationBar::kHeight));
    v->addSubview(bar);
}
