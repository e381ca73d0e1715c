#include "networking/UIWebViewNetline.h"

#include "networking/NLURLResponseSerialization.h"
#include "networking/NLViewOperationSlot.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/base/ThreadAssertions.h"

namespace {

const char kOperationKey = 0;
const char kRequestSerializerKey = 0;
const char kResponseSerializerKey = 0;

struct Defaults {
    std::shared_ptr<NLHTTPRequestSerializer> request = NLHTTPRequestSerializer::serializer();
    std::shared_ptr<NLHTTPResponseSerializer> response = NLHTTPResponseSerializer::serializer();
};

Defaults& defaults() {
    static ProcessLifetime<Defaults> shared;
    return *shared;
}

template <class T>
struct Box {
    std::shared_ptr<T> value;
};

// What to show from the body: the data, or nullopt with an error.
using Transform = std::function<std::optional<Data>(const std::shared_ptr<NSHTTPURLResponse>&, const Data&, NSErrorPtr*)>;

NSErrorPtr undecodableError(const std::shared_ptr<NSHTTPURLResponse>& response, const std::string& encodingName,
                            const char* what) {
    Value info = Value::dictionary();
    info.setObject(NSLocalizedDescriptionKey, Value(std::string("The page's text cannot be ") + what + " as " +
                                                    encodingName + "."));
    if (response) info.setObject(NSURLErrorFailingURLErrorKey, Value(response->URL()));
    return NSError::errorWithDomain(NLURLResponseSerializationErrorDomain, NLURLErrorCannotDecodeContentData, info);
}

void load(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NSURLRequest>& request,
          const std::optional<std::string>& MIMEType, const std::optional<std::string>& textEncodingName,
          NLWebViewProgressBlock progress, Transform transform, NLWebViewFailureBlock failure) {
    QV_ASSERT_MAIN_THREAD();
    if (!view || !request) return;
    nl_detail::cancelSlot(*view, &kOperationKey);
    NSErrorPtr serializationError;
    auto serialized = nl_requestSerializer(*view)->requestBySerializingRequest(request, Value(), &serializationError);
    if (!serialized) {
        if (failure) dispatch_async(dispatch_get_main_queue(), [failure, serializationError] { failure(serializationError); });
        return;
    }
    auto operation = NLHTTPRequestOperation::initWithRequest(serialized);
    operation->setResponseSerializer(nl_responseSerializer(*view));
    if (progress) operation->setDownloadProgressBlock(progress);
    nl_detail::setOperationInSlot(*view, &kOperationKey, operation);
    std::weak_ptr<UIWebView> weakView = view;
    // The view while this operation is still its current one.
    auto current = [weakView](const NLHTTPRequestOperation* op) -> std::shared_ptr<UIWebView> {
        auto v = weakView.lock();
        return v && nl_detail::operationInSlot(*v, &kOperationKey).get() == op ? v : nullptr;
    };
    operation->setCompletionBlockWithSuccess(
        [current, MIMEType, textEncodingName, transform, failure](const std::shared_ptr<NLHTTPRequestOperation>& op,
                                                                  const Value&) {
            if (!current(op.get())) return;
            auto response = op->response();
            NSErrorPtr shownError;
            std::optional<Data> shown = transform(response, op->responseData().value_or(Data()), &shownError);
            auto shownView = current(op.get());  // success may have replaced the load
            if (!shownView) return;
            if (!shown) {
                if (failure) failure(shownError);
                return;
            }
            std::string mime = MIMEType.value_or(response ? response->MIMEType().value_or("") : "");
            std::string encoding =
                textEncodingName.value_or(response ? response->textEncodingName().value_or("") : "");
            shownView->loadData(std::move(*shown), std::move(mime), std::move(encoding), response ? response->URL() : "");
        },
        [current, failure](const std::shared_ptr<NLHTTPRequestOperation>& op, const NSErrorPtr& error) {
            if (current(op.get()) && failure) failure(error);
        });
    operation->start();
}

}  // namespace

std::shared_ptr<NLHTTPRequestSerializer> nl_requestSerializer(const UIWebView& view) {
    auto box = view.associated<Box<NLHTTPRequestSerializer>>(&kRequestSerializerKey);
    return box && box->value ? box->value : defaults().request;
}

void nl_setRequestSerializer(UIWebView& view, std::shared_ptr<NLHTTPRequestSerializer> serializer) {
    view.setAssociatedObject(&kRequestSerializerKey,
                             std::make_shared<Box<NLHTTPRequestSerializer>>(Box<NLHTTPRequestSerializer>{std::move(serializer)}));
}

std::shared_ptr<NLHTTPResponseSerializer> nl_responseSerializer(const UIWebView& view) {
    auto box = view.associated<Box<NLHTTPResponseSerializer>>(&kResponseSerializerKey);
    return box && box->value ? box->value : defaults().response;
}

void nl_setResponseSerializer(UIWebView& view, std::shared_ptr<NLHTTPResponseSerializer> serializer) {
    view.setAssociatedObject(&kResponseSerializerKey, std::make_shared<Box<NLHTTPResponseSerializer>>(
                                                          Box<NLHTTPResponseSerializer>{std::move(serializer)}));
}

std::shared_ptr<NLHTTPRequestOperation> nl_HTTPRequestOperation(const UIWebView& view) {
    return nl_detail::operationInSlot(view, &kOperationKey);
}

void nl_loadRequest(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NSURLRequest>& request,
                    const std::optional<std::string>& MIMEType, const std::optional<std::string>& textEncodingName,
                    NLWebViewProgressBlock progress, NLWebViewDataSuccessBlock success, NLWebViewFailureBlock failure) {
    load(view, request, MIMEType, textEncodingName, std::move(progress),
         [success](const std::shared_ptr<NSHTTPURLResponse>& response, const Data& data,
                   NSErrorPtr*) -> std::optional<Data> { return success ? success(response, data) : data; },
         std::move(failure));
}

void nl_loadRequest(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NSURLRequest>& request,
                    NLWebViewProgressBlock progress, NLWebViewHTMLSuccessBlock success, NLWebViewFailureBlock failure) {
    auto transform = [success](const std::shared_ptr<NSHTTPURLResponse>& response, const Data& data,
                               NSErrorPtr* error) -> std::optional<Data> {
        const std::optional<std::string> name = response ? response->textEncodingName() : std::nullopt;
        std::optional<NSStringEncoding> encoding = name ? NSStringEncodingForIANACharSetName(*name) : std::nullopt;
        const NSStringEncoding used = encoding.value_or(NSUTF8StringEncoding);
        const std::string usedName = encoding ? *name : "UTF-8";
        auto text = stringWithData(data, used);
        if (!text) {
            *error = undecodableError(response, usedName, "decoded");
            return std::nullopt;
        }
        if (success) text = success(response, *text);
        auto encoded = dataUsingEncoding(*text, used);
        if (!encoded) *error = undecodableError(response, usedName, "encoded");
        return encoded;
    };
    load(view, request, std::nullopt, std::nullopt, std::move(progress), std::move(transform), std::move(failure));
}
