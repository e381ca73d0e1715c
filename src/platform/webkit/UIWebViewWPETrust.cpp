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
#include "platform/webkit/UIWebView.h"

namespace {

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

// Main thread only.
struct TrustedHosts {
    std::vector<std::shared_ptr<Authority>> authorities;
    std::map<std::string, std::shared_ptr<Authority>> byHost;
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

// Host and port of an https URI (443 when it names none).
std::optional<std::pair<std::string, long>> hostAndPort(const char* uri) {
    GUri* parsed = uri ? g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr) : nullptr;
    if (!parsed) return std::nullopt;
    std::optional<std::pair<std::string, long>> out;
    if (const char* host = g_uri_get_host(parsed)) {
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

void allow(WebKitWebContext* context, Authority& authority, const std::string& host, GTlsCertificate* certificate) {
    webkit_web_context_allow_tls_certificate_for_host(context, certificate, host.c_str());
    authority.allowed.emplace_back(host, GObjectPtr<GTlsCertificate>(G_TLS_CERTIFICATE(g_object_ref(certificate))));
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
    WebKitWebContext* context = webkit_web_view_get_context(view);
    allow(context, *authority, host, certificate);
    // The other hosts of that authority the same certificate serves, for the page's sub-resources.
    for (const auto& [otherHost, otherAuthority] : trusted().byHost) {
        if (otherAuthority != authority || otherHost == host || alreadyAllowed(*authority, otherHost, certificate))
            continue;
        if (verifies(*authority, certificate, otherHost, port)) allow(context, *authority, otherHost, certificate);
    }
    return true;
}

bool UIWebViewWPETrust::acceptsServerChain(const std::string& host, long port, const std::vector<Data>& chainDER) {
    QV_ASSERT_MAIN_THREAD();
    auto authority = authorityFor(host);
    if (!authority || chainDER.empty()) return false;
    auto chain = chainOf(chainDER);
    return chain && verifies(*authority, chain.get(), host, port);
}
