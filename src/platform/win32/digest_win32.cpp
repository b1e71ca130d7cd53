// Windows back-end of the digests: CNG's hash objects (bcrypt.dll), which use
// the processor's SHA and vector instructions where it has them.
// The SDK header below needs <windows.h> first.
// clang-format off
#include "platform/win32/windows_api.h"
#include <bcrypt.h>
// clang-format on

#include <vector>

#include "platform/digest.h"

namespace platform {
namespace {

class CngDigest : public Digest {
 public:
  CngDigest(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE hash, ULONG size)
      : m_hAlgorithm(algorithm), m_hHash(hash), m_nSize(size) {}
  ~CngDigest() override {
    BCryptDestroyHash(m_hHash);
    BCryptCloseAlgorithmProvider(m_hAlgorithm, 0);
  }

  void Update(const void* data, size_t size) override {
    const UCHAR* p = static_cast<const UCHAR*>(data);
    // BCryptHashData takes 32-bit lengths.
    while (m_bOk && size > 0) {
      ULONG n = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
      m_bOk = BCRYPT_SUCCESS(BCryptHashData(m_hHash, const_cast<UCHAR*>(p), n, 0));
      p += n;
      size -= n;
    }
  }

  std::string FinalHex() override {
    std::vector<UCHAR> digest(m_nSize);
    if (!m_bOk || !BCRYPT_SUCCESS(BCryptFinishHash(m_hHash, digest.data(), m_nSize, 0))) {
      return std::string();
    }
    m_bOk = false;
    return HexOf(digest.data(), digest.size());
  }

 private:
  BCRYPT_ALG_HANDLE m_hAlgorithm;
  BCRYPT_HASH_HANDLE m_hHash;
  ULONG m_nSize;
  bool m_bOk = true;
};

}  // namespace

std::unique_ptr<Digest> NewDigest(DigestKind kind) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(
          &algorithm, kind == DigestKind::kMd5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA256_ALGORITHM,
          nullptr, 0))) {
    return nullptr;
  }
  DWORD size = 0;
  ULONG got = 0;
  BCRYPT_HASH_HANDLE hash = nullptr;
  // Without an object buffer the provider keeps the hash object itself
  // (Windows 7 and later).
  if (!BCRYPT_SUCCESS(BCryptGetProperty(algorithm, BCRYPT_HASH_LENGTH,
                                        reinterpret_cast<PUCHAR>(&size), sizeof size, &got, 0)) ||
      !BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return nullptr;
  }
  return std::make_unique<CngDigest>(algorithm, hash, size);
}

}  // namespace platform
