#pragma once
// Declarations of the foundation classes for headers that only pass pointers.
#include <memory>

class NSObject;
class NSError;
class NSURL;
class NSUUID;
class NSBundle;
class NSNotification;
class NSNotificationCenter;
class NSUserDefaults;
class NSFileManager;
class NSFileHandle;
class Value;

using NSErrorPtr = std::shared_ptr<NSError>;
using NSURLPtr = std::shared_ptr<NSURL>;
using NSUUIDPtr = std::shared_ptr<NSUUID>;
using NSUserDefaultsPtr = std::shared_ptr<NSUserDefaults>;
using NSFileHandlePtr = std::shared_ptr<NSFileHandle>;
