#pragma once
// The encodings of the catalogue protocol as the server side needs them: the request
// token digest, the reply cipher (AES-256-CBC, zero IV, PKCS#7), Base64 and the
// percent-escaping of stream links.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace catalogue {

// The key string every reply is encrypted with, and the secret the request token is made from.
inline constexpr std::string_view kReplyKey = "wqle#*!408mzbrt5kc&e(7xy)26fhu0v";
inline constexpr std::string_view kTokenSecret = "rivo718#pelmarq642";

// MD5 of the bytes as 32 upper-case hexadecimal digits.
std::string md5UpperHex(std::string_view text);

// The token a client must send with the given "time" text.
std::string expectedToken(std::string_view timeText);

// Whether the token signs the "time" text. The client digests its full 64-bit clock but
// sends only the low 32 bits as "time", so from 2038 on the two differ: a token made
// from a clock value whose low 32 bits are "time" (up to four wraps on) is accepted too.
bool tokenMatches(std::string_view token, std::string_view timeText);

// AES-256-CBC with an all-zero IV and PKCS#7 padding. The key string's bytes are the key,
// cut or zero-padded to 32 bytes. Empty optional when the cipher reports a failure.
std::optional<std::string> aes256CbcEncrypt(std::string_view plain, std::string_view keyText);

// Standard Base64 (RFC 4648 alphabet, "=" padding) with no line breaks.
std::string base64Encode(std::string_view bytes);

// Breaks the text into lines of at most `width` characters joined by `lineBreak`
// (no break after the last line).
std::string wrapLines(std::string_view text, std::size_t width, std::string_view lineBreak);

// Percent-escapes every byte except the unreserved characters A-Z a-z 0-9 - . _ ~.
std::string percentEscape(std::string_view text);

// Decodes %XX escapes; "+" stays a plus sign. Empty optional for a malformed escape.
std::optional<std::string> percentDecode(std::string_view text);

}  // namespace catalogue
