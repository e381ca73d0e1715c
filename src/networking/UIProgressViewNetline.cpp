#include "networking/UIProgressViewNetline.h"

#include "platform/dispatch/Dispatch.h"
#include "platform/base/ThreadAssertions.h"

namespace {

const char kUploadKey = 0;
const char kDownloadKey = 0;

// A task binding: the observations of the task, kept on the view, so they end
// with the view; they also end when the task completes.
struct TaskBinding {
    bool animated = false;
    std::weak_ptr<NSURLSessionTask> task;
    ObservationToken state;
    ObservationToken bytes;
    bool observing() const { return state.connected() || bytes.connected(); }
};

void setFraction(const std::weak_ptr<UIProgressView>& weakView, std::int64_t done, std::int64_t expected,
                 bool animated) {
    if (expected < 1) return;  // unknown or empty: nothing to show
    const float fraction = static_cast<float>(done) / static_cast<float>(expected);
    dispatch_async(dispatch_get_main_queue(), [weakView, fraction, animated] {
        if (auto view = weakView.lock()) view->setProgress(fraction, animated);
    });
}

void bindOperation(const std::shared_ptr<UIProgressView>& view,
                   const std::shared_ptr<NLURLConnectionOperation>& operation, bool animated, bool upload) {
    QV_ASSERT_MAIN_THREAD();
    if (!view || !operation) return;
    auto earlier = upload ? operation->uploadProgressBlock() : operation->downloadProgressBlock();
    std::weak_ptr<UIProgressView> weakView = view;
    auto block = [earlier, weakView, animated](std::uint64_t bytes, std::int64_t total, std::int64_t expected) {
        if (earlier) earlier(bytes, total, expected);
        setFraction(weakView, total, expected, animated);
    };
    if (upload) operation->setUploadProgressBlock(block);
    else operation->setDownloadProgressBlock(block);
}

void bindTask(const std::shared_ptr<UIProgressView>& view, const std::shared_ptr<NSURLSessionTask>& task,
              bool animated, bool upload) {
    QV_ASSERT_MAIN_THREAD();
    if (!view) return;
    const void* key = upload ? &kUploadKey : &kDownloadKey;
    view->setAssociatedObject(key, nullptr);  // ends the earlier binding of this direction
    auto binding = std::make_shared<TaskBinding>();
    binding->animated = animated;
    view->setAssociatedObject(key, binding);
    if (!task) return;
    binding->task = task;
    std::weak_ptr<UIProgressView> weakView = view;
    std::weak_ptr<TaskBinding> weakBinding = binding;
    std::weak_ptr<NSURLSessionTask> weakTask = task;
    binding->bytes = task->observeValueForKey(upload ? "countOfBytesSent" : "countOfBytesReceived",
                                              [weakView, weakTask, animated, upload](const std::string&) {
                                                  auto t = weakTask.lock();
                                                  if (!t) return;
                                                  if (upload)
                                                      setFraction(weakView, t->countOfBytesSent(),
                                                                  t->countOfBytesExpectedToSend(), animated);
                                                  else
                                                      setFraction(weakView, t->countOfBytesReceived(),
                                                                  t->countOfBytesExpectedToReceive(), animated);
                                              });
    binding->state = task->observeValueForKey("state", [weakBinding, weakTask](const std::string&) {
        auto t = weakTask.lock();
        if (!t || t->state() != NSURLSessionTaskStateCompleted) return;
        // Disconnected on the main queue: this observer is running inside the task's notification.
        dispatch_async(dispatch_get_main_queue(), [weakBinding] {
            if (auto b = weakBinding.lock()) {
                b->state.disconnect();
                b->bytes.disconnect();
            }
        });
    });
}

std::shared_ptr<TaskBinding> bindingOf(const UIProgressView& view, const void* key) {
    return view.associated<TaskBinding>(key);
}

}  // namespace

void nl_setProgressWithUploadProgressOfOperation(const std::shared_ptr<UIProgressView>& view,
                                                 const std::shared_ptr<NLURLConnectionOperation>& operation,
                                                 bool animated) {
    bindOperation(view, operation, animated, true);
}

void nl_setProgressWithDownloadProgressOfOperation(const std::shared_ptr<UIProgressView>& view,
                                                   const std::shared_ptr<NLURLConnectionOperation>& operation,
                                                   bool animated) {
    bindOperation(view, operation, animated, false);
}

void nl_setProgressWithUploadProgressOfTask(const std::shared_ptr<UIProgressView>& view,
                                            const std::shared_ptr<NSURLSessionTask>& task, bool animated) {
    bindTask(view, task, animated, true);
}

void nl_setProgressWithDownloadProgressOfTask(const std::shared_ptr<UIProgressView>& view,
                                              const std::shared_ptr<NSURLSessionTask>& task, bool animated) {
    bindTask(view, task, animated, false);
}

bool nl_uploadProgressAnimated(const UIProgressView& view) {
    auto b = bindingOf(view, &kUploadKey);
    return b && b->animated;
}

bool nl_downloadProgressAnimated(const UIProgressView& view) {
    auto b = bindingOf(view, &kDownloadKey);
    return b && b->animated;
}

bool nl_isObservingUploadProgress(const UIProgressView& view) {
    auto b = bindingOf(view, &kUploadKey);
    return b && b->observing();
}

bool nl_isObservingDownloadProgress(const UIProgressView& view) {
    auto b = bindingOf(view, &kDownloadKey);
    return b && b->observing();
}
