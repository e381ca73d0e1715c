#pragma once
// A view's current request operation, kept as an associated object under a
// key of the extension's own (main thread).
#include <memory>

#include "networking/NLHTTPRequestOperation.h"
#include "platform/foundation/NSObject.h"

namespace nl_detail {

struct OperationBox {
    std::shared_ptr<NLHTTPRequestOperation> operation;
};

inline std::shared_ptr<NLHTTPRequestOperation> operationInSlot(const NSObject& view, const void* key) {
    auto box = view.associated<OperationBox>(key);
    return box ? box->operation : nullptr;
}

inline void setOperationInSlot(NSObject& view, const void* key, std::shared_ptr<NLHTTPRequestOperation> operation) {
    view.setAssociatedObject(key, operation ? std::make_shared<OperationBox>(OperationBox{std::move(operation)}) : nullptr);
}

// Cancels the slot's operation and empties the slot.
inline void cancelSlot(NSObject& view, const void* key) {
    if (auto operation = operationInSlot(view, key)) operation->cancel();
    setOperationInSlot(view, key, nullptr);
}

// A GET for the URL that accepts images.
inline std::shared_ptr<NSURLRequest> imageRequest(const std::string& url) {
    auto request = NSMutableURLRequest::requestWithURL(url);
    request->addValue("image/*", "Accept");
    return request;
}

}  // namespace nl_detail
