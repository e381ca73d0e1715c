#pragma once
// Decrypts catalogue replies with the `openssl` command line: an implementation of
// Base64 and AES-256-CBC independent of the server's.
#include <optional>
#include <string>

namespace testtools {

// The reply key as 64 hexadecimal digits, as `openssl enc -K` takes it.
std::string replyKeyHex();

// Runs `openssl enc -d -aes-256-cbc -K <key> -iv 0... -a` over the body (with -A when
// `singleLine`, for Base64 without line breaks). The plaintext, or empty optional when
// openssl fails. `scratch` is a folder for the input and output files.
std::optional<std::string> opensslDecryptReply(const std::string& body, const std::string& scratch,
                                               bool singleLine = true);

// `openssl base64 -d -A` of the body: the raw bytes, or empty optional on failure.
std::optional<std::string> opensslBase64Decode(const std::string& body, const std::string& scratch);

}  // namespace testtools
