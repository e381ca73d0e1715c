#pragma once
// A refresh control that follows a request: refreshing while it runs. Each
// binding call replaces the control's earlier binding; begin and end happen
// asynchronously on the main queue, and a control that went away is left
// alone.
//
// Operation form: as the activity indicator's (a finished or null operation
// changes nothing and is not followed). Task form: a running task begins
// refreshing and is followed (resume begins, suspend and completion end); a
// task in any other state ends refreshing and is not followed. Main thread.
#include <memory>

#include "networking/NLURLConnectionOperation.h"
#include "platform/net/NSURLSessionTask.h"
#include "platform/uikit/UIRefreshControl.h"

void nl_setRefreshingWithStateOfOperation(const std::shared_ptr<UIRefreshControl>& control,
                                          const std::shared_ptr<NLURLConnectionOperation>& operation);
void nl_setRefreshingWithStateOfTask(const std::shared_ptr<UIRefreshControl>& control,
                                     const std::shared_ptr<NSURLSessionTask>& task);
