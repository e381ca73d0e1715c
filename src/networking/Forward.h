#pragma once
// Declarations of the networking classes for headers that only pass pointers.
#include <memory>

class NLSecurityPolicy;
class NLURLRequestSerialization;
class NLHTTPRequestSerializer;
class NLJSONRequestSerializer;
class NLPropertyListRequestSerializer;
class NLQueryStringPair;
class NLMultipartFormData;
class NLStreamingMultipartFormData;
class NLHTTPBodyPart;
class NLMultipartBodyStream;
class NLURLResponseSerialization;
class NLHTTPResponseSerializer;
class NLJSONResponseSerializer;
class NLPropertyListResponseSerializer;
class NLImageResponseSerializer;
class NLCompoundResponseSerializer;
class NLURLConnectionOperation;
class NLHTTPRequestOperation;
class FDFileDownloader;
class FDFileDownloaderDelegate;
class FDFileDownloadManager;
