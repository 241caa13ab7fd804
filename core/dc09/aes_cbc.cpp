#include "core/dc09/aes_cbc.h"

#include <openssl/evp.h>

#include <algorithm>
#include <iterator>
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

std::optional<std::string> Run(bool encrypt, std::string_view key, std::string_view data,
                               std::string_view iv) {
  const EVP_CIPHER* cipher = CipherFor(key.size());
  if (!cipher || data.size() % kAesBlock != 0 || (!iv.empty() && iv.size() != kAesBlock))
    return std::nullopt;
  static const char kZeroIv[kAesBlock] = {};
  const char* ivBytes = iv.empty() ? kZeroIv : iv.data();
  // One context per thread and direction, keeping the expanded key while
  // frames come with the same key (a panel's run of frames). Setting a new
  // IV through libcrypto costs several times the work of a short frame, so
  // the context simply chains on, and the difference between the block it
  // chains from and the IV wanted is XORed into the first block: into the
  // plaintext before encrypting, into the output after decrypting.
  struct Cached {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx{EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free};
    std::string key;
    unsigned char chain[kAesBlock] = {};  // the IV the context goes on from
  };
  thread_local Cached cached[2];
  Cached& c = cached[encrypt ? 1 : 0];
  if (!c.ctx) return std::nullopt;
  if (c.key != key || c.key.empty()) {
    c.key.clear();
    if (EVP_CIPHER_CTX_reset(c.ctx.get()) != 1 ||
        EVP_CipherInit_ex(c.ctx.get(), cipher, nullptr,
                          reinterpret_cast<const unsigned char*>(key.data()),
                          reinterpret_cast<const unsigned char*>(kZeroIv), encrypt ? 1 : 0) != 1)
      return std::nullopt;
    // The frames carry whole blocks; libcrypto's own padding would add a
    // block on encryption and hold back the last one on decryption.
    EVP_CIPHER_CTX_set_padding(c.ctx.get(), 0);
    std::fill(std::begin(c.chain), std::end(c.chain), 0);
    c.key = key;
  }
  std::string out(data.size(), '\0');
  if (data.empty()) return out;
  unsigned char delta[kAesBlock];
  for (size_t i = 0; i < kAesBlock; ++i) delta[i] = uint8_t(c.chain[i] ^ uint8_t(ivBytes[i]));
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  auto update = [&](unsigned char* to, const unsigned char* from, size_t size) {
    int n = 0;
    return EVP_CipherUpdate(c.ctx.get(), to, &n, from, int(size)) == 1 && size_t(n) == size;
  };
  bool ok = true;
  if (encrypt) {
    unsigned char head[kAesBlock];
    for (size_t i = 0; i < kAesBlock; ++i) head[i] = uint8_t(in[i] ^ delta[i]);
    ok = update(o, head, kAesBlock) &&
         (data.size() == kAesBlock ||
          update(o + kAesBlock, in + kAesBlock, data.size() - kAesBlock));
  } else {
    ok = update(o, in, data.size());
    for (size_t i = 0; i < kAesBlock; ++i) o[i] ^= delta[i];
  }
  if (!ok) {
    c.key.clear();  // set up afresh next time
    return std::nullopt;
  }
  // CBC goes on from the last ciphertext block, whichever side it is on.
  const unsigned char* last = (encrypt ? o : in) + data.size() - kAesBlock;
  std::copy(last, last + kAesBlock, c.chain);
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

}  // namespace quell
