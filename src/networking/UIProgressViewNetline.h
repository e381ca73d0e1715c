#pragma once
// A progress view bound to a request's upload or download progress: the
// fraction done (bytes so far over bytes expected, set asynchronously on the
// main queue with the animated flag given), left alone while the expected
// count is unknown or 0.
//
// Operation forms chain onto the operation's progress callback (the earlier
// one still runs first). Task forms observe the task's byte counts and end
// the observation when the task completes, when the view goes away or when
// the same direction is bound again. The view is held weakly. Main thread.
#include <memory>

#include "networking/NLURLConnectionOperation.h"
#include "platform/net/NSURLSessionTask.h"
#include "platform/uikit/UIProgressView.h"

void nl_setProgressWithUploadProgressOfOperation(const std::shared_ptr<UIProgressView>& view,
                                                 const std::shared_ptr<NLURLConnectionOperation>& operation,
                                                 bool animated);
void nl_setProgressWithDownloadProgressOfOperation(const std::shared_ptr<UIProgressView>& view,
                                                   const std::shared_ptr<NLURLConnectionOperation>& operation,
                                                   bool animated);
void nl_setProgressWithUploadProgressOfTask(const std::shared_ptr<UIProgressView>& view,
                                            const std::shared_ptr<NSURLSessionTask>& task, bool animated);
void nl_setProgressWithDownloadProgressOfTask(const std::shared_ptr<UIProgressView>& view,
                                              const std::shared_ptr<NSURLSessionTask>& task, bool animated);

// The animated flags the last task bindings asked for (NO when none).
bool nl_uploadProgressAnimated(const UIProgressView& view);
bool nl_downloadProgressAnimated(const UIProgressView& view);
// Whether a task binding of that direction is still observing.
bool nl_isObservingUploadProgress(const UIProgressView& view);
bool nl_isObservingDownloadProgress(const UIProgressView& view);
