#include "update/manifest_signature.h"

#include <sodium.h>

#include <cstring>

#include "env/mbstring.h"

namespace {

constexpr size_t kAlgSize = 2;
constexpr size_t kKeyIdSize = 8;
constexpr size_t kSignatureBlobSize = kAlgSize + kKeyIdSize + crypto_sign_BYTES;
constexpr size_t kPublicKeyBlobSize = kAlgSize + kKeyIdSize + crypto_sign_PUBLICKEYBYTES;
constexpr char kUntrustedPrefix[] = "untrusted comment: ";
constexpr char kTrustedPrefix[] = "trusted comment: ";
constexpr char kTimestampTag[] = "timestamp:";

// The blank or tab between the fields of a trusted comment.
bool IsFieldEnd(char c) { return c == ' ' || c == '\t'; }

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool IsBase64Char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/' || c == '=';
}

// Exactly `size` bytes of standard base64, nothing before or after. The
// decoder takes some bytes above 0x7F for base64 characters: the text is
// checked first, so that one signature has one text only.
bool DecodeBase64(const std::string& text, unsigned char* out, size_t size) {
  for (char c : text) {
    if (!IsBase64Char(c)) return false;
  }
  size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(out, size, text.data(), text.size(), nullptr, &length, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0) {
    return false;
  }
  return length == size && end == text.data() + text.size();
}

struct PublicKey {
  unsigned char blob[kPublicKeyBlobSize];
  const unsigned char* KeyId() const { return blob + kAlgSize; }
  const unsigned char* Key() const { return blob + kAlgSize + kKeyIdSize; }
};

const PublicKey* FindKey(const std::vector<PublicKey>& keys, const unsigned char* keyId) {
  for (const PublicKey& key : keys) {
    if (std::memcmp(key.KeyId(), keyId, kKeyIdSize) == 0) return &key;
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> SignatureLines(const std::string& text) { return SplitLines(text); }

bool VerifyMinisign(const std::string& message, const std::string& signatureFile,
                    const std::vector<std::string>& keys, std::string* trustedComment) {
  if (sodium_init() < 0) return false;
  std::vector<PublicKey> trusted;
  for (const std::string& text : keys) {
    PublicKey key;
    if (DecodeBase64(text, key.blob, sizeof key.blob) && std::memcmp(key.blob, "Ed", 2) == 0) {
      trusted.push_back(key);
    }
  }

  std::vector<std::string> lines = SignatureLines(signatureFile);
  if (lines.size() < 4 || !StartsWith(lines[0], kUntrustedPrefix) ||
      !StartsWith(lines[2], kTrustedPrefix)) {
    return false;
  }
  for (size_t i = 4; i < lines.size(); ++i) {
    if (!lines[i].empty()) return false;
  }
  unsigned char blob[kSignatureBlobSize];
  unsigned char globalSignature[crypto_sign_BYTES];
  if (!DecodeBase64(lines[1], blob, sizeof blob) ||
      !DecodeBase64(lines[3], globalSignature, sizeof globalSignature)) {
    return false;
  }
  const PublicKey* key = FindKey(trusted, blob + kAlgSize);
  if (!key) return false;
  const unsigned char* signature = blob + kAlgSize + kKeyIdSize;

  const unsigned char* signedBytes = reinterpret_cast<const unsigned char*>(message.data());
  size_t signedSize = message.size();
  unsigned char digest[crypto_generichash_BYTES_MAX];
  if (std::memcmp(blob, "ED", kAlgSize) == 0) {
    crypto_generichash(digest, sizeof digest, signedBytes, signedSize, nullptr, 0);
    signedBytes = digest;
    signedSize = sizeof digest;
  } else if (std::memcmp(blob, "Ed", kAlgSize) != 0) {
    return false;
  }
  if (crypto_sign_verify_detached(signature, signedBytes, signedSize, key->Key()) != 0) {
    return false;
  }

  std::string comment = lines[2].substr(std::strlen(kTrustedPrefix));
  std::string global(reinterpret_cast<const char*>(signature), crypto_sign_BYTES);
  global += comment;
  if (crypto_sign_verify_detached(globalSignature,
                                  reinterpret_cast<const unsigned char*>(global.data()),
                                  global.size(), key->Key()) != 0) {
    return false;
  }
  *trustedComment = comment;
  return true;
}

bool CommentTimestamp(const std::string& comment, uint64_t* timestamp) {
  const size_t tagSize = std::strlen(kTimestampTag);
  size_t at = comment.find(kTimestampTag);
  if (at == std::string::npos || comment.find(kTimestampTag, at + 1) != std::string::npos) {
    return false;
  }
  if (at > 0 && !IsFieldEnd(comment[at - 1])) return false;
  size_t start = at + tagSize;
  size_t end = start;
  while (end < comment.size() && comment[end] >= '0' && comment[end] <= '9') ++end;
  if (end < comment.size() && !IsFieldEnd(comment[end])) return false;
  return ParseDecimal64(comment.substr(start, end - start), timestamp);
}
