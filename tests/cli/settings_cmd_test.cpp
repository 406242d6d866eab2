// A settings file that is there but cannot be read fails the command that needs its logo,
// whether it was named with --settings or is the default beside the program.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace zr {
namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(ZR_BIN_DIR) + "/zerarive-cli";

// Exit status; stderr alone into *err.
int RunCli(const std::string& cli, const std::string& args, const std::string& errFile,
           std::string* err) {
  int status = test::RunCommand(cli + " " + args + " </dev/null >/dev/null 2>'" + errFile + "'");
  *err = test::ReadBytes(errFile);
  return status;
}

class UnreadableSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(RunCli(kCli, "image '<LOGO' " + dir.file("a.bmp"), dir.file("err"), &err), 0) << err;
    ASSERT_EQ(RunCli(kCli, "project " + dir.file("p.tvf") + " --add " + dir.file("a.bmp"),
                     dir.file("err"), &err),
              0)
        << err;
  }
  test::TempDir dir;
};

TEST_F(UnreadableSettings, AFolderGivenWithSettingsFailsNamingIt) {
  const std::string ini = dir.file("Zerarive.ini");
  fs::create_directory(ini);
  for (const std::string& command : {"create " + dir.file("p.tvf") + " " + dir.file("o.avi"),
                                     "export " + dir.file("p.tvf") + " " + dir.file("o.gif")}) {
    std::string err;
    EXPECT_EQ(RunCli(kCli, command + " --settings " + ini, dir.file("err"), &err), 1) << command;
    EXPECT_EQ(err, "zerarive-cli: " + ini + ": cannot open the settings file\n") << command;
  }
  EXPECT_FALSE(fs::exists(dir.file("o.avi")));
  EXPECT_FALSE(fs::exists(dir.file("o.gif")));
}

TEST_F(UnreadableSettings, AFolderInPlaceOfTheDefaultFailsNamingIt) {
  // The default is looked for in the program's folder, so the program runs from a copy.
  test::TempDir program;
  const std::string cli = program.file("zerarive-cli");
  fs::copy_file(kCli, cli);
  const std::string ini = program.file("Zerarive.ini");
  std::string err;
  ASSERT_EQ(
      RunCli(cli, "create " + dir.file("p.tvf") + " " + dir.file("o.avi"), dir.file("err"), &err),
      0)
      << "without a settings file the copy works: " << err;
  fs::remove(dir.file("o.avi"));

  fs::create_directory(ini);
  EXPECT_EQ(
      RunCli(cli, "create " + dir.file("p.tvf") + " " + dir.file("o.avi"), dir.file("err"), &err),
      1);
  EXPECT_EQ(err, "zerarive-cli: " + ini + ": cannot open the settings file\n");
  EXPECT_FALSE(fs::exists(dir.file("o.avi")));
}

}  // namespace
}  // namespace zr
