#pragma once
// AES-CBC without padding through OpenSSL's libcrypto (EVP), as DC-09
// encrypted frames use it: the key picks AES-128, -192 or -256 by its
// length, and the data is a whole number of 16-byte blocks.
#include <optional>
#include <string>
#include <string_view>

namespace quell {

inline constexpr size_t kAesBlock = 16;

// True for a key of 16, 24 or 32 bytes.
bool AesKeyLengthOk(size_t bytes);

// nullopt when the key length or the data length (not a multiple of 16) is
// wrong, or libcrypto fails. iv is 16 bytes; empty means 16 zero bytes.
std::optional<std::string> AesCbcEncrypt(std::string_view key, std::string_view data,
                                         std::string_view iv = {});
std::optional<std::string> AesCbcDecrypt(std::string_view key, std::string_view data,
                                         std::string_view iv = {});

}  // namespace quell
