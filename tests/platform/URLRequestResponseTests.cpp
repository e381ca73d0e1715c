// Protects URL requests and responses: defaults, header fields, copies, MIME type and encoding, unknown lengths, status texts and URL errors.
#include <doctest/doctest.h>

#include "platform/net/NSHTTPURLResponse.h"
#include "platform/net/NSURLError.h"
#include "platform/net/NSURLRequest.h"

TEST_CASE("URL request starts as a GET with the protocol cache policy and a 60 second time-out") {
    auto request = NSURLRequest::requestWithURL("http://example.test/a?b=1");
    CHECK(request->URL() == "http://example.test/a?b=1");
    CHECK(request->HTTPMethod() == "GET");
    CHECK(request->cachePolicy() == NSURLRequestUseProtocolCachePolicy);
    CHECK(request->timeoutInterval() == 60);
    CHECK(request->allHTTPHeaderFields().empty());
    CHECK_FALSE(request->HTTPBody().has_value());
    CHECK(request->HTTPShouldHandleCookies());

    auto custom = NSURLRequest::requestWithURL("http://example.test/", NSURLRequestReloadIgnoringLocalCacheData, 7.5);
    CHECK(custom->cachePolicy() == NSURLRequestReloadIgnoringLocalCacheData);
    CHECK(custom->timeoutInterval() == 7.5);
}

TEST_CASE("mutable URL request header fields ignore case and join added values") {
    auto request = NSMutableURLRequest::requestWithURL("http://example.test/");
    request->setValue("text/plain", "Content-Type");
    CHECK(request->valueForHTTPHeaderField("content-type") == "text/plain");
    request->setValue("application/json", "CONTENT-TYPE");
    CHECK(request->allHTTPHeaderFields().size() == 1);
    CHECK(request->valueForHTTPHeaderField("Content-Type") == "application/json");

    request->addValue("gzip", "Accept-Encoding");
    request->addValue("br", "accept-encoding");
    CHECK(request->valueForHTTPHeaderField("Accept-Encoding") == "gzip,br");

    request->setValue(std::nullopt, "content-type");
    CHECK_FALSE(request->valueForHTTPHeaderField("Content-Type").has_value());

    request->setHTTPMethod("");
    CHECK(request->HTTPMethod() == "GET");
}

TEST_CASE("URL request copies are independent and compare by content") {
    auto request = NSMutableURLRequest::requestWithURL("http://example.test/x");
    request->setHTTPMethod("POST");
    request->setHTTPBody(dataFromString("body"));
    request->setValue("1", "X-One");
    request->setTimeoutInterval(5);

    auto frozen = request->copy();
    auto copy = request->mutableCopy();
    CHECK(frozen->isEqual(*request));
    CHECK(copy->isEqual(*request));
    copy->setValue("2", "x-one");
    copy->setURL("http://example.test/y");
    CHECK_FALSE(copy->isEqual(*request));
    CHECK(request->valueForHTTPHeaderField("X-One") == "1");
    CHECK(request->URL() == "http://example.test/x");
    CHECK(frozen->HTTPMethod() == "POST");
    CHECK(frozen->HTTPBody() == dataFromString("body"));
    CHECK(frozen->timeoutInterval() == 5);
    CHECK(frozen->className() == "NSURLRequest");
    CHECK(copy->className() == "NSMutableURLRequest");
}

TEST_CASE("HTTP response derives MIME type and encoding name from Content-Type") {
    HTTPHeaderFields fields{{"content-type", "Text/HTML; Charset=\"ISO-8859-1\""}, {"Content-Length", "42"}};
    auto response = NSHTTPURLResponse::initWithURL("http://example.test/page.html?x=1", 200, "HTTP/1.1", fields);
    CHECK(response->statusCode() == 200);
    CHECK(response->MIMEType() == "text/html");
    CHECK(response->textEncodingName() == "iso-8859-1");
    CHECK(response->expectedContentLength() == 42);
    CHECK(response->valueForHTTPHeaderField("CONTENT-LENGTH") == "42");
    CHECK(response->allHeaderFields().count("Content-Type") == 1);
    CHECK(response->suggestedFilename() == "page.html");

    auto bare = NSHTTPURLResponse::initWithURL("http://example.test/", 204, "HTTP/1.1", {});
    CHECK_FALSE(bare->MIMEType().has_value());
    CHECK_FALSE(bare->textEncodingName().has_value());
    CHECK(bare->expectedContentLength() == NSURLResponseUnknownLength);
    CHECK(bare->suggestedFilename() == "index.html");

    auto noCharset = NSHTTPURLResponse::initWithURL("http://example.test/", 200, "HTTP/1.1",
                                                    {{"Content-Type", "application/json"}});
    CHECK(noCharset->MIMEType() == "application/json");
    CHECK_FALSE(noCharset->textEncodingName().has_value());
}

TEST_CASE("HTTP response length is unknown for chunked or unreadable Content-Length") {
    auto chunked = NSHTTPURLResponse::initWithURL("http://example.test/", 200, "HTTP/1.1",
                                                  {{"Transfer-Encoding", "chunked"}, {"Content-Length", "10"}});
    CHECK(chunked->expectedContentLength() == -1);
    auto garbage = NSHTTPURLResponse::initWithURL("http://example.test/", 200, "HTTP/1.1", {{"Content-Length", "12a"}});
    CHECK(garbage->expectedContentLength() == -1);
    auto zero = NSHTTPURLResponse::initWithURL("http://example.test/", 200, "HTTP/1.1", {{"Content-Length", "0"}});
    CHECK(zero->expectedContentLength() == 0);
}

TEST_CASE("status code texts") {
    CHECK(NSHTTPURLResponse::localizedStringForStatusCode(200) == "no error");
    CHECK(NSHTTPURLResponse::localizedStringForStatusCode(404) == "not found");
    CHECK(NSHTTPURLResponse::localizedStringForStatusCode(500) == "internal server error");
    CHECK(NSHTTPURLResponse::localizedStringForStatusCode(418) == "client error");
    CHECK(NSHTTPURLResponse::localizedStringForStatusCode(599) == "server error");
    CHECK(NSHTTPURLResponse::localizedStringForStatusCode(299) == "success");
}

TEST_CASE("URL errors carry the domain and the failing URL") {
    auto error = NSURLErrorMake(NSURLErrorTimedOut, "http://example.test/slow");
    CHECK(error->domain() == NSURLErrorDomain);
    CHECK(error->code() == -1001);
    CHECK(error->localizedDescription() == "The request timed out.");
    CHECK(*error->userInfo()[NSURLErrorFailingURLErrorKey].string() == "http://example.test/slow");
    CHECK(*error->userInfo()[NSURLErrorFailingURLStringErrorKey].string() == "http://example.test/slow");
    CHECK(NSURLErrorMake(NSURLErrorCancelled, "")->userInfo()[NSURLErrorFailingURLErrorKey].isNull());
}
