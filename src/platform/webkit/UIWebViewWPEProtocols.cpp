// URL protocols for web pages (see UIWebViewWPEProtocols.h): the web-process
// extension of extension/ProtocolDiversionExtension.c diverts the requests a
// registered class may claim to the diversion scheme; each such request is
// answered here by an NSURLConnection on the main run loop, which asks the
// registered classes first (a claiming class answers; else the original URL
// is fetched unchanged and its answer passed through: status, MIME type,
// body). A request whose view goes away is dropped unanswered.
//
// The claimed names reach each web process when it starts (initialization
// user data) and again after every change of the registered classes (a user
// message to every web process of the context).
#include "platform/webkit/UIWebViewWPEProtocols.h"

#include <wpe/webkit.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/base/MainThread.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/net/NSURLConnection.h"
#include "platform/net/NSURLCredential.h"
#include "platform/net/NSURLProtocol.h"
#include "platform/security/SecTrust.h"
#include "platform/webkit/UIWebViewWPETrust.h"
#include "platform/webkit/extension/ProtocolDiversion.h"

namespace {

// The contexts the scheme is installed on (main thread; they live as long as the process).
std::vector<WebKitWebContext*>& contexts() {
    static ProcessLifetime<std::vector<WebKitWebContext*>> installed;
    return *installed;
}

GVariant* claimedNames() {
    GVariantBuilder names;
    g_variant_builder_init(&names, G_VARIANT_TYPE_STRING_ARRAY);
    for (const auto& name : NSURLProtocol::claimedLastPathComponents())
        g_variant_builder_add(&names, "s", name.c_str());
    return g_variant_builder_end(&names);
}

void initializeExtensions(WebKitWebContext* context, gpointer) {
    GVariantBuilder data;
    g_variant_builder_init(&data, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&data, "{sv}", QV_DIVERSION_CLAIMED_KEY, claimedNames());
    webkit_web_context_set_web_extensions_initialization_user_data(context, g_variant_builder_end(&data));
}

void sendClaimedNames() {
    QV_ASSERT_MAIN_THREAD();
    for (auto* context : contexts())
        webkit_web_context_send_message_to_all_extensions(
            context, webkit_user_message_new(QV_DIVERSION_CLAIMED_MESSAGE, claimedNames()));
}

bool isHTTP(const NSURL& url) {
    const auto& scheme = url.scheme();
    return scheme &&
           (g_ascii_strcasecmp(scheme->c_str(), "http") == 0 || g_ascii_strcasecmp(scheme->c_str(), "https") == 0);
}

// The request of the original URL behind a diverted URI, with the page's URL
// as its referer; null for a URI the extension would not have made (another
// page asking the scheme directly gets nothing the extension would not divert).
std::shared_ptr<NSURLRequest> originalRequest(const char* divertedURI) {
    GUri* uri = divertedURI ? g_uri_parse(divertedURI, G_URI_FLAGS_ENCODED_QUERY, nullptr) : nullptr;
    if (!uri) return nullptr;
    const char* query = g_uri_get_query(uri);
    GHashTable* params = query ? g_uri_parse_params(query, -1, "&", G_URI_PARAMS_NONE, nullptr) : nullptr;
    g_uri_unref(uri);
    if (!params) return nullptr;
    auto value = [&](const char* key) {
        auto* found = static_cast<const char*>(g_hash_table_lookup(params, key));
        return std::string(found ? found : "");
    };
    const std::string original = value("url"), referer = value("referer");
    g_hash_table_unref(params);
    auto url = NSURL::URLWithString(original);
    if (!url || !isHTTP(*url) || !NSURLProtocol::claimedLastPathComponents().count(url->lastPathComponent()))
        return nullptr;
    auto request = NSMutableURLRequest::requestWithURL(original);
    if (!referer.empty()) request->setValue(referer, "referer");
    return request;
}

void finishWithError(WebKitURISchemeRequest* request, int code, const std::string& message) {
    GError* error = g_error_new_literal(g_quark_from_static_string(QV_DIVERSION_SCHEME), code, message.c_str());
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
}

// One diverted request: its answer collected from a connection on the main
// run loop, then handed to the engine whole. Main thread only.
class SchemeLoad final : public NSURLConnectionDelegate, public std::enable_shared_from_this<SchemeLoad> {
public:
    SchemeLoad(WebKitURISchemeRequest* request, WebKitWebView* view)
        : request_(WEBKIT_URI_SCHEME_REQUEST(g_object_ref(request))), view_(view) {
        g_object_weak_ref(G_OBJECT(view_), &SchemeLoad::viewGone, this);
    }
    ~SchemeLoad() override { end(); }

    void start(const std::shared_ptr<NSURLRequest>& request) {
        connection_ = NSURLConnection::initWithRequest(request, shared_from_this(), false);
        connection_->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
        connection_->start();
    }

    bool respondsToWillSendRequestForAuthenticationChallenge() const override { return true; }
    void connectionWillSendRequestForAuthenticationChallenge(
        const NSURLConnectionPtr&, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override {
        // Servers of the hosts web views trust an authority for are trusted here too.
        auto sender = challenge->sender();
        const auto& space = challenge->protectionSpace();
        if (!sender) return;
        if (space->authenticationMethod() == NSURLAuthenticationMethodServerTrust && space->serverTrust()) {
            std::vector<Data> chain;
            for (long i = 0; i < SecTrustGetCertificateCount(space->serverTrust()); ++i)
                chain.push_back(SecCertificateCopyData(SecTrustGetCertificateAtIndex(space->serverTrust(), i)));
            if (UIWebViewWPETrust::acceptsServerChain(space->host(), space->port(), chain))
                return sender->useCredential(NSURLCredential::credentialForTrust(space->serverTrust()), challenge);
        }
        sender->performDefaultHandlingForAuthenticationChallenge(challenge);
    }
    void connectionDidReceiveResponse(const NSURLConnectionPtr&,
                                      const std::shared_ptr<NSURLResponse>& response) override {
        auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
        status_ = http ? static_cast<int>(http->statusCode()) : 200;
        contentType_ = response->MIMEType().value_or("application/octet-stream");
        if (response->textEncodingName()) contentType_ += "; charset=" + *response->textEncodingName();
        body_.clear();  // a new response starts the body again
    }
    void connectionDidReceiveData(const NSURLConnectionPtr&, const Data& data) override {
        body_.insert(body_.end(), data.begin(), data.end());
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr&) override {
        if (view_) finish();
        end();
    }
    void connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& error) override {
        if (view_) finishWithError(request_, static_cast<int>(error->code()), error->localizedDescription());
        end();
    }

private:
    static void viewGone(gpointer data, GObject*) {
        auto* load = static_cast<SchemeLoad*>(data);
        auto self = load->shared_from_this();  // the connection may hold the last reference
        load->view_ = nullptr;                 // gone: no weak reference to take back
        if (load->connection_) load->connection_->cancel();
        load->end();
    }

    void finish() {
        GBytes* bytes = g_bytes_new(body_.data(), body_.size());
        GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
        WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, static_cast<gint64>(body_.size()));
        webkit_uri_scheme_response_set_status(response, static_cast<guint>(status_), nullptr);
        webkit_uri_scheme_response_set_content_type(response, contentType_.c_str());
        webkit_uri_scheme_request_finish_with_response(request_, response);
        g_object_unref(response);
        g_object_unref(stream);
        g_bytes_unref(bytes);
    }

    // Lets go of the engine's objects and of the connection (which lets go of us).
    void end() {
        if (view_) g_object_weak_unref(G_OBJECT(view_), &SchemeLoad::viewGone, this);
        view_ = nullptr;
        g_clear_object(&request_);
        connection_.reset();
    }

    WebKitURISchemeRequest* request_;
    WebKitWebView* view_;  // null once the answer was given or the view went away
    NSURLConnectionPtr connection_;
    int status_ = 200;
    std::string contentType_ = "application/octet-stream";
    Data body_;
};

void answer(WebKitURISchemeRequest* request, gpointer) {
    QV_ASSERT_MAIN_THREAD();
    WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);
    auto original = originalRequest(webkit_uri_scheme_request_get_uri(request));
    if (!view || !original) return finishWithError(request, 0, "Not a request diverted to a URL protocol.");
    std::make_shared<SchemeLoad>(request, view)->start(original);
}

}  // namespace

void UIWebViewWPEProtocols::install(WebKitWebContext* context) {
    QV_ASSERT_MAIN_THREAD();
    webkit_web_context_set_web_extensions_directory(context, QUORVANE_WEB_EXTENSIONS_DIR);
    g_signal_connect(context, "initialize-web-extensions", G_CALLBACK(initializeExtensions), nullptr);
    webkit_web_context_register_uri_scheme(context, QV_DIVERSION_SCHEME, answer, nullptr, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    // Secure, so https pages run what it answers; CORS-enabled for pages that fetch it.
    webkit_security_manager_register_uri_scheme_as_secure(security, QV_DIVERSION_SCHEME);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, QV_DIVERSION_SCHEME);
    if (contexts().empty()) {
        NSURLProtocol::addRegistrationObserver([] {
            // At once on the main thread, so a page loaded right after a registration sees it.
            if (isProcessMainThread()) return sendClaimedNames();
            NSRunLoop::mainRunLoop()->performBlock(sendClaimedNames);
        });
    }
    contexts().push_back(context);
}
