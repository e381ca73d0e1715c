// Trust of the web engine over GIO's TLS database (see UIWebViewWPETrust.h).
#include "platform/webkit/UIWebViewWPETrust.h"

#include <gio/gio.h>
#include <wpe/webkit.h>

#include <map>
#include <memory>
#include <optional>

#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/webkit/UIWebView.h"
#include "platform/webkit/UIWebViewWPE.h"

namespace {

// The longest a load from text waits for the handshake that fetches its server's certificate.
constexpr guint kFetchSeconds = 5;

template <class T>
struct GObjectUnref {
    void operator()(T* object) const { g_object_unref(object); }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref<T>>;

// An authority and what was allowed because of it.
struct Authority {
    std::string path;
    GObjectPtr<GTlsDatabase> database;  // null when the file did not load: nothing verifies
    std::vector<std::pair<std::string, GObjectPtr<GTlsCertificate>>> allowed;  // host, certificate
};

// A handshake of our own fetching a server's certificate, and the loads waiting for it.
struct Fetch {
    std::string host;
    long port = 0;
    GObjectPtr<GTlsCertificate> certificate;  // as the server presented it (null: none came)
    std::vector<std::function<void()>> waiting;
    GObjectPtr<GCancellable> cancellable{g_cancellable_new()};
    guint timer = 0;
};

// Main thread only.
struct TrustedHosts {
    std::vector<std::shared_ptr<Authority>> authorities;
    std::map<std::string, std::shared_ptr<Authority>> byHost;
    std::map<std::string, GObjectPtr<GTlsCertificate>> known;  // host:port -> the certificate it presented
    std::map<std::string, std::shared_ptr<Fetch>> fetching;    // host:port
};

TrustedHosts& trusted() {
    static ProcessLifetime<TrustedHosts> hosts;
    return *hosts;
}

std::shared_ptr<Authority> authorityFor(const std::string& host) {
    auto& t = trusted();
    auto found = t.byHost.find(host);
    return found == t.byHost.end() ? nullptr : found->second;
}

bool verifies(Authority& authority, GTlsCertificate* chain, const std::string& host, long port) {
    if (!authority.database || !chain) return false;
    GObjectPtr<GSocketConnectable> identity(g_network_address_new(host.c_str(), static_cast<guint16>(port)));
    GError* error = nullptr;
    GTlsCertificateFlags flags = g_tls_database_verify_chain(authority.database.get(), chain,
                                                             G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER, identity.get(),
                                                             nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, &error);
    if (error) {
        NSLog("Web trust: the chain of %s could not be verified: %s", host.c_str(), error->message);
        g_error_free(error);
        return false;
    }
    return flags == 0;
}

// Host and port of an https URI (443 when it names none); with `httpsOnly`,
// none for another scheme.
std::optional<std::pair<std::string, long>> hostAndPort(const char* uri, bool httpsOnly = false) {
    GUri* parsed = uri ? g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr) : nullptr;
    if (!parsed) return std::nullopt;
    std::optional<std::pair<std::string, long>> out;
    const char* scheme = g_uri_get_scheme(parsed);
    const bool https = scheme && g_ascii_strcasecmp(scheme, "https") == 0;
    if (const char* host = g_uri_get_host(parsed); host && (https || !httpsOnly)) {
        const int port = g_uri_get_port(parsed);
        out.emplace(host, port > 0 ? port : 443);
    }
    g_uri_unref(parsed);
    return out;
}

bool alreadyAllowed(const Authority& authority, const std::string& host, GTlsCertificate* certificate) {
    for (const auto& [allowedHost, allowedCertificate] : authority.allowed)
        if (allowedHost == host && g_tls_certificate_is_same(allowedCertificate.get(), certificate)) return true;
    return false;
}

GObjectPtr<GTlsCertificate> held(GTlsCertificate* certificate) {
    return GObjectPtr<GTlsCertificate>(G_TLS_CERTIFICATE(g_object_ref(certificate)));
}

std::string keyOf(const std::string& host, long port) { return host + ":" + std::to_string(port); }

void allow(WebKitWebContext* context, Authority& authority, const std::string& host, GTlsCertificate* certificate) {
    webkit_web_context_allow_tls_certificate_for_host(context, certificate, host.c_str());
    authority.allowed.emplace_back(host, held(certificate));
}

// Allows a certificate verified for host:port for that host, and for every
// other host of the same authority it also verifies for (a page's
// sub-resources may come from those).
void allowVerified(WebKitWebContext* context, const std::shared_ptr<Authority>& authority, const std::string& host,
                   long port, GTlsCertificate* certificate) {
    allow(context, *authority, host, certificate);
    trusted().known[keyOf(host, port)] = held(certificate);
    for (const auto& [otherHost, otherAuthority] : trusted().byHost) {
        if (otherAuthority != authority || otherHost == host || alreadyAllowed(*authority, otherHost, certificate))
            continue;
        if (verifies(*authority, certificate, otherHost, port)) allow(context, *authority, otherHost, certificate);
    }
}

// A certificate met outside a main-frame load: allowed when it verifies for
// its host:port and was not allowed for that host yet.
void allowIfVerifies(WebKitWebContext* context, const std::string& host, long port, GTlsCertificate* certificate) {
    auto authority = authorityFor(host);
    if (!authority || alreadyAllowed(*authority, host, certificate)) return;
    if (verifies(*authority, certificate, host, port))
        allowVerified(context, authority, host, port, certificate);
    else
        NSLog("Web trust: the certificate of %s:%ld does not verify against its authority", host.c_str(), port);
}

// The handshake fetching a server's certificate. GIO's callbacks only record
// what the server presented; finishFetch judges it.
gboolean recordRefusedCertificate(GTlsConnection*, GTlsCertificate* certificate, GTlsCertificateFlags, gpointer data) {
    static_cast<Fetch*>(data)->certificate = held(certificate);
    return FALSE;  // judged against the authority once the handshake ended; nothing is sent over it
}

void recordHandshake(GSocketClient*, GSocketClientEvent event, GSocketConnectable*, GIOStream* connection,
                     gpointer data) {
    if (!G_IS_TLS_CONNECTION(connection)) return;
    auto* fetch = static_cast<Fetch*>(data);
    if (event == G_SOCKET_CLIENT_TLS_HANDSHAKING)
        g_signal_connect(connection, "accept-certificate", G_CALLBACK(recordRefusedCertificate), fetch);
    if (event == G_SOCKET_CLIENT_TLS_HANDSHAKED) {  // a chain the system trusts (and so does the engine)
        if (GTlsCertificate* peer = g_tls_connection_get_peer_certificate(G_TLS_CONNECTION(connection)))
            fetch->certificate = held(peer);
    }
}

void finishFetch(const std::shared_ptr<Fetch>& fetch) {
    if (fetch->timer) g_source_remove(fetch->timer);
    fetch->timer = 0;
    auto& t = trusted();
    const std::string key = keyOf(fetch->host, fetch->port);
    t.fetching.erase(key);
    if (fetch->certificate) {
        t.known[key] = held(fetch->certificate.get());
        allowIfVerifies(UIWebViewWPEContext::context(), fetch->host, fetch->port, fetch->certificate.get());
    }
    // The loads start from the run loop, never inside the engine context's dispatch.
    for (auto& then : fetch->waiting) NSRunLoop::mainRunLoop()->performBlock(std::move(then));
}

void fetched(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::shared_ptr<Fetch>> fetch(static_cast<std::shared_ptr<Fetch>*>(data));
    g_signal_handlers_disconnect_by_data(source, fetch->get());
    GError* error = nullptr;
    GSocketConnection* connection = g_socket_client_connect_to_uri_finish(G_SOCKET_CLIENT(source), result, &error);
    if (connection) g_object_unref(connection);  // only its certificate was wanted
    if (error) g_error_free(error);  // a refused certificate ends here too: what came was recorded
    finishFetch(*fetch);
}

void startFetch(const std::string& uri, const std::shared_ptr<Fetch>& fetch) {
    GObjectPtr<GSocketClient> client(g_socket_client_new());  // the connection under way holds it
    g_socket_client_set_tls(client.get(), TRUE);
    g_signal_connect(client.get(), "event", G_CALLBACK(recordHandshake), fetch.get());
    fetch->timer = g_timeout_add_seconds(
        kFetchSeconds,
        [](gpointer data) -> gboolean {
            auto* late = static_cast<Fetch*>(data);
            late->timer = 0;
            g_cancellable_cancel(late->cancellable.get());
            return G_SOURCE_REMOVE;
        },
        fetch.get());
    g_socket_client_connect_to_uri_async(client.get(), uri.c_str(), 443, fetch->cancellable.get(), &fetched,
                                         new std::shared_ptr<Fetch>(fetch));
}

// A chain of GIO certificates from DER, leaf first; null when one does not parse.
GObjectPtr<GTlsCertificate> chainOf(const std::vector<Data>& chainDER) {
    GType type = g_tls_backend_get_certificate_type(g_tls_backend_get_default());
    GObjectPtr<GTlsCertificate> issuer;
    for (auto it = chainDER.rbegin(); it != chainDER.rend(); ++it) {
        GByteArray* bytes = g_byte_array_sized_new(static_cast<guint>(it->size()));
        g_byte_array_append(bytes, it->data(), static_cast<guint>(it->size()));
        GError* error = nullptr;
        auto* certificate = static_cast<GTlsCertificate*>(
            g_initable_new(type, nullptr, &error, "certificate", bytes, "issuer", issuer.get(), nullptr));
        g_byte_array_unref(bytes);
        if (!certificate) {
            if (error) g_error_free(error);
            return nullptr;
        }
        issuer.reset(certificate);
    }
    return issuer;
}

}  // namespace

void UIWebView::trustCertificateAuthorityForHosts(const std::string& authorityPEMPath,
                                                  const std::vector<std::string>& hosts) {
    QV_ASSERT_MAIN_THREAD();
    auto& t = trusted();
    std::shared_ptr<Authority> authority;
    for (const auto& known : t.authorities)
        if (known->path == authorityPEMPath) authority = known;
    if (!authority) {
        authority = std::make_shared<Authority>();
        authority->path = authorityPEMPath;
        GError* error = nullptr;
        authority->database.reset(g_tls_file_database_new(authorityPEMPath.c_str(), &error));
        if (error) {
            NSLog("Web trust: the authority %s did not load: %s", authorityPEMPath.c_str(), error->message);
            g_error_free(error);
        }
        t.authorities.push_back(authority);
    }
    for (const auto& host : hosts) t.byHost[host] = authority;  // a host named again takes the later authority
}

bool UIWebViewWPETrust::allowAfterFailure(WebKitWebView* view, const char* failingURI, GTlsCertificate* certificate,
                                          unsigned) {
    QV_ASSERT_MAIN_THREAD();
    auto where = hostAndPort(failingURI);
    if (!view || !certificate || !where) return false;
    const auto& [host, port] = *where;
    auto authority = authorityFor(host);
    if (!authority || alreadyAllowed(*authority, host, certificate) || !verifies(*authority, certificate, host, port))
        return false;
    allowVerified(webkit_web_view_get_context(view), authority, host, port, certificate);
    return true;
}

bool UIWebViewWPETrust::fetchCertificateBeforeLoad(const std::string& baseURL, std::function<void()> then) {
    QV_ASSERT_MAIN_THREAD();
    auto where = hostAndPort(baseURL.c_str(), true);
    if (!where || !authorityFor(where->first)) return false;
    auto& t = trusted();
    const std::string key = keyOf(where->first, where->second);
    if (t.known.count(key)) return false;
    if (auto found = t.fetching.find(key); found != t.fetching.end()) {
        found->second->waiting.push_back(std::move(then));
        return true;
    }
    auto fetch = std::make_shared<Fetch>();
    fetch->host = where->first;
    fetch->port = where->second;
    fetch->waiting.push_back(std::move(then));
    t.fetching[key] = fetch;
    startFetch(baseURL, fetch);
    return true;
}

void UIWebViewWPETrust::allowAfterSubresourceFailure(WebKitWebContext* context, const char* failingURI,
                                                     GTlsCertificate* certificate) {
    QV_ASSERT_MAIN_THREAD();
    auto where = hostAndPort(failingURI);
    if (!context || !certificate || !where) return;
    trusted().known[keyOf(where->first, where->second)] = held(certificate);
    allowIfVerifies(context, where->first, where->second, certificate);
}

bool UIWebViewWPETrust::acceptsServerChain(const std::string& host, long port, const std::vector<Data>& chainDER) {
    QV_ASSERT_MAIN_THREAD();
    auto authority = authorityFor(host);
    if (!authority || chainDER.empty()) return false;
    auto chain = chainOf(chainDER);
    return chain && verifies(*authority, chain.get(), host, port);
}
