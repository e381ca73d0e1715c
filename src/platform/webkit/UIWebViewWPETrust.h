#pragma once
// Trust of the web engine: the system's certificate store, and a test
// certificate authority trusted for named hosts alone
// (UIWebView::trustCertificateAuthorityForHosts). Main thread only.
//
// The engine offers no way to add an authority. A page load that fails with
// TLS errors asks allowAfterFailure: for a named host whose chain verifies
// against its authority (with the host and port as the identity), the
// certificate is allowed for that host, and for every other host named with
// the same authority that the certificate also verifies for, so that the
// page's sub-resources from those hosts load too (a sub-resource never asks:
// it fails silently until its host's certificate is allowed). Anything else
// fails; nothing turns the checks off.
//
// A page loaded from text raises no such failure, so before its load the
// server's certificate is fetched with a handshake of our own
// (fetchCertificateBeforeLoad) and allowed the same way; a sub-resource that
// fails with TLS errors allows its certificate for the loads after it. What
// was met is kept per host:port, so each server is asked once.
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"

typedef struct _WebKitWebView WebKitWebView;
typedef struct _GTlsCertificate GTlsCertificate;
typedef struct _WebKitWebContext WebKitWebContext;

namespace UIWebViewWPETrust {
// On a load that failed with TLS errors: true when the host is one of the
// named hosts and the chain verifies against their authority; the certificate
// is then allowed for that host and the caller reloads. False fails the load
// (also when that certificate was allowed for that host already, so that a
// reload cannot loop).
bool allowAfterFailure(WebKitWebView* view, const char* failingURI, GTlsCertificate* certificate, unsigned errors);

// Before a load from text whose base URL is https on a host named with an
// authority, when no certificate of that host:port is known yet: fetches the
// server's chain with a handshake of our own (refused at its end: no request
// is sent), allows it for the host when it verifies as above, then calls
// `then` once, from the main run loop, however the handshake ended (failed,
// did not verify, took more than a few seconds). Loads waiting for one
// host:port share one handshake. False when there is nothing to fetch: `then`
// is never called and the caller loads at once.
bool fetchCertificateBeforeLoad(const std::string& baseURL, std::function<void()> then);

// A sub-resource failed with TLS errors: its certificate is allowed for its
// host when it verifies as above, for the loads that follow (the failed one
// stays failed).
void allowAfterSubresourceFailure(WebKitWebContext* context, const char* failingURI, GTlsCertificate* certificate);

// Whether a server chain (DER, leaf first) met by our own loads for the web
// engine (the URL protocols' fetches) verifies for `host` against the
// authority named for it. False for a host named for none.
bool acceptsServerChain(const std::string& host, long port, const std::vector<Data>& chainDER);
}  // namespace UIWebViewWPETrust
