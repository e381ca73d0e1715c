#pragma once
// The base-URL rule of the HTTP managers (the request-operation manager and the
// session manager): one place decides how a base URL is stored and how the URL
// strings of the verbs resolve against it.
//
// A base URL whose path is not empty and whose absolute string does not end in
// "/" is stored with an empty path component appended, so "http://h/api"
// becomes "http://h/api/" and the relative string "users" then resolves to
// "http://h/api/users". A URL without a path and one that already ends in "/"
// are stored as given. A string beginning with "/" keeps the base's host and
// replaces its path; an absolute string ignores the base.
#include <string>

#include "platform/foundation/NSURL.h"

// The base URL as a manager stores it (null for null).
NSURLPtr NLNormalizedBaseURL(const NSURLPtr& baseURL);

// The absolute string of `URLString` resolved against `baseURL` (none: the
// string is taken as it is). A string that does not form a URL is handed on
// unchanged, so that the request serializer reports it.
std::string NLURLStringRelativeToBaseURL(const std::string& URLString, const NSURLPtr& baseURL);
