#pragma once
// AES-256 in CBC mode with an all-zero initialisation vector and PKCS#7 padding,
// keyed by a string: its UTF-8 bytes padded with zero bytes to 32 (a longer key
// is cut to its first 32 bytes). This is how catalogue replies are sealed.
#include <optional>
#include <string>

#include "platform/foundation/Data.h"

// The plaintext; nullopt when the input is not whole blocks or its padding does
// not verify (a wrong key nearly always shows as the latter).
std::optional<Data> AES256DecryptWithKey(const Data& data, const std::string& key);

// The ciphertext (always a whole number of blocks, at least one).
std::optional<Data> AES256EncryptWithKey(const Data& data, const std::string& key);
