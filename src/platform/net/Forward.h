#pragma once
// Declarations of the URL-loading classes for headers that only pass pointers.
#include <memory>

class NSURLRequest;
class NSMutableURLRequest;
class NSURLResponse;
class NSHTTPURLResponse;
class NSCachedURLResponse;
class NSURLConnection;
class NSURLConnectionDelegate;
