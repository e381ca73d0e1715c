#pragma once
// What the activity indicator and refresh control extensions share: a view
// bound to one request's notifications, with "on" and "off" actions run
// asynchronously on the main queue while the view exists.
#include <functional>
#include <memory>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSObject.h"

namespace nl_detail {

template <class View>
using ViewAction = std::function<void(View&)>;

// Stops the view's following of the operation (or task) notifications.
void unbindOperation(const std::shared_ptr<NSObject>& view);
void unbindTask(const std::shared_ptr<NSObject>& view);
// Follows the operation's start (on) and finish (off).
void bindOperation(const std::shared_ptr<NSObject>& view, const std::shared_ptr<NSObject>& operation,
                   std::function<void()> on, std::function<void()> off);
// Follows the task's resume (on), suspend and completion (off).
void bindTask(const std::shared_ptr<NSObject>& view, const std::shared_ptr<NSObject>& task, std::function<void()> on,
              std::function<void()> off);

// An action on the view, run later on the main queue while the view exists.
template <class View>
std::function<void()> onMain(const std::shared_ptr<View>& view, ViewAction<View> action) {
    std::weak_ptr<View> weak = view;
    return [weak, action] {
        dispatch_async(dispatch_get_main_queue(), [weak, action] {
            if (auto v = weak.lock()) action(*v);
        });
    };
}

}  // namespace nl_detail
