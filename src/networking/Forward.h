#pragma once
// Declarations of the networking classes for headers that only pass pointers.
#include <memory>

class NLSecurityPolicy;
class NLURLResponseSerialization;
class NLHTTPResponseSerializer;
class NLJSONResponseSerializer;
class NLPropertyListResponseSerializer;
class NLImageResponseSerializer;
class NLCompoundResponseSerializer;
class NLURLConnectionOperation;
class NLHTTPRequestOperation;
