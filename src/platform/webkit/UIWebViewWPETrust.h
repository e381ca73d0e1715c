#pragma once
// Trust of the web engine: the system's certificate store, and a test
// certificate authority trusted for named hosts alone
// (UIWebView::trustCertificateAuthorityForHosts). Main thread only.
typedef struct _WebKitWebView WebKitWebView;
typedef struct _GTlsCertificate GTlsCertificate;

namespace UIWebViewWPETrust {
// On a load that failed with TLS errors: true when the host is one of the
// named hosts and the chain verifies against their authority; the certificate
// is then allowed for that host and the caller reloads. False fails the load.
bool allowAfterFailure(WebKitWebView* view, const char* failingURI, GTlsCertificate* certificate, unsigned errors);
}  // namespace UIWebViewWPETrust
