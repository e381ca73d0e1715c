#include "networking/UIImageViewNetline.h"

#include <mutex>

#include "networking/NLViewOperationSlot.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/base/ThreadAssertions.h"

namespace {

const char kOperationKey = 0;
const char kSerializerKey = 0;

struct SharedState {
    std::mutex mutex;
    std::shared_ptr<NLImageCache> cache;
    std::shared_ptr<NSOperationQueue> queue = std::make_shared<NSOperationQueue>();
    std::shared_ptr<NLHTTPResponseSerializer> defaultSerializer = NLImageResponseSerializer::serializer();
};

SharedState& shared() {
    static ProcessLifetime<SharedState> state;
    return *state;
}

struct SerializerBox {
    std::shared_ptr<NLHTTPResponseSerializer> serializer;
};

using nl_detail::operationInSlot;
using nl_detail::setOperationInSlot;

// Whether the operation is still the view's current load.
bool isCurrent(const std::weak_ptr<UIImageView>& weakView, const NLHTTPRequestOperation* operation) {
    auto view = weakView.lock();
    return view && operationInSlot(*view, &kOperationKey).get() == operation;
}

}  // namespace

std::shared_ptr<NLImageCache> nl_imageViewSharedImageCache() {
    {
        std::lock_guard lock(shared().mutex);
        if (shared().cache) return shared().cache;
    }
    return NLImageCache::defaultCache();
}

void nl_setImageViewSharedImageCache(std::shared_ptr<NLImageCache> cache) {
    std::lock_guard lock(shared().mutex);
    shared().cache = std::move(cache);
}

std::shared_ptr<NSOperationQueue> nl_imageViewSharedImageRequestOperationQueue() { return shared().queue; }

std::shared_ptr<NLHTTPResponseSerializer> nl_imageResponseSerializer(const UIImageView& view) {
    auto box = view.associated<SerializerBox>(&kSerializerKey);
    return box && box->serializer ? box->serializer : shared().defaultSerializer;
}

void nl_setImageResponseSerializer(UIImageView& view, std::shared_ptr<NLHTTPResponseSerializer> serializer) {
    view.setAssociatedObject(&kSerializerKey, std::make_shared<SerializerBox>(SerializerBox{std::move(serializer)}));
}

std::shared_ptr<NLHTTPRequestOperation> nl_imageRequestOperation(const UIImageView& view) {
    return operationInSlot(view, &kOperationKey);
}

void nl_cancelImageRequestOperation(UIImageView& view) { nl_detail::cancelSlot(view, &kOperationKey); }

void nl_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::string& url) {
    nl_setImageWithURL(view, url, nullptr);
}

void nl_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::string& url,
                        const UIImagePtr& placeholder) {
    nl_setImageWithURLRequest(view, nl_detail::imageRequest(url), placeholder, nullptr, nullptr);
}

void nl_setImageWithURLRequest(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURLRequest>& request,
                               const UIImagePtr& placeholder, NLImageSuccessBlock success,
                               NLImageViewFailureBlock failure) {
    QV_ASSERT_MAIN_THREAD();
    if (!view || !request) return;
    nl_cancelImageRequestOperation(*view);
    auto cache = nl_imageViewSharedImageCache();
    if (auto cached = cache ? cache->cachedImageForRequest(*request) : nullptr) {
        if (success) success(nullptr, nullptr, cached);
        else view->setImage(cached);
        return;
    }
    if (placeholder) view->setImage(placeholder);

    auto operation = NLHTTPRequestOperation::initWithRequest(request);
    operation->setResponseSerializer(nl_imageResponseSerializer(*view));
    setOperationInSlot(*view, &kOperationKey, operation);
    std::weak_ptr<UIImageView> weakView = view;
    operation->setCompletionBlockWithSuccess(
        [weakView, request, success, cache](const std::shared_ptr<NLHTTPRequestOperation>& op, const Value& object) {
            auto image = object.objectAs<UIImage>();
            if (isCurrent(weakView, op.get())) {
                auto shownView = weakView.lock();
                if (success) success(request, op->response(), image);
                else if (image) shownView->setImage(image);
                if (operationInSlot(*shownView, &kOperationKey) == op) setOperationInSlot(*shownView, &kOperationKey, nullptr);
            }
            if (cache) cache->cacheImage(image, request);
        },
        [weakView, request, failure](const std::shared_ptr<NLHTTPRequestOperation>& op, const NSErrorPtr& error) {
            if (!isCurrent(weakView, op.get())) return;
            auto shownView = weakView.lock();
            if (failure) failure(request, op->response(), error);
            if (operationInSlot(*shownView, &kOperationKey) == op) setOperationInSlot(*shownView, &kOperationKey, nullptr);
        });
    shared().queue->addOperation(operation);
}
