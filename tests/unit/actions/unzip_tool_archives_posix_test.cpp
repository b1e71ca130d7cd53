// For POSIX: archives with Chinese names as the usual tools make them. Python's
// zipfile flags such names as UTF-8; Info-ZIP's zip stores the bytes as they
// are (UTF-8 on Linux) without the flag. Both unpack to the same files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "actions/unzip_action.h"
#include "support/recording_main_window.h"
#include "support/temp_dir.h"

namespace {

TEST(UnzipToolArchives, PythonAndInfoZipArchivesWithChineseNamesUnpackAlike) {
  if (std::system("command -v python3 >/dev/null && command -v zip >/dev/null") != 0) {
    GTEST_SKIP() << "python3 and Info-ZIP zip are needed";
  }
  TempDir dir;
  dir.Enter();
  RecordingMainWindow window;
  std::filesystem::create_directory("中文");
  ASSERT_TRUE(WriteFileBytes("中文/说明.txt", "说明\n"));
  ASSERT_EQ(std::system("LC_ALL=C.UTF-8 zip -qr info.zip 中文"), 0);
  ASSERT_EQ(std::system("python3 -c \"import zipfile; z = zipfile.ZipFile('py.zip', 'w'); "
                        "z.write('中文/说明.txt'); z.close()\""),
            0);
  for (const char* archive : {"info.zip", "py.zip"}) {
    UnzipAction unzip;
    unzip.SetParam("file", dir.Sub(archive));
    unzip.SetParam("where", dir.Sub(std::string("out-") + archive));
    unzip.Execute();
    EXPECT_EQ(ReadFileBytes(dir.Sub(std::string("out-") + archive + "/中文/说明.txt")), "说明\n")
        << archive;
  }
}

}  // namespace
