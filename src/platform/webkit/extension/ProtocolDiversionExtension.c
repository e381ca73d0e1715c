/* The web-process extension that diverts the requests URL protocols claim
 * (see ProtocolDiversion.h): every request a page sends whose URL is http or
 * https and whose last path component is claimed is rewritten to the
 * diversion scheme, carrying the original URL and the page's URL. Nothing
 * else is touched. Runs in the web process, on its main thread. */
#include <string.h>
#include <wpe/webkit-web-extension.h>

#include "ProtocolDiversion.h"

/* The claimed last path components (a set: key == value). */
static GHashTable* claimed;

static void take_claimed(GVariant* names) {
    g_hash_table_remove_all(claimed);
    if (!names || !g_variant_is_of_type(names, G_VARIANT_TYPE_STRING_ARRAY)) return;
    GVariantIter iter;
    const char* name;
    g_variant_iter_init(&iter, names);
    while (g_variant_iter_next(&iter, "&s", &name)) g_hash_table_add(claimed, g_strdup(name));
}

/* The last path component of an http or https URL, unescaped; NULL for any
 * other URL. */
static char* last_path_component(const char* uri) {
    GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_ENCODED, NULL);
    if (!parsed) return NULL;
    char* last = NULL;
    const char* scheme = g_uri_get_scheme(parsed);
    if (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0) {
        const char* path = g_uri_get_path(parsed);
        const char* slash = strrchr(path, '/');
        last = g_uri_unescape_string(slash ? slash + 1 : path, NULL);
    }
    g_uri_unref(parsed);
    return last;
}

static gboolean on_send_request(WebKitWebPage* page, WebKitURIRequest* request, WebKitURIResponse* redirected,
                                gpointer data) {
    (void)redirected;
    (void)data;
    if (g_hash_table_size(claimed) == 0) return FALSE;
    const char* uri = webkit_uri_request_get_uri(request);
    char* last = uri ? last_path_component(uri) : NULL;
    if (last && g_hash_table_contains(claimed, last)) {
        const char* page_uri = webkit_web_page_get_uri(page);
        char* url = g_uri_escape_string(uri, NULL, FALSE);
        char* referer = g_uri_escape_string(page_uri ? page_uri : "", NULL, FALSE);
        char* diverted = g_strdup_printf("%s://load/?url=%s&referer=%s", QV_DIVERSION_SCHEME, url, referer);
        webkit_uri_request_set_uri(request, diverted);
        g_free(diverted);
        g_free(referer);
        g_free(url);
    }
    g_free(last);
    return FALSE; /* the request goes on, diverted or not */
}

static void on_page_created(WebKitWebExtension* extension, WebKitWebPage* page, gpointer data) {
    (void)extension;
    (void)data;
    g_signal_connect(page, "send-request", G_CALLBACK(on_send_request), NULL);
}

static gboolean on_message(WebKitWebExtension* extension, WebKitUserMessage* message, gpointer data) {
    (void)extension;
    (void)data;
    if (g_strcmp0(webkit_user_message_get_name(message), QV_DIVERSION_CLAIMED_MESSAGE) != 0) return FALSE;
    take_claimed(webkit_user_message_get_parameters(message));
    return TRUE;
}

G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                    const GVariant* user_data) {
    claimed = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, NULL);
    GVariant* data = (GVariant*)user_data;
    if (data && g_variant_is_of_type(data, G_VARIANT_TYPE_VARDICT)) {
        GVariant* names = g_variant_lookup_value(data, QV_DIVERSION_CLAIMED_KEY, G_VARIANT_TYPE_STRING_ARRAY);
        take_claimed(names);
        if (names) g_variant_unref(names);
    }
    g_signal_connect(extension, "page-created", G_CALLBACK(on_page_created), NULL);
    g_signal_connect(extension, "user-message-received", G_CALLBACK(on_message), NULL);
}
