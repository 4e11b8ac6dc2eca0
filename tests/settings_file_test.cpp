#include "core/settings_file.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using test::TempDir;

TEST(SettingsFile, MissingFileSectionOrKeyReadsEmpty) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  EXPECT_EQ(ReadSetting(file, "port", "com"), "");
  TempDir::Write(file, "[other]\ncom=5\n[port]\nbaud=9600\n");
  EXPECT_EQ(ReadSetting(file, "port", "com"), "");
  EXPECT_EQ(ReadSetting(file, "devices", "com"), "");
}

TEST(SettingsFile, NamesIgnoreCaseAndBlanksAroundNamesAndValues) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  TempDir::Write(file, "; remembered port\r\n[ PORT ]\r\n  Com  =  7  \r\nname=\"a b\"\r\n");
  EXPECT_EQ(ReadSetting(file, "port", "COM"), "7");
  EXPECT_EQ(ReadSetting(file, " Port", "com "), "7");
  EXPECT_EQ(ReadSetting(file, "port", "name"), "a b");
}

TEST(SettingsFile, ValueIsCutTo199Characters) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  TempDir::Write(file, "[port]\ncom=" + std::string(250, '9') + "\n");
  EXPECT_EQ(ReadSetting(file, "port", "com"), std::string(kSettingValueLimit, '9'));
}

TEST(SettingsFile, WriteCreatesFileSectionAndKey) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  ASSERT_TRUE(WriteSetting(file, "port", "com", "0"));
  EXPECT_EQ(ReadSetting(file, "port", "com"), "0");
  ASSERT_TRUE(WriteSetting(file, "PORT", "Com", "12"));
  EXPECT_EQ(ReadSetting(file, "port", "com"), "12");
#if !defined(_WIN32)
  EXPECT_EQ(TempDir::Read(file), "[port]\ncom=12\n");
#endif
}

TEST(SettingsFile, WriteFailsWhereNoFileCanBe) {
  TempDir dir;
  EXPECT_FALSE(WriteSetting(dir.File("missing/config.ini"), "port", "com", "7"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

#if !defined(_WIN32)
// The Windows profile calls rewrite the whole file in their own layout; on
// POSIX only the changed line differs.
TEST(SettingsFile, WriteKeepsEveryOtherByte) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  const std::string head = "; hand-written\r\n[devices]\r\n com7 = /dev/ttyUSB0 \r\n\r\n[Port]\r\n";
  const std::string tail = "other =  x\r\n\r\n[more]\r\ncom=1";
  TempDir::Write(file, head + "COM = 7\r\n" + tail);

  ASSERT_TRUE(WriteSetting(file, "port", "com", " 12 "));
  EXPECT_EQ(TempDir::Read(file), head + "COM = 12\r\n" + tail);

  ASSERT_TRUE(WriteSetting(file, "devices", "com8", "/dev/ttyACM0"));
  ASSERT_TRUE(WriteSetting(file, "more", "baud", "19200"));
  ASSERT_TRUE(WriteSetting(file, "last", "key", "v"));
  EXPECT_EQ(TempDir::Read(file),
            "; hand-written\r\n[devices]\r\n com7 = /dev/ttyUSB0 \r\ncom8=/dev/ttyACM0\r\n\r\n"
            "[Port]\r\nCOM = 12\r\nother =  x\r\n\r\n[more]\r\ncom=1\r\nbaud=19200\r\n"
            "[last]\r\nkey=v\r\n");
}

TEST(SettingsFile, WriteRefusesTextThatWouldBreakTheLines) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  TempDir::Write(file, "[port]\ncom=7\n");
  EXPECT_FALSE(WriteSetting(file, "port", "com", "1\n[devices]"));
  EXPECT_FALSE(WriteSetting(file, "port]", "com", "1"));
  EXPECT_FALSE(WriteSetting(file, "port", "com=", "1"));
  EXPECT_EQ(TempDir::Read(file), "[port]\ncom=7\n");
}

// Root may write any file, so the permission rows run in a child process
// that drops to this user and group (nobody) when the test runs as root.
constexpr uid_t kOtherUser = 65534;
constexpr gid_t kOtherGroup = 65534;
constexpr int kNoOtherUser = 99;

// The child's exit status: 0 when `job` returned true, 1 when false,
// kNoOtherUser when root could not be dropped; -1 when no child ran.
int ExitStatusAsOtherUser(const std::function<bool()>& job) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kOtherGroup) != 0 || ::setuid(kOtherUser) != 0)) {
      ::_exit(kNoOtherUser);
    }
    ::_exit(job() ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

struct PermissionCase {
  const char* name;
  std::optional<mode_t> file_mode;  // none: there is no config.ini yet
  mode_t folder_mode;
  bool written;
};
void PrintTo(const PermissionCase& row, std::ostream* out) { *out << row.name; }

class SettingsPermission : public ::testing::TestWithParam<PermissionCase> {};

TEST_P(SettingsPermission, WriteHonoursTheFileAndFolderPermissions) {
  namespace fs = std::filesystem;
  const PermissionCase& row = GetParam();
  TempDir dir;
  const fs::path folder = dir.Path() / "installer";
  const std::string file = (folder / "config.ini").string();
  const std::string old_text = "[port]\ncom=7\n";
  fs::create_directory(folder);
  if (row.file_mode) {
    TempDir::Write(file, old_text);
    ASSERT_EQ(::chmod(file.c_str(), *row.file_mode), 0);
  }
  if (::geteuid() == 0) {
    fs::permissions(dir.Path(), fs::perms(0755));
    ASSERT_EQ(::chown(folder.c_str(), kOtherUser, kOtherGroup), 0);
    if (row.file_mode) {
      ASSERT_EQ(::chown(file.c_str(), kOtherUser, kOtherGroup), 0);
    }
  }
  ASSERT_EQ(::chmod(folder.c_str(), row.folder_mode), 0);

  const int status = ExitStatusAsOtherUser([&] { return WriteSetting(file, "port", "com", "12"); });
  fs::permissions(folder, fs::perms(0755));  // so that the folder can be removed
  ASSERT_NE(status, kNoOtherUser) << "cannot run as uid " << kOtherUser;
  ASSERT_TRUE(status == 0 || status == 1) << status;
  EXPECT_EQ(status == 0, row.written);

  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  if (!row.file_mode && !row.written) {
    EXPECT_TRUE(names.empty());
    return;
  }
  EXPECT_EQ(names, std::set<std::string>{"config.ini"});  // no temporary file left behind
  EXPECT_EQ(TempDir::Read(file), row.written ? "[port]\ncom=12\n" : old_text);
  if (row.file_mode) {
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(*row.file_mode));
  }
}

INSTANTIATE_TEST_SUITE_P(
    FileAndFolder, SettingsPermission,
    ::testing::Values(PermissionCase{"WritableInWritableFolder", 0644, 0755, true},
                      PermissionCase{"WritableInReadOnlyFolder", 0644, 0555, true},
                      PermissionCase{"ReadOnlyInWritableFolder", 0444, 0755, false},
                      PermissionCase{"ReadOnlyInReadOnlyFolder", 0444, 0555, false},
                      PermissionCase{"MissingInWritableFolder", std::nullopt, 0755, true},
                      PermissionCase{"MissingInReadOnlyFolder", std::nullopt, 0555, false}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// A config.ini that is a symbolic link (to a settings folder of the user's
// choice, say) stays a link, and the file it points to gets the new text.
struct LinkCase {
  const char* name;
  bool relative;
  bool target_exists;
};
void PrintTo(const LinkCase& row, std::ostream* out) { *out << row.name; }

class SettingsLink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(SettingsLink, WriteGoesThroughTheLink) {
  namespace fs = std::filesystem;
  const LinkCase& row = GetParam();
  TempDir dir;
  const fs::path folder = dir.Path() / "installer";
  const fs::path elsewhere = dir.Path() / "elsewhere";
  fs::create_directory(folder);
  fs::create_directory(elsewhere);
  const fs::path target = elsewhere / "settings.ini";
  if (row.target_exists) TempDir::Write(target, "[port]\ncom=7\n");
  const fs::path link_text = row.relative ? fs::path("../elsewhere/settings.ini") : target;
  const fs::path link = folder / "config.ini";
  fs::create_symlink(link_text, link);

  EXPECT_TRUE(WriteSetting(link, "port", "com", "12"));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(fs::read_symlink(link), link_text);
  EXPECT_EQ(TempDir::Read(target), "[port]\ncom=12\n");
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  for (const auto& entry : fs::directory_iterator(elsewhere)) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"config.ini", "settings.ini"}));
}

INSTANTIATE_TEST_SUITE_P(Links, SettingsLink,
                         ::testing::Values(LinkCase{"ToAFileElsewhere", false, true},
                                           LinkCase{"RelativeToAFileElsewhere", true, true},
                                           LinkCase{"ToAMissingFile", false, false}),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(SettingsFile, PathIsBesideTheExecutable) {
  const std::optional<std::string> path = SettingsPath();
  ASSERT_TRUE(path);
  EXPECT_EQ(std::filesystem::path(*path),
            std::filesystem::read_symlink("/proc/self/exe").parent_path() / "config.ini");
}
#endif

}  // namespace
}  // namespace zelt20
