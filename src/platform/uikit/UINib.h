#pragma once
// Interface files as C++ factories. A factory is registered under the file's
// name; it builds the file's top-level objects (views and their subviews),
// connects outlets to the owner it is given (weakly) and sets each outlet
// view's accessibilityIdentifier to the outlet's name; with a null owner (cells
// a list makes from the file) it connects only the file's own objects, such as
// a cell's outlets to its subviews. `nibWithNibName` looks
// the name up at once: an unknown name logs and answers null.
// `instantiateWithOwner` runs the factory each time (a fresh tree per call) and
// then tells each top-level list cell awakeFromNib.
//
// Registration happens once at start-up, on the main thread; lookups are main
// thread only as well.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSBundle;

class UINib : public NSObject {
public:
    using Objects = std::vector<std::shared_ptr<NSObject>>;
    using Factory = std::function<Objects(const std::shared_ptr<NSObject>& owner)>;

    // Registers (or replaces) the factory of the interface file `name`.
    static void registerNibFactory(const std::string& name, Factory factory);
    // Forgets a registration (tests that register their own files clean up).
    static void unregisterNibFactory(const std::string& name);
    static bool hasNibNamed(const std::string& name);

    // The bundle is accepted for the caller's sake: every file lives in the one
    // registry.
    static std::shared_ptr<UINib> nibWithNibName(const std::string& name, const std::shared_ptr<NSBundle>& bundle);

    UINib(std::string name, Factory factory) : name_(std::move(name)), factory_(std::move(factory)) {}

    const std::string& name() const { return name_; }
    // The top-level objects, newly built, outlets connected to the owner.
    Objects instantiateWithOwner(const std::shared_ptr<NSObject>& owner) const;

    // The first top-level object of type T, or null.
    template <class T>
    std::shared_ptr<T> instantiateFirst(const std::shared_ptr<NSObject>& owner) const {
        for (auto& object : instantiateWithOwner(owner))
            if (auto t = std::dynamic_pointer_cast<T>(object)) return t;
        return nullptr;
    }

private:
    std::string name_;
    Factory factory_;
};
using UINibPtr = std::shared_ptr<UINib>;
