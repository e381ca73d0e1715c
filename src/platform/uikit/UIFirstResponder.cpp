#include "platform/uikit/UIFirstResponder.h"

#include <algorithm>
#include <cassert>
#include <vector>

#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIKeyInput.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace {
struct Entry {
    std::weak_ptr<UIWindow> window;
    std::weak_ptr<UIResponder> responder;
};
struct State {
    std::vector<Entry> firsts;
    std::vector<std::weak_ptr<UIResponder>> pending;  // asked before they were in a window
};
State& state() {
    static auto* s = new State();
    std::erase_if(s->firsts, [](const Entry& e) { return e.window.expired() || e.responder.expired(); });
    std::erase_if(s->pending, [](const auto& w) { return w.expired(); });
    return *s;
}

std::shared_ptr<UIWindow> windowOf(UIResponder& r) {
    if (auto* view = dynamic_cast<UIView*>(&r)) return view->window();
    if (auto* controller = dynamic_cast<UIViewController*>(&r))
        return controller->isViewLoaded() ? controller->view()->window() : nullptr;
    return nullptr;
}

Entry* entryFor(const UIWindow& window) {
    for (auto& e : state().firsts)
        if (e.window.lock().get() == &window) return &e;
    return nullptr;
}

Entry* entryHolding(const UIResponder& r) {
    for (auto& e : state().firsts)
        if (e.responder.lock().get() == &r) return &e;
    return nullptr;
}

bool isKeyInput(const UIResponder& r) { return dynamic_cast<const UIKeyInput*>(&r) != nullptr; }

// Clears the responder's place without asking it.
void dropFirst(UIResponder& r, bool hideKeyboard) {
    auto keep = r.self<UIResponder>();
    std::erase_if(state().firsts, [&](const Entry& e) { return e.responder.lock().get() == &r; });
    r.didResignFirstResponder();
    if (hideKeyboard && isKeyInput(r)) UIKeyboard::hide(UIFirstResponder::kKeyboardDuration);
}

bool takeEffect(UIResponder& r, const std::shared_ptr<UIWindow>& window) {
    auto keep = r.self<UIResponder>();
    if (!r.shouldBecomeFirstResponder()) return false;
    std::shared_ptr<UIResponder> current = UIFirstResponder::of(*window);
    if (current && current.get() != &r) {
        if (!current->shouldResignFirstResponder()) return false;
        dropFirst(*current, !isKeyInput(r));  // one key input after another keeps the keyboard up
    }
    state().firsts.push_back(Entry{window, keep});
    r.didBecomeFirstResponder();
    if (isKeyInput(r)) UIKeyboard::show(UIFirstResponder::keyboardHeight(), UIFirstResponder::kKeyboardDuration);
    return true;
}
}  // namespace

std::shared_ptr<UIResponder> UIFirstResponder::of(const UIWindow& window) {
    auto* e = entryFor(window);
    return e ? e->responder.lock() : nullptr;
}

std::shared_ptr<UIResponder> UIFirstResponder::current() {
    auto key = UIApplication::sharedApplication()->keyWindow();
    return key ? of(*key) : nullptr;
}

CGFloat UIFirstResponder::keyboardHeight() {
    bool landscape = UIInterfaceOrientationIsLandscape(UIApplication::sharedApplication()->statusBarOrientation());
    if (UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad) return landscape ? 352 : 264;
    return landscape ? 162 : 216;
}

bool UIFirstResponder::isFirst(const UIResponder& r) { return entryHolding(r) != nullptr; }

bool UIFirstResponder::become(UIResponder& r) {
    QV_ASSERT_MAIN_THREAD();
    if (isFirst(r)) return true;
    if (!r.canBecomeFirstResponder()) return false;
    auto window = windowOf(r);
    if (!window) {
        auto& pending = state().pending;
        if (std::none_of(pending.begin(), pending.end(), [&](const auto& w) { return w.lock().get() == &r; }))
            pending.push_back(r.self<UIResponder>());
        return true;
    }
    return takeEffect(r, window);
}

bool UIFirstResponder::resign(UIResponder& r) {
    QV_ASSERT_MAIN_THREAD();
    auto& pending = state().pending;
    std::erase_if(pending, [&](const auto& w) { return w.lock().get() == &r; });
    if (!isFirst(r)) return true;
    if (!r.shouldResignFirstResponder()) return false;
    dropFirst(r, true);
    return true;
}

void UIFirstResponder::viewMovedToWindow(UIView& view, const std::shared_ptr<UIWindow>& window) {
    if (auto* e = entryHolding(view); e && e->window.lock() != window) dropFirst(view, true);
    if (!window) return;
    auto& pending = state().pending;
    auto it = std::find_if(pending.begin(), pending.end(), [&](const auto& w) { return w.lock().get() == &view; });
    if (it == pending.end()) return;
    pending.erase(it);
    if (view.canBecomeFirstResponder()) (void)takeEffect(view, window);  // a refusal now is the view's own answer
}

// ---------------------------------------------------------------- UIResponder

bool UIResponder::becomeFirstResponder() { return UIFirstResponder::become(*this); }

bool UIResponder::resignFirstResponder() { return UIFirstResponder::resign(*this); }

bool UIResponder::isFirstResponder() const { return UIFirstResponder::isFirst(*this); }
