#include "app/mnemonic.h"

#include <gtest/gtest.h>

#include "app/updater_app.h"
#include "support/native_path.h"

TEST(Mnemonic, AmpersandBecomesTheToolkitMarkerAndLiteralMarkersAreEscaped) {
  EXPECT_EQ(ConvertMnemonic("&About Velmar Updater...", '_'), "_About Velmar Updater...");
  EXPECT_EQ(ConvertMnemonic("重试(&R)", '_'), "重试(_R)");
  EXPECT_EQ(ConvertMnemonic("a_b && &c", '_'), "a__b & _c");
  EXPECT_EQ(ConvertMnemonic("重试(&R)", '\0'), "重试(R)");
  EXPECT_EQ(ConvertMnemonic("trailing&", '_'), "trailing&");
}

TEST(Mnemonic, AccessKeyIsTheUpperCasedLetterAfterTheFirstSingleAmpersand) {
  EXPECT_EQ(AccessKey("中止(&A)"), 'A');
  EXPECT_EQ(AccessKey("&about"), 'A');
  EXPECT_EQ(AccessKey("a && b &x"), 'X');
  EXPECT_EQ(AccessKey("none"), '\0');
  EXPECT_EQ(AccessKey("end&"), '\0');
}

TEST(AppName, FileNameWithoutItsExtension) {
  EXPECT_EQ(AppNameFromPath(NativePath("/opt/velmar/updater")), "updater");
  EXPECT_EQ(AppNameFromPath(NativePath("/opt/velmar/updater.exe")), "updater");
  EXPECT_EQ(AppNameFromPath(NativePath("/opt/v.1/my.updater.bin")), "my.updater");
  EXPECT_EQ(AppNameFromPath(NativePath("/opt/.updater")), ".updater");
  EXPECT_EQ(AppNameFromPath("updater"), "updater");
}
