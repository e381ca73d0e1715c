#include "networking/UIAlertViewNetline.h"

#include "networking/NLHTTPRequestOperation.h"
#include "networking/NLLocalizedString.h"
#include "networking/NLSessionTaskNotifications.h"
#include "platform/foundation/NSNotificationCenter.h"

namespace {

const char* const kRecoverySuggestionKey = "NSLocalizedRecoverySuggestion";

std::string formatError(const NSError& error) {
    // "%@ Error: %ld" of the string table, filled in order.
    std::string format = NLLocalizedString("%@ Error: %ld");
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format.compare(i, 2, "%@") == 0) {
            out += error.domain();
            ++i;
        } else if (format.compare(i, 3, "%ld") == 0) {
            out += std::to_string(error.code());
            i += 2;
        } else {
            out += format[i];
        }
    }
    return out;
}

void showAlert(const NSError& error, const std::weak_ptr<UIAlertViewDelegate>& delegate,
               const std::optional<std::string>& cancelButtonTitle, const std::vector<std::string>& otherButtonTitles) {
    const Value& info = error.userInfo();
    const std::string description = error.localizedDescription();
    const Value suggestion = info[kRecoverySuggestionKey];
    const Value reason = info[NSLocalizedFailureReasonErrorKey];
    std::string title, message;
    if (!description.empty() && (suggestion.isString() || reason.isString())) {
        title = description;
        message = suggestion.isString() ? suggestion.stringValue() : reason.stringValue();
    } else {
        title = NLLocalizedString("Error");
        message = description.empty() ? formatError(error) : description;
    }
    std::vector<std::string> others;
    if (!otherButtonTitles.empty()) others.push_back(otherButtonTitles.front());
    UIAlertView::initWithTitle(title, message, delegate, cancelButtonTitle, others)->show();
}

// Watches one end of `object` once; `errorOf` finds the error to report.
void watchOnce(const char* name, const std::shared_ptr<NSObject>& object,
               std::function<NSErrorPtr(const NSNotification&)> errorOf, std::weak_ptr<UIAlertViewDelegate> delegate,
               std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles) {
    if (!object) return;
    auto registration = std::make_shared<std::shared_ptr<NSObject>>();
    auto center = NSNotificationCenter::defaultCenter();
    *registration = center->addObserverForName(
        name, object, dispatch_get_main_queue(),
        [registration, errorOf, delegate, cancelButtonTitle, otherButtonTitles](const NSNotification& note) {
            if (!*registration) return;  // a second end already queued
            NSNotificationCenter::defaultCenter()->removeObserver(registration->get());
            registration->reset();
            if (auto error = errorOf(note)) showAlert(*error, delegate, cancelButtonTitle, otherButtonTitles);
        });
}

}  // namespace

void nl_showAlertViewForRequestOperationWithErrorOnCompletion(const std::shared_ptr<NLURLConnectionOperation>& operation,
                                                              std::weak_ptr<UIAlertViewDelegate> delegate) {
    nl_showAlertViewForRequestOperationWithErrorOnCompletion(operation, std::move(delegate),
                                                             NLLocalizedString("Dismiss"), {});
}

void nl_showAlertViewForRequestOperationWithErrorOnCompletion(const std::shared_ptr<NLURLConnectionOperation>& operation,
                                                              std::weak_ptr<UIAlertViewDelegate> delegate,
                                                              std::optional<std::string> cancelButtonTitle,
                                                              std::vector<std::string> otherButtonTitles) {
    watchOnce(
        NLNetworkingOperationDidFinishNotification, operation,
        [](const NSNotification& note) -> NSErrorPtr {
            auto op = std::dynamic_pointer_cast<NLURLConnectionOperation>(note.object());
            if (!op) return nullptr;
            // An HTTP operation's response is validated when it is serialized, which
            // nothing may have asked for yet: ask, so that a 404 is an error here too.
            if (auto http = std::dynamic_pointer_cast<NLHTTPRequestOperation>(op)) (void)http->responseObject();
            return op->error();
        },
        std::move(delegate), std::move(cancelButtonTitle), std::move(otherButtonTitles));
}

void nl_showAlertViewForTaskWithErrorOnCompletion(const std::shared_ptr<NSURLSessionTask>& task,
                                                  std::weak_ptr<UIAlertViewDelegate> delegate) {
    nl_showAlertViewForTaskWithErrorOnCompletion(task, std::move(delegate), NLLocalizedString("Dismiss"), {});
}

void nl_showAlertViewForTaskWithErrorOnCompletion(const std::shared_ptr<NSURLSessionTask>& task,
                                                  std::weak_ptr<UIAlertViewDelegate> delegate,
                                                  std::optional<std::string> cancelButtonTitle,
                                                  std::vector<std::string> otherButtonTitles) {
    watchOnce(
        NLNetworkingTaskDidCompleteNotification, task,
        [](const NSNotification& note) -> NSErrorPtr {
            return note.userInfo()[NLNetworkingTaskDidCompleteErrorKeyForAlerts].objectAs<NSError>();
        },
        std::move(delegate), std::move(cancelButtonTitle), std::move(otherButtonTitles));
}
