#include "platform/webkit/UIWebViewWPETrust.h"

bool UIWebViewWPETrust::allowAfterFailure(WebKitWebView*, const char*, GTlsCertificate*, unsigned) { return false; }
