#include "core/config/config_digest.h"

#include <openssl/evp.h>

#include <QFile>
#include <QString>
#include <cstdint>
#include <memory>

#include "core/config/text_file.h"

namespace quell {
namespace {

void AddLength(EVP_MD_CTX* md, int64_t n) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(uint64_t(n) >> (56 - 8 * i));
  EVP_DigestUpdate(md, bytes, sizeof bytes);
}

}  // namespace

std::string ConfigDigest(std::string_view workDir, const std::vector<std::string_view>& names) {
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(),
                                                                   &EVP_MD_CTX_free);
  if (!md || EVP_DigestInit_ex(md.get(), EVP_sha256(), nullptr) != 1) return {};
  for (const std::string_view name : names) {
    AddLength(md.get(), int64_t(name.size()));
    EVP_DigestUpdate(md.get(), name.data(), name.size());
    QFile file(QString::fromStdString(ConfigPath(workDir, name)));
    if (!file.open(QIODevice::ReadOnly)) {
      AddLength(md.get(), -1);  // absent (or unreadable)
      continue;
    }
    const QByteArray bytes = file.readAll();
    AddLength(md.get(), bytes.size());
    EVP_DigestUpdate(md.get(), bytes.constData(), size_t(bytes.size()));
  }
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(md.get(), out, &size) != 1) return {};
  return std::string(reinterpret_cast<const char*>(out), size);
}

}  // namespace quell
