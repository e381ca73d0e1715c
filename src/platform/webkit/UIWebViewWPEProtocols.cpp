#include "platform/webkit/UIWebViewWPEProtocols.h"

void UIWebViewWPEProtocols::install(WebKitWebContext*) {}
