#pragma once
// Connecting a scene's views to its controller: an outlet is a weak field of
// the controller, and the view it names carries the outlet's name as its
// accessibility identifier (tests and the device screen find it by that name).
#include <memory>
#include <string>

#include "platform/uikit/UIView.h"

// Adds the view to the parent, connects the outlet and names the view; answers the view.
template <class V>
std::shared_ptr<V> connectOutlet(const std::shared_ptr<UIView>& parent, std::weak_ptr<V>& outlet,
                                 std::shared_ptr<V> view, const std::string& name) {
    view->setAccessibilityIdentifier(name);
    if (parent) parent->addSubview(view);
    outlet = view;
    return view;
}
