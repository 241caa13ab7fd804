#include "core/dc09/aes_cbc.h"

#include <openssl/evp.h>

#include <memory>

namespace quell {
namespace {

// OpenSSL 3 looks a cipher named by EVP_aes_*_cbc() up in its providers on
// every initialisation; fetched once here, they are ready for every frame.
const EVP_CIPHER* CipherFor(size_t keyBytes) {
  static const struct Ciphers {
    EVP_CIPHER* aes128 = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
    EVP_CIPHER* aes192 = EVP_CIPHER_fetch(nullptr, "AES-192-CBC", nullptr);
    EVP_CIPHER* aes256 = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
  } ciphers;
  switch (keyBytes) {
    case 16:
      return ciphers.aes128;
    case 24:
      return ciphers.aes192;
    case 32:
      return ciphers.aes256;
    default:
      return nullptr;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Run(bool encrypt, std::string_view key, std::string_view data,
                               std::string_view iv) {
  const EVP_CIPHER* cipher = CipherFor(key.size());
  if (!cipher || data.size() % kAesBlock != 0 || (!iv.empty() && iv.size() != kAesBlock))
    return std::nullopt;
  static const unsigned char kZeroIv[kAesBlock] = {};
  const auto* ivBytes = iv.empty() ? kZeroIv : reinterpret_cast<const unsigned char*>(iv.data());
  // One context per thread and direction, keeping the expanded key while
  // frames come with the same key (a panel's run of frames): only the IV
  // is set afresh for each call.
  struct Cached {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx{EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free};
    std::string key;
  };
  thread_local Cached cached[2];
  Cached& c = cached[encrypt ? 1 : 0];
  if (!c.ctx) return std::nullopt;
  if (c.key != key || c.key.empty()) {
    c.key.clear();
    if (EVP_CIPHER_CTX_reset(c.ctx.get()) != 1 ||
        EVP_CipherInit_ex(c.ctx.get(), cipher, nullptr,
                          reinterpret_cast<const unsigned char*>(key.data()), ivBytes,
                          encrypt ? 1 : 0) != 1)
      return std::nullopt;
    // The frames carry whole blocks; libcrypto's own padding would add a
    // block on encryption and reject the plaintext on decryption. Setting
    // a new IV keeps this.
    EVP_CIPHER_CTX_set_padding(c.ctx.get(), 0);
    c.key = key;
  } else if (EVP_CipherInit_ex(c.ctx.get(), nullptr, nullptr, nullptr, ivBytes, -1) != 1) {
    c.key.clear();
    return std::nullopt;
  }
  EVP_CIPHER_CTX* ctx = c.ctx.get();
  std::string out(data.size() + kAesBlock, '\0');
  int n = 0, tail = 0;
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  if (EVP_CipherUpdate(ctx, o, &n, reinterpret_cast<const unsigned char*>(data.data()),
                       int(data.size())) != 1 ||
      EVP_CipherFinal_ex(ctx, o + n, &tail) != 1) {
    c.key.clear();  // set up afresh next time
    return std::nullopt;
  }
  out.resize(size_t(n + tail));
  return out;
}

}  // namespace

bool AesKeyLengthOk(size_t bytes) {
  return CipherFor(bytes) != nullptr;
}

std::optional<std::string> AesCbcEncrypt(std::string_view key, std::string_view data,
                                         std::string_view iv) {
  return Run(true, key, data, iv);
}

std::optional<std::string> AesCbcDecrypt(std::string_view key, std::string_view data,
                                         std::string_view iv) {
  return Run(false, key, data, iv);
}

std::string HexUpper(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes(hex.size() / 2, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int hi = HexValue(hex[2 * i]), lo = HexValue(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes[i] = char(hi * 16 + lo);
  }
  return bytes;
}

}  // namespace quell
