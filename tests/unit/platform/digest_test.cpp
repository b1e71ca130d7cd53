#include "platform/digest.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::string DigestOf(platform::DigestKind kind, const std::string& bytes, size_t piece) {
  std::unique_ptr<platform::Digest> digest = platform::NewDigest(kind);
  if (!digest) return "no digest";
  for (size_t at = 0; at < bytes.size(); at += piece) {
    digest->Update(bytes.data() + at, std::min(piece, bytes.size() - at));
  }
  return digest->FinalHex();
}

}  // namespace

// RFC 1321's test suite and the SHA-256 standard's vectors, each fed whole and
// in pieces around the 64-byte block; a spent digest gives no second text.
TEST(Digest, KnownVectorsInPiecesOfAnySize) {
  using platform::DigestKind;
  const std::string million(1000000, 'a');
  const struct {
    DigestKind kind;
    std::string bytes, hex;
  } cases[] = {
      {DigestKind::kMd5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {DigestKind::kMd5, "a", "0cc175b9c0f1b6a831c399e269772661"},
      {DigestKind::kMd5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {DigestKind::kMd5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {DigestKind::kMd5, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {DigestKind::kMd5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {DigestKind::kMd5,
       "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {DigestKind::kSha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {DigestKind::kSha256, "abc",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {DigestKind::kSha256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {DigestKind::kSha256, million,
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    for (size_t piece : {size_t{1}, size_t{55}, size_t{63}, size_t{64}, size_t{65}, size_t{4096}}) {
      if (piece == 1 && c.bytes.size() > 4096) continue;
      EXPECT_EQ(DigestOf(c.kind, c.bytes, piece), c.hex)
          << c.bytes.size() << " bytes in pieces of " << piece;
    }
  }
  std::unique_ptr<platform::Digest> spent = platform::NewDigest(DigestKind::kSha256);
  ASSERT_TRUE(spent);
  EXPECT_FALSE(spent->FinalHex().empty());
  EXPECT_EQ(spent->FinalHex(), "");
}
