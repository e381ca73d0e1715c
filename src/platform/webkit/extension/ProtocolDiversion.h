#pragma once
/* What the web-process extension that diverts requests to URL protocols and
 * the application's process agree on (C, included by both).
 *
 * The extension diverts a request of a page whose URL is http or https and
 * whose last path component is one of the claimed names to
 *   QV_DIVERSION_SCHEME "://load/?url=<original URL>&referer=<page URL>"
 * (both values percent-escaped), answered in the application's process.
 *
 * The claimed names reach the extension twice: in the initialization user
 * data of each web process, a dictionary (a{sv}) whose QV_DIVERSION_CLAIMED_KEY
 * entry is an array of strings (as), and after every change of the registered
 * URL protocol classes in a user message named QV_DIVERSION_CLAIMED_MESSAGE
 * whose parameters are that array of strings. */

#define QV_DIVERSION_SCHEME "quorvane-protocol"
#define QV_DIVERSION_CLAIMED_KEY "quorvane.protocol-diversion.claimed"
#define QV_DIVERSION_CLAIMED_MESSAGE "quorvane.protocol-diversion.claimed"
