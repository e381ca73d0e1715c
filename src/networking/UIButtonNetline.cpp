#include "networking/UIButtonNetline.h"

#include <mutex>

#include "networking/NLViewOperationSlot.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/base/ThreadAssertions.h"

namespace {

const char kImageSlots[4] = {};
const char kBackgroundSlots[4] = {};
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

std::size_t slotIndex(UIControlState state) {
    switch (state) {
        case UIControlStateHighlighted: return 1;
        case UIControlStateDisabled: return 2;
        case UIControlStateSelected: return 3;
        default: return 0;
    }
}

const void* imageSlot(UIControlState state) { return &kImageSlots[slotIndex(state)]; }
const void* backgroundSlot(UIControlState state) { return &kBackgroundSlots[slotIndex(state)]; }

using nl_detail::operationInSlot;
using nl_detail::setOperationInSlot;

struct Load {
    UIControlState state;
    const void* slot;
    bool background;
};

void setButtonImage(UIButton& button, const Load& load, const UIImagePtr& image) {
    if (load.background) button.setBackgroundImage(image, load.state);
    else button.setImage(image, load.state);
}

void load(const std::shared_ptr<UIButton>& button, const Load& load, const std::shared_ptr<NSURLRequest>& request,
          const UIImagePtr& placeholder, NLImageSuccessBlock success, NLButtonFailureBlock failure) {
    QV_ASSERT_MAIN_THREAD();
    if (!button || !request) return;
    nl_detail::cancelSlot(*button, load.slot);
    auto cache = nl_buttonSharedImageCache();
    if (auto cached = cache ? cache->cachedImageForRequest(*request) : nullptr) {
        if (success) success(nullptr, nullptr, cached);
        else setButtonImage(*button, load, cached);
        return;
    }
    if (placeholder) setButtonImage(*button, load, placeholder);

    auto operation = NLHTTPRequestOperation::initWithRequest(request);
    operation->setResponseSerializer(nl_imageResponseSerializer(*button));
    setOperationInSlot(*button, load.slot, operation);
    std::weak_ptr<UIButton> weakButton = button;
    // The button while the slot still holds this operation (the slot is then emptied).
    auto takeSlot = [weakButton, load](const NLHTTPRequestOperation* op) -> std::shared_ptr<UIButton> {
        auto b = weakButton.lock();
        if (!b || operationInSlot(*b, load.slot).get() != op) return nullptr;
        setOperationInSlot(*b, load.slot, nullptr);
        return b;
    };
    operation->setCompletionBlockWithSuccess(
        [takeSlot, load, request, success, cache](const std::shared_ptr<NLHTTPRequestOperation>& op,
                                                  const Value& object) {
            auto image = object.objectAs<UIImage>();
            if (auto b = takeSlot(op.get())) {
                if (success) success(op->request(), op->response(), image);
                else if (image) setButtonImage(*b, load, image);
            }
            if (!load.background && cache) cache->cacheImage(image, request);
        },
        [takeSlot, failure](const std::shared_ptr<NLHTTPRequestOperation>& op, const NSErrorPtr& error) {
            if (takeSlot(op.get()) && failure) failure(error);
        });
    shared().queue->addOperation(operation);
}

}  // namespace

std::shared_ptr<NLImageCache> nl_buttonSharedImageCache() {
    {
        std::lock_guard lock(shared().mutex);
        if (shared().cache) return shared().cache;
    }
    return nl_imageViewSharedImageCache();
}

void nl_setButtonSharedImageCache(std::shared_ptr<NLImageCache> cache) {
    std::lock_guard lock(shared().mutex);
    shared().cache = std::move(cache);
}

std::shared_ptr<NSOperationQueue> nl_buttonSharedImageRequestOperationQueue() { return shared().queue; }

std::shared_ptr<NLHTTPResponseSerializer> nl_imageResponseSerializer(const UIButton& button) {
    auto box = button.associated<SerializerBox>(&kSerializerKey);
    return box && box->serializer ? box->serializer : shared().defaultSerializer;
}

void nl_setImageResponseSerializer(UIButton& button, std::shared_ptr<NLHTTPResponseSerializer> serializer) {
    button.setAssociatedObject(&kSerializerKey, std::make_shared<SerializerBox>(SerializerBox{std::move(serializer)}));
}

void nl_setImageForState(const std::shared_ptr<UIButton>& button, UIControlState state, const std::string& url,
                         const UIImagePtr& placeholder) {
    nl_setImageForState(button, state, nl_detail::imageRequest(url), placeholder, nullptr, nullptr);
}

void nl_setImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                         const std::shared_ptr<NSURLRequest>& request, const UIImagePtr& placeholder,
                         NLImageSuccessBlock success, NLButtonFailureBlock failure) {
    load(button, Load{state, imageSlot(state), false}, request, placeholder, std::move(success), std::move(failure));
}

void nl_setBackgroundImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                                   const std::string& url, const UIImagePtr& placeholder) {
    nl_setBackgroundImageForState(button, state, nl_detail::imageRequest(url), placeholder, nullptr, nullptr);
}

void nl_setBackgroundImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                                   const std::shared_ptr<NSURLRequest>& request, const UIImagePtr& placeholder,
                                   NLImageSuccessBlock success, NLButtonFailureBlock failure) {
    load(button, Load{state, backgroundSlot(state), true}, request, placeholder, std::move(success),
         std::move(failure));
}

void nl_cancelImageRequestOperationForState(UIButton& button, UIControlState state) {
    nl_detail::cancelSlot(button, imageSlot(state));
}

void nl_cancelBackgroundImageRequestOperationForState(UIButton& button, UIControlState state) {
    nl_detail::cancelSlot(button, backgroundSlot(state));
}

std::shared_ptr<NLHTTPRequestOperation> nl_imageRequestOperationForState(const UIButton& button, UIControlState state) {
    return operationInSlot(button, imageSlot(state));
}

std::shared_ptr<NLHTTPRequestOperation> nl_backgroundImageRequestOperationForState(const UIButton& button,
                                                                                   UIControlState state) {
    return operationInSlot(button, backgroundSlot(state));
}
