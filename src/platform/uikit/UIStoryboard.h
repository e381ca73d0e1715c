#pragma once
// Storyboards as C++ factories. A storyboard is a name with scenes, each scene
// a factory registered under its storyboard identifier that makes the scene's
// controller (the controller builds its views when they are first asked for,
// through the view factory the scene gives it). One scene may be marked as the
// initial one.
//
// `storyboardWithName` answers null with a console line for a name nothing was
// registered under; `instantiateViewControllerWithIdentifier` does the same for
// an unknown identifier. Every instantiation makes a new controller, whose
// `storyboard()` is the storyboard it came from.
//
// Registration happens once at start-up, on the main thread; lookups are main
// thread only as well.
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

class NSBundle;
class UIViewController;

class UIStoryboard : public NSObject {
public:
    using SceneFactory = std::function<std::shared_ptr<UIViewController>()>;

    // Registers (or replaces) a scene of the storyboard `name`.
    static void registerScene(const std::string& name, const std::string& identifier, SceneFactory factory);
    // Marks the scene that instantiateInitialViewController makes.
    static void setInitialScene(const std::string& name, const std::string& identifier);
    // Forgets a whole storyboard (tests that register their own clean up).
    static void unregisterStoryboard(const std::string& name);
    // Whether a scene is registered under the identifier (asks quietly: no console line).
    static bool hasScene(const std::string& name, const std::string& identifier);

    // The bundle is accepted for the caller's sake: every storyboard lives in
    // the one registry.
    static std::shared_ptr<UIStoryboard> storyboardWithName(const std::string& name,
                                                            const std::shared_ptr<NSBundle>& bundle);

    explicit UIStoryboard(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }

    std::shared_ptr<UIViewController> instantiateViewControllerWithIdentifier(const std::string& identifier);
    // The initial scene's controller, or null (with a console line) when none is marked.
    std::shared_ptr<UIViewController> instantiateInitialViewController();

    // Typed convenience: the scene's controller when it is a T, else null.
    template <class T>
    std::shared_ptr<T> instantiate(const std::string& identifier) {
        return std::dynamic_pointer_cast<T>(instantiateViewControllerWithIdentifier(identifier));
    }

private:
    std::string name_;
};
using UIStoryboardPtr = std::shared_ptr<UIStoryboard>;
