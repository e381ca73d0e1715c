#include "platform/uikit/UIStoryboard.h"

#include <map>

#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIViewController.h"

namespace {
struct StoryboardEntry {
    std::map<std::string, UIStoryboard::SceneFactory> scenes;
    std::string initial;
};

std::map<std::string, StoryboardEntry>& registry() {
    static std::map<std::string, StoryboardEntry> storyboards;
    return storyboards;
}
}  // namespace

void UIStoryboard::registerScene(const std::string& name, const std::string& identifier, SceneFactory factory) {
    QV_ASSERT_MAIN_THREAD();
    registry()[name].scenes[identifier] = std::move(factory);
}

void UIStoryboard::setInitialScene(const std::string& name, const std::string& identifier) {
    QV_ASSERT_MAIN_THREAD();
    registry()[name].initial = identifier;
}

void UIStoryboard::unregisterStoryboard(const std::string& name) {
    QV_ASSERT_MAIN_THREAD();
    registry().erase(name);
}

bool UIStoryboard::hasScene(const std::string& name, const std::string& identifier) {
    QV_ASSERT_MAIN_THREAD();
    auto board = registry().find(name);
    if (board == registry().end()) return false;
    auto scene = board->second.scenes.find(identifier);
    return scene != board->second.scenes.end() && scene->second;
}

std::shared_ptr<UIStoryboard> UIStoryboard::storyboardWithName(const std::string& name,
                                                              const std::shared_ptr<NSBundle>&) {
    QV_ASSERT_MAIN_THREAD();
    if (!registry().count(name)) {
        NSLog("Could not find a storyboard named '%@' in bundle NSBundle", name);
        return nullptr;
    }
    return std::make_shared<UIStoryboard>(name);
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateViewControllerWithIdentifier(const std::string& identifier) {
    QV_ASSERT_MAIN_THREAD();
    auto board = registry().find(name_);
    if (board == registry().end()) return nullptr;
    auto scene = board->second.scenes.find(identifier);
    if (scene == board->second.scenes.end() || !scene->second) {
        NSLog("Storyboard (%@) doesn't contain a view controller with identifier '%@'", name_, identifier);
        return nullptr;
    }
    auto controller = scene->second();
    if (controller) controller->setStoryboard(self<UIStoryboard>());
    return controller;
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateInitialViewController() {
    QV_ASSERT_MAIN_THREAD();
    auto board = registry().find(name_);
    if (board == registry().end() || board->second.initial.empty()) {
        NSLog("Storyboard (%@) has no initial view controller", name_);
        return nullptr;
    }
    return instantiateViewControllerWithIdentifier(board->second.initial);
}
