#include "platform/profile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_replacement.h"
#include "platform/text_file.h"
#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

namespace fs = std::filesystem;

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::vector<std::uint8_t> Bytes(const std::string& text) { return std::vector<std::uint8_t>(text.begin(), text.end()); }
template <std::size_t N>
std::string WithNuls(const char (&text)[N]) { return std::string(text, N - 1); }

const char kSettings[] =
    "; written by hand\n"
    "[VENDOR_COMMAND]\n"
    "TargetReset=1\n"
    "  verifycheck =  0  \n"
    "ROMSize=512\n"
    "Quoted=\"  in quotes  \"\n"
    "Empty=\n"
    "\n"
    "[DownLoadPath]\n"
    "PATH = /home/me/roms/boot image.bin\n"
    "[downloadpath]\n"
    "PATH=second section of the same name\n";

struct StringCase {
  const char* name;
  const char* section;
  const char* key;
  const char* defaultValue;
  std::uint32_t size;
  const char* expected;
};

TEST(ProfileStringTest, ReadsTrimmedValuesOrTheDefault) {
  TempDir dir;
  const std::string path = dir.Write("kavlen.ini", Bytes(kSettings));
  const StringCase cases[] = {
      {"exact", "VENDOR_COMMAND", "ROMSize", "x", 255, "512"},
      {"asked names trimmed", " VENDOR_COMMAND\t", "\tROMSize ", "x", 255, "512"},
      {"any case, blanks around", "vendor_command", "VERIFYCHECK", "x", 255, "0"},
      {"value with inner blanks", "DownLoadPath", "PATH", "x", 255, "/home/me/roms/boot image.bin"},
      {"enclosing quotes dropped", "VENDOR_COMMAND", "Quoted", "x", 255, "  in quotes  "},
      {"empty value is found", "VENDOR_COMMAND", "Empty", "x", 255, ""},
      {"missing key", "VENDOR_COMMAND", "Nothing", "DownLoad Firmware Path", 255, "DownLoad Firmware Path"},
      {"missing section", "Elsewhere", "PATH", "fallback", 255, "fallback"},
      {"default loses trailing blanks", "Elsewhere", "PATH", "fallback  ", 255, "fallback"},
      {"null default", "Elsewhere", "PATH", nullptr, 255, ""},
      {"cut to size - 1", "DownLoadPath", "PATH", "x", 9, "/home/me"},
      {"size 1 holds only the nul", "DownLoadPath", "PATH", "x", 1, ""},
      {"default cut too", "Elsewhere", "PATH", "DownLoad Firmware Path", 5, "Down"},
  };
  for (const StringCase& c : cases) {
    std::vector<char> out(c.size + 4, '#');
    const std::uint32_t copied = GetPrivateProfileStringA(c.section, c.key, c.defaultValue, out.data(), c.size, path.c_str());
    EXPECT_EQ(std::string(out.data()), c.expected) << c.name;
    EXPECT_EQ(copied, std::string(c.expected).size()) << c.name;
    EXPECT_EQ(out[c.size], '#') << c.name << ": wrote past the buffer";
  }
}

TEST(ProfileStringTest, MissingFileGivesTheDefault) {
  TempDir dir;
  char out[64];
  const std::string path = dir.path() + "/kavlen.ini";
  EXPECT_EQ(GetPrivateProfileStringA("DownLoadPath", "PATH", "DownLoad Firmware Path", out, sizeof out, path.c_str()), 22u);
  EXPECT_STREQ(out, "DownLoad Firmware Path");
  EXPECT_EQ(GetPrivateProfileStringA("DownLoadPath", "PATH", "x", out, 0, path.c_str()), 0u);
}

TEST(ProfileStringTest, ListsSectionsAndKeys) {
  TempDir dir;
  const std::string path = dir.Write("kavlen.ini", Bytes(kSettings));
  struct ListCase {
    const char* section;
    std::uint32_t size;
    std::string expected;  // including every nul the call writes
    std::uint32_t copied;
  } cases[] = {
      {nullptr, 64, WithNuls("VENDOR_COMMAND\0DownLoadPath\0downloadpath\0\0"), 41},
      {"VENDOR_COMMAND", 64, WithNuls("TargetReset\0verifycheck\0ROMSize\0Quoted\0Empty\0\0"), 45},
      {"DownLoadPath", 10, WithNuls("PATH\0\0"), 5},
      // Too small: the last name is cut and two nuls end the list.
      {nullptr, 20, WithNuls("VENDOR_COMMAND\0Dow\0\0"), 18},
      {"Elsewhere", 8, WithNuls("\0\0"), 0},
  };
  for (const ListCase& c : cases) {
    std::vector<char> out(c.size, '#');
    const std::uint32_t copied = GetPrivateProfileStringA(c.section, nullptr, "x", out.data(), c.size, path.c_str());
    EXPECT_EQ(std::string(out.data(), c.expected.size()), c.expected) << (c.section ? c.section : "sections");
    EXPECT_EQ(copied, c.copied) << (c.section ? c.section : "sections");
  }
}

// Every buffer size from 1 to the whole list: the list cut to size - 2
// bytes and two nuls, nothing written behind the buffer.
TEST(ProfileStringTest, NameListsFitEveryBufferSize) {
  TempDir dir;
  const std::string path = dir.Write("kavlen.ini", Bytes("[ab]\nk=1\nlonger=2\n[x]\n[]\n[third]\n"));
  const struct {
    const char* section;
    std::string whole;
  } lists[] = {
      {nullptr, WithNuls("ab\0x\0\0third\0\0")},
      {"ab", WithNuls("k\0longer\0\0")},
  };
  constexpr std::size_t kGuard = 8;
  for (const auto& list : lists) {
    for (std::uint32_t size = 1; size <= list.whole.size(); ++size) {
      const bool fits = size == list.whole.size();
      std::string expected = size == 1 ? std::string(1, '\0') : list.whole.substr(0, size - 2) + std::string(2, '\0');
      if (fits) expected = list.whole;
      std::vector<char> out(size + kGuard, '#');
      const std::uint32_t copied = GetPrivateProfileStringA(list.section, nullptr, "", out.data(), size, path.c_str());
      const std::string at = std::string(list.section ? list.section : "sections") + " in " + std::to_string(size);
      EXPECT_EQ(std::string(out.data(), size), expected) << at;
      EXPECT_EQ(copied, fits ? size - 1 : (size < 2 ? 0 : size - 2)) << at;
      EXPECT_EQ(std::string(out.data() + size, kGuard), std::string(kGuard, '#')) << at << ": wrote past the buffer";
    }
  }
}

TEST(ProfileIntTest, ReadsTheLeadingDecimalNumber) {
  struct IntCase {
    const char* value;  // nullptr: key absent
    std::int32_t defaultValue;
    std::uint32_t expected;
  } cases[] = {
      {nullptr, 255, 255},
      {nullptr, -1, 0xFFFFFFFFu},
      {"", 255, 255},
      {"512", 255, 512},
      {"  2048  ", 255, 2048},
      {"+7", 255, 7},
      {"-1", 255, 0xFFFFFFFFu},
      {"-64", 255, 0xFFFFFFC0u},
      {"42A94967297", 255, 42},
      {"B42", 255, 0},
      {"0x40", 255, 0},
      {"one", 255, 0},
      {"256", 255, 256},
      {"4294967296", 255, 0},
      {"4294967297", 255, 1},
  };
  TempDir dir;
  const std::string path = dir.path() + "/kavlen.ini";
  for (const IntCase& c : cases) {
    const std::string text = c.value ? std::string("[VENDOR_COMMAND]\nVerifyCheck=") + c.value + "\n" : "[VENDOR_COMMAND]\n";
    dir.Write("kavlen.ini", Bytes(text));
    EXPECT_EQ(GetPrivateProfileIntA("Vendor_Command", "verifycheck", c.defaultValue, path.c_str()), c.expected)
        << (c.value ? c.value : "absent");
  }
  EXPECT_EQ(GetPrivateProfileIntA("VENDOR_COMMAND", "ROMSize", 255, (dir.path() + "/none.ini").c_str()), 255u);
}

struct WriteCase {
  const char* name;
  const char* before;  // nullptr: no file yet
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

TEST(ProfileWriteTest, ChangesOnlyWhatItNames) {
  const WriteCase cases[] = {
      {"creates the file", nullptr, "VENDOR_COMMAND", "TargetReset", "1", "[VENDOR_COMMAND]\nTargetReset=1\n"},
      {"replaces in place, key keeps its spelling", "; note\n[Vendor_Command]\n targetreset = 0 ; old\nROMSize=64\n",
       "VENDOR_COMMAND", "TargetReset", "1", "; note\n[Vendor_Command]\ntargetreset=1\nROMSize=64\n"},
      {"adds after the section's last key", "[A]\nx=1\n\n[B]\ny=2\n", "a", "z", "3", "[A]\nx=1\nz=3\n\n[B]\ny=2\n"},
      {"adds a new section at the end", "[A]\nx=1", "DownLoadPath", "PATH", "/roms/a b.bin",
       "[A]\nx=1\n[DownLoadPath]\nPATH=/roms/a b.bin\n"},
      {"keeps CR LF endings", "[A]\r\nx=1\r\n", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
      {"empty value", "[A]\nx=1\n", "A", "x", "", "[A]\nx=\n"},
      {"null value removes the key", "[A]\nx=1\ny=2\n", "A", "x", nullptr, "[A]\ny=2\n"},
      {"null key removes the section", "[A]\nx=1\n[B]\ny=2\n", "A", nullptr, nullptr, "[B]\ny=2\n"},
      {"names trimmed to match", "[A]\nx=1\n", " A\t", "\tx ", "2", "[A]\nx=2\n"},
      {"names trimmed when new", "[A]\nx=1\n", " B ", " y ", "2", "[A]\nx=1\n[B]\ny=2\n"},
      {"byte order mark kept, names after it found", "\xEF\xBB\xBF[A]\r\nx=1\r\n", "A", "x", "2",
       "\xEF\xBB\xBF[A]\r\nx=2\r\n"},
      {"each line keeps its own end", "[A]\r\nx=1\ny=2\r\nz=3\n", "A", "y", "5", "[A]\r\nx=1\ny=5\r\nz=3\n"},
      {"new lines take the first line's end", "[A]\r\nx=1\n", "A", "z", "3", "[A]\r\nx=1\nz=3\r\n"},
      {"last line keeps having no end", "[A]\nx=1\n[B]\ny=2", "A", "x", "5", "[A]\nx=5\n[B]\ny=2"},
      {"a line ends before one is added after it", "[A]\r\nx=1", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
      {"a stray carriage return is a blank", "[A]\n[\r", " ", "k", "v", "[A]\n[\r\nk=v\n"},
  };
  for (const WriteCase& c : cases) {
    TempDir dir;
    const std::string path = dir.path() + "/kavlen.ini";
    if (c.before) dir.Write("kavlen.ini", Bytes(c.before));
    EXPECT_TRUE(WritePrivateProfileStringA(c.section, c.key, c.value, path.c_str())) << c.name;
    EXPECT_EQ(Text(ReadFileBytes(path)), c.after) << c.name;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << c.name << ": temporary file left";
  }
}

// What the window writes when it closes, read back the way it reads it.
TEST(ProfileWriteTest, SettingsRoundTrip) {
  TempDir dir;
  const std::string path = dir.path() + "/kavlen.ini";
  ASSERT_TRUE(WritePrivateProfileStringA("VENDOR_COMMAND", "TargetReset", "1", path.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("VENDOR_COMMAND", "VerifyCheck", "1", path.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("VENDOR_COMMAND", "ROMSize", "512", path.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("DownLoadPath", "PATH", "DownLoad Firmware Path", path.c_str()));
  EXPECT_EQ(Text(ReadFileBytes(path)),
            "[VENDOR_COMMAND]\nTargetReset=1\nVerifyCheck=1\nROMSize=512\n[DownLoadPath]\nPATH=DownLoad Firmware Path\n");
  EXPECT_EQ(GetPrivateProfileIntA("VENDOR_COMMAND", "ROMSize", 255, path.c_str()), 512u);
  char out[255];
  EXPECT_EQ(GetPrivateProfileStringA("DownLoadPath", "PATH", "", out, sizeof out, path.c_str()), 22u);
  EXPECT_STREQ(out, "DownLoad Firmware Path");
}

// Text that would add lines or keys of its own is refused and the file kept.
TEST(ProfileWriteTest, RefusesTextThatWouldBreakTheFile) {
  const char before[] = "[DownLoadPath]\nPATH=/roms/a.bin\n";
  struct Refused {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"DownLoadPath", "PATH", "/roms/a.bin\n[VENDOR_COMMAND]\nROMSize=4096"},
      {"DownLoadPath", "PATH", "/roms/a.bin\r"},
      {"Down]Load", "PATH", "x"},
      {"DownLoadPath", "PA=TH", "x"},
      {"DownLoadPath", "[PATH", "x"},
      {"DownLoadPath", ";PATH", "x"},
      {"DownLoadPath", "  ", "x"},
      {nullptr, "PATH", "x"},
  };
  for (const Refused& c : cases) {
    TempDir dir;
    const std::string path = dir.Write("kavlen.ini", Bytes(before));
    EXPECT_FALSE(WritePrivateProfileStringA(c.section, c.key, c.value, path.c_str())) << (c.key ? c.key : "");
    EXPECT_EQ(Text(ReadFileBytes(path)), before);
  }
}

TEST(ProfileWriteTest, UnwritablePlacesFailAndKeepTheFile) {
  TempDir dir;
  EXPECT_FALSE(WritePrivateProfileStringA("A", "x", "1", (dir.path() + "/missing/kavlen.ini").c_str()));
  EXPECT_FALSE(fs::exists(dir.path() + "/missing"));
  EXPECT_FALSE(WritePrivateProfileStringA("A", "x", "1", ""));
  EXPECT_FALSE(WritePrivateProfileStringA("A", "x", "1", nullptr));

  const std::string readOnly = dir.Write("readonly.ini", Bytes("[A]\nx=0\n"));
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
  EXPECT_FALSE(WritePrivateProfileStringA("A", "x", "1", readOnly.c_str()));
  EXPECT_EQ(Text(ReadFileBytes(readOnly)), "[A]\nx=0\n");
}

// Something other than a file under the name is neither read (a FIFO would
// block, a device never end) nor written.
TEST(ProfileWriteTest, ReadsAndWritesOnlyRegularFiles) {
  TempDir dir;
  const std::string fifo = dir.path() + "/fifo.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string device = dir.path() + "/device.ini";
  fs::create_symlink("/dev/zero", device);
  for (const std::string& path : {fifo, device, dir.path()}) {
    char out[16];
    EXPECT_EQ(GetPrivateProfileStringA("A", "x", "none", out, sizeof out, path.c_str()), 4u) << path;
    EXPECT_STREQ(out, "none") << path;
    EXPECT_FALSE(WritePrivateProfileStringA("A", "x", "1", path.c_str())) << path;
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
}

// The settings reach the file the name stands for, and that file stays the
// same file: links keep pointing at it, its mode and owner stay.
TEST(ProfileWriteTest, KeepsTheFilesIdentity) {
  struct IdentityCase {
    const char* name;
    const char* link;       // kavlen.ini: "symlink", "hardlink" or "" (the file itself)
    const char* linkText;   // what a symbolic link holds
    bool fileExists;
  } cases[] = {
      {"plain file", "", "", true},
      {"symbolic link", "symlink", "real.ini", true},
      {"chain of links into a subfolder", "symlink", "sub/hop.ini", true},
      {"dangling link", "symlink", "sub/real.ini", false},
      {"hard link", "hardlink", "", true},
  };
  for (const IdentityCase& c : cases) {
    TempDir dir;
    fs::create_directory(dir.path() + "/sub");
    const std::string real = dir.path() + "/sub/real.ini";
    if (c.fileExists) {
      dir.Write("sub/real.ini", Bytes("[A]\nx=0\n"));
      ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    }
    fs::create_symlink("real.ini", dir.path() + "/sub/hop.ini");
    const std::string path = dir.path() + "/kavlen.ini";
    if (std::string(c.link) == "symlink") fs::create_symlink(std::string(c.linkText) == "real.ini" ? real : c.linkText, path);
    if (std::string(c.link) == "hardlink") fs::create_hard_link(real, path);
    const std::string written = std::string(c.link).empty() ? real : path;
    struct stat before;
    stat(written.c_str(), &before);

    ASSERT_TRUE(WritePrivateProfileStringA("A", "x", "1", written.c_str())) << c.name;
    EXPECT_EQ(Text(ReadFileBytes(real)), "[A]\nx=1\n") << c.name;
    EXPECT_EQ(fs::is_symlink(path), std::string(c.link) == "symlink") << c.name;
    struct stat after;
    ASSERT_EQ(stat(real.c_str(), &after), 0) << c.name;
    if (c.fileExists) {
      EXPECT_EQ(after.st_mode & 07777, 0640u) << c.name;
    }
    if (std::string(c.link) == "hardlink") {
      EXPECT_EQ(after.st_ino, before.st_ino) << c.name;
      EXPECT_EQ(after.st_nlink, 2u) << c.name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() + "/sub"), fs::directory_iterator()), 2) << c.name << ": temporary file left";
  }
}

// Until it is put in place the new content has no name (on a file system
// with unnamed files), so a program killed half way leaves nothing behind;
// without a Commit the file keeps its content.
TEST(ProfileWriteTest, StagedContentHasNoName) {
  TempDir dir;
  const int probe = open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe < 0) GTEST_SKIP() << "no unnamed files in " << dir.path();
  close(probe);
  const std::string path = dir.Write("kavlen.ini", Bytes("[A]\nx=0\n"));
  const auto names = [&] { return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()); };
  {
    FileReplacement dropped(path, {});
    ASSERT_TRUE(dropped.ready());
    EXPECT_EQ(names(), 1);
  }
  EXPECT_EQ(Text(ReadFileBytes(path)), "[A]\nx=0\n");
  FileReplacement file(path, {});
  EXPECT_EQ(names(), 1);
  EXPECT_TRUE(file.Commit("[A]\nx=1\n", 8));
  EXPECT_EQ(Text(ReadFileBytes(path)), "[A]\nx=1\n");
  EXPECT_EQ(names(), 1);
}

// A write by root leaves a user's file to that user.
TEST(ProfileWriteTest, KeepsTheOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can hand a file to another owner";
  TempDir dir;
  const std::string path = dir.Write("kavlen.ini", Bytes("[A]\nx=0\n"));
  ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
  ASSERT_EQ(chmod(path.c_str(), 0604), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("A", "x", "1", path.c_str()));
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 4321u);
  EXPECT_EQ(info.st_gid, 4322u);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
  EXPECT_EQ(Text(ReadFileBytes(path)), "[A]\nx=1\n");
}

// When no temporary file can be made beside it (a folder without write
// permission; /proc takes none even from root), the file is rewritten in
// place; with no file there, nothing is written.
TEST(ProfileWriteTest, RewritesInPlaceWhenTheFolderTakesNoNewFile) {
  TempDir dir;
  const std::string path = dir.Write("kavlen.ini", Bytes("[A]\nx=0\nlong=enough to be cut\n"));
  struct stat before;
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  EXPECT_TRUE(WriteTextFile(path, "[A]\nx=1\n", "/proc"));
  EXPECT_EQ(Text(ReadFileBytes(path)), "[A]\nx=1\n");
  EXPECT_TRUE(WriteTextFile(path, "[A]\nx=1\nlonger=than it was before, by far\n", "/proc"));
  EXPECT_EQ(Text(ReadFileBytes(path)), "[A]\nx=1\nlonger=than it was before, by far\n");
  struct stat after;
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_FALSE(WriteTextFile(dir.path() + "/new.ini", "[A]\n", "/proc"));
  EXPECT_FALSE(fs::exists(dir.path() + "/new.ini"));

  // The folder's permissions do not bind root.
  if (geteuid() == 0) return;
  const std::string folder = dir.path() + "/locked";
  fs::create_directory(folder);
  const std::string inside = dir.Write("locked/kavlen.ini", Bytes("[A]\nx=0\n"));
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  EXPECT_TRUE(WritePrivateProfileStringA("A", "x", "1", inside.c_str()));
  EXPECT_EQ(Text(ReadFileBytes(inside)), "[A]\nx=1\n");
  chmod(folder.c_str(), 0755);
}

}  // namespace
}  // namespace kavlen::test
