#include "update/file_sha256.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

// The standard's test vectors; a million bytes cross many read blocks.
TEST(FileSha256Hex, KnownDigestsAndNoTextForAMissingFile) {
  TempDir dir;
  const struct {
    std::string bytes, digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteFileBytes(dir.Sub("f"), c.bytes));
    EXPECT_EQ(FileSha256Hex(dir.Sub("f")), c.digest) << c.bytes.size();
  }
  EXPECT_EQ(FileSha256Hex(dir.Sub("missing")), "");
}
