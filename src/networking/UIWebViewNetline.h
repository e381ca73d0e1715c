#pragma once
// A web view that loads its content through an HTTP request operation and
// shows it with loadData:MIMEType:textEncodingName:baseURL: (the response's
// MIME type and encoding name unless given, the response's URL as base).
//
// A load cancels the view's current one; an operation that was replaced (or
// whose view went away) shows nothing and calls nothing. The request goes
// through the view's request serializer, the response through its response
// serializer (NLHTTPRequestSerializer / NLHTTPResponseSerializer unless set).
// The operation starts at once, without a queue.
//
// The data form hands success the response and the body and shows what it
// returns. The text form decodes the body in the response's charset (UTF-8
// when none is named or the name is unknown), hands success the text, and
// shows what it returns encoded back in that charset; a body that does not
// decode (or a result that does not encode) fails with -1016 of
// "com.netline.error.serialization.response" and shows nothing. Main thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "networking/NLHTTPRequestOperation.h"
#include "networking/NLURLRequestSerialization.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/webkit/UIWebView.h"

using NLWebViewProgressBlock = NLURLConnectionOperation::ProgressBlock;
using NLWebViewDataSuccessBlock =
    std::function<Data(const std::shared_ptr<NSHTTPURLResponse>& response, const Data& data)>;
using NLWebViewHTMLSuccessBlock =
    std::function<std::string(const std::shared_ptr<NSHTTPURLResponse>& response, const std::string& HTML)>;
using NLWebViewFailureBlock = std::function<void(const NSErrorPtr& error)>;

std::shared_ptr<NLHTTPRequestSerializer> nl_requestSerializer(const UIWebView& view);
void nl_setRequestSerializer(UIWebView& view, std::shared_ptr<NLHTTPRequestSerializer> serializer);
std::shared_ptr<NLHTTPResponseSerializer> nl_responseSerializer(const UIWebView& view);
void nl_setResponseSerializer(UIWebView& view, std::shared_ptr<NLHTTPResponseSerializer> serializer);
std::shared_ptr<NLHTTPRequestOperation> nl_HTTPRequestOperation(const UIWebView& view);

void nl_loadRequest(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NSURLRequest>& request,
                    NLWebViewProgressBlock progress, NLWebViewHTMLSuccessBlock success, NLWebViewFailureBlock failure);
void nl_loadRequest(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NSURLRequest>& request,
                    const std::optional<std::string>& MIMEType, const std::optional<std::string>& textEncodingName,
                    NLWebViewProgressBlock progress, NLWebViewDataSuccessBlock success, NLWebViewFailureBlock failure);
