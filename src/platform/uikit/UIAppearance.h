#pragma once
// Appearance proxies: property values set for every instance of a class (and
// its subclasses). A set is recorded under the class and the property name; a
// view takes the recorded values, in the order they were set, when it first
// enters a window. A class may also read a recorded value to fill a property
// of its own that the instance never set.
//
// Main thread only.
#include <any>
#include <functional>
#include <optional>
#include <string>
#include <typeindex>

#include "platform/foundation/NSObject.h"

namespace appearance_detail {
void record(std::type_index type, const std::string& property, std::any value,
            std::function<bool(NSObject&, const std::any&)> apply);
std::optional<std::any> value(std::type_index type, const std::string& property);
}  // namespace appearance_detail

template <class T>
class UIAppearance {
public:
    // Records the value and how an instance of T takes it.
    template <class V>
    static void set(const std::string& property, V value, void (T::*setter)(V)) {
        appearance_detail::record(typeid(T), property, std::any(value), [setter](NSObject& object, const std::any& v) {
            auto* target = dynamic_cast<T*>(&object);
            if (!target) return false;
            (target->*setter)(std::any_cast<V>(v));
            return true;
        });
    }
    template <class V>
    static void set(const std::string& property, V value, std::function<void(T&, const V&)> apply) {
        appearance_detail::record(typeid(T), property, std::any(value), [apply](NSObject& object, const std::any& v) {
            auto* target = dynamic_cast<T*>(&object);
            if (!target) return false;
            apply(*target, std::any_cast<const V&>(v));
            return true;
        });
    }
    // The value recorded for T itself under the property, if any.
    template <class V>
    static std::optional<V> value(const std::string& property) {
        auto v = appearance_detail::value(typeid(T), property);
        if (!v) return std::nullopt;
        if (auto* typed = std::any_cast<V>(&*v)) return *typed;
        return std::nullopt;
    }
};

// Applies every recorded value whose class the object is an instance of.
void UIAppearanceApply(NSObject& object);
// Forgets every recorded value (tests).
void UIAppearanceReset();
