#pragma once
// Page messages no handler took, posted as notifications, and events sent to
// pages as calls of "ADNET_ReceiveMessage". The centre is the process-wide
// default notification centre.
//
// A message no handler took is posted only to observers of the web view that
// sent it (the object of the notification): a page cannot reach observers that
// listen to any sender. An event payload that cannot be written as JSON (or is
// no dictionary) goes as null, so the page still gets a call that parses.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Value.h"

class AKWebView;

namespace AKNotificationCenter {
inline constexpr const char* kJSFunctionName = "ADNET_ReceiveMessage";

std::shared_ptr<NSNotificationCenter> defaultCenter();
// postNotificationFromURL:object: (main thread).
void postNotificationFromURL(const std::string& URL, const std::shared_ptr<AKWebView>& webView);
// postNotificationFromURL:object:withDelay: (any thread; posts on the main thread).
void postNotificationFromURL(const std::string& URL, const std::shared_ptr<AKWebView>& webView, double delay);
// postJSNotification:userInfo:webView: builds the text at once and evaluates
// it on the main queue, in call order (any thread).
void postJSNotification(const std::string& name, const std::optional<Value>& userInfo,
                        const std::shared_ptr<AKWebView>& webView);
// JSCommandForNotificationName:userInfo:
std::string JSCommandForNotificationName(const std::string& name, const std::optional<Value>& userInfo);
}  // namespace AKNotificationCenter
