#pragma once
// An activity indicator that follows a request: animating while it runs,
// stopped otherwise. Each binding call replaces the indicator's earlier
// binding. Start and stop happen asynchronously on the main queue; the
// indicator is held weakly, and one that went away is left alone.
//
// Operation form: a finished (or null) operation leaves the indicator as it
// is and unbound; otherwise it animates when the operation is executing, else
// stops, and then follows the operation's start and finish notifications.
// Task form: the same with a task that is not completed (running animates),
// following the session manager's resume, suspend and complete notifications
// for that task. Main thread.
#include <memory>

#include "networking/NLURLConnectionOperation.h"
#include "platform/net/NSURLSessionTask.h"
#include "platform/uikit/UIActivityIndicatorView.h"

void nl_setAnimatingWithStateOfOperation(const std::shared_ptr<UIActivityIndicatorView>& indicator,
                                         const std::shared_ptr<NLURLConnectionOperation>& operation);
void nl_setAnimatingWithStateOfTask(const std::shared_ptr<UIActivityIndicatorView>& indicator,
                                    const std::shared_ptr<NSURLSessionTask>& task);
