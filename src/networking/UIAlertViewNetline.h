#pragma once
// Alerts that report a request's error once it ends: the alert shows when the
// operation finishes (or the task completes) with an error, and nothing is
// shown otherwise; the watch ends after that first end either way. Title and
// message: with a recovery suggestion or failure reason, the description is
// the title and the suggestion (else the reason) the message; otherwise the
// title is "Error" and the message the description (or "<domain> Error:
// <code>" without one). Texts from the string table "Netline". The cancel
// button reads "Dismiss" unless given; only the first other title is used.
// Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "networking/NLURLConnectionOperation.h"
#include "platform/net/NSURLSessionTask.h"
#include "platform/uikit/UIAlertView.h"

// The session manager's completion user-info key holding the task's error.
inline constexpr const char* NLNetworkingTaskDidCompleteErrorKeyForAlerts = "com.netline.networking.task.complete.error";

void nl_showAlertViewForRequestOperationWithErrorOnCompletion(const std::shared_ptr<NLURLConnectionOperation>& operation,
                                                              std::weak_ptr<UIAlertViewDelegate> delegate);
void nl_showAlertViewForRequestOperationWithErrorOnCompletion(const std::shared_ptr<NLURLConnectionOperation>& operation,
                                                              std::weak_ptr<UIAlertViewDelegate> delegate,
                                                              std::optional<std::string> cancelButtonTitle,
                                                              std::vector<std::string> otherButtonTitles);
void nl_showAlertViewForTaskWithErrorOnCompletion(const std::shared_ptr<NSURLSessionTask>& task,
                                                  std::weak_ptr<UIAlertViewDelegate> delegate);
void nl_showAlertViewForTaskWithErrorOnCompletion(const std::shared_ptr<NSURLSessionTask>& task,
                                                  std::weak_ptr<UIAlertViewDelegate> delegate,
                                                  std::optional<std::string> cancelButtonTitle,
                                                  std::vector<std::string> otherButtonTitles);
