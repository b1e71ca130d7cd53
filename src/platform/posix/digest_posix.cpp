// POSIX back-end of the digests: OpenSSL's EVP interface, which picks the
// processor's SHA and vector instructions itself.
#include <openssl/evp.h>

#include "platform/digest.h"

namespace platform {
namespace {

class EvpDigest : public Digest {
 public:
  explicit EvpDigest(EVP_MD_CTX* context) : m_pContext(context) {}
  ~EvpDigest() override { EVP_MD_CTX_free(m_pContext); }

  void Update(const void* data, size_t size) override {
    if (m_bOk && size > 0) m_bOk = EVP_DigestUpdate(m_pContext, data, size) == 1;
  }

  std::string FinalHex() override {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!m_bOk || EVP_DigestFinal_ex(m_pContext, digest, &size) != 1) return std::string();
    m_bOk = false;
    return HexOf(digest, size);
  }

 private:
  EVP_MD_CTX* m_pContext;
  bool m_bOk = true;
};

}  // namespace

std::unique_ptr<Digest> NewDigest(DigestKind kind) {
  const EVP_MD* md = kind == DigestKind::kMd5 ? EVP_md5() : EVP_sha256();
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (!context) return nullptr;
  if (!md || EVP_DigestInit_ex(context, md, nullptr) != 1) {
    EVP_MD_CTX_free(context);
    return nullptr;
  }
  return std::make_unique<EvpDigest>(context);
}

}  // namespace platform
