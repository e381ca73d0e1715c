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
class NSURLSession;
class NSURLSessionConfiguration;
class NSURLSessionTask;
class NSURLSessionDataTask;
class NSURLSessionUploadTask;
class NSURLSessionDownloadTask;
class NSURLSessionDelegate;
class NSURLSessionTaskDelegate;
class NSURLSessionDataDelegate;
class NSURLSessionDownloadDelegate;
class SCNetworkReachability;

using NSURLSessionPtr = std::shared_ptr<NSURLSession>;
using NSURLSessionConfigurationPtr = std::shared_ptr<NSURLSessionConfiguration>;
using SCNetworkReachabilityRef = std::shared_ptr<SCNetworkReachability>;
