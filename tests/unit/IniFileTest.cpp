#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::IniFile;
namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names in a folder, so a test can see that no temporary file was left behind.
std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrine-ini-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir + "/settings.ini";
    }
    void TearDown() override {
        std::error_code error;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(dir, error);
    }

    std::string dir;
    std::string path;
};

TEST_F(IniFileTest, ReadRules) {
    const std::string x3000(3000, 'x');
    const std::string x2047(2047, 'x');
    struct Case {
        const char* what;
        std::string text;
        const char* section;
        const char* key;
        std::string expected; // the default is "dflt"
    } cases[] = {
        {"plain", "[Options]\nSameInput=1\n", "Options", "SameInput", "1"},
        {"names in any case", "[oPTIONS]\nsameinput=1\n", "Options", "SameInput", "1"},
        {"first key wins", "[Options]\nA=1\na=2\n", "Options", "A", "1"},
        {"first section wins", "[Options]\nA=1\n[OPTIONS]\nA=2\nB=3\n", "Options", "A", "1"},
        {"later same section unseen", "[Options]\nA=1\n[OPTIONS]\nA=2\nB=3\n", "Options", "B",
         "dflt"},
        {"other section", "[Other]\nA=1\n[Options]\nB=2\n", "Options", "A", "dflt"},
        {"blanks trimmed", "  [Options] \t\n \t A \t=\t 1 2 \t\n", "Options", "A", "1 2"},
        {"double quotes", "[Options]\nA=\" x y \"\n", "Options", "A", " x y "},
        {"single quotes", "[Options]\nA = 'x'  \n", "Options", "A", "x"},
        {"one pair only", "[Options]\nA=\"\"x\"\"\n", "Options", "A", "\"x\""},
        {"mismatched quotes", "[Options]\nA=\"x'\n", "Options", "A", "\"x'"},
        {"opening quote only", "[Options]\nA=\"x\n", "Options", "A", "\"x"},
        {"lone quote", "[Options]\nA=\"\n", "Options", "A", "\""},
        {"empty quotes", "[Options]\nA=''\n", "Options", "A", ""},
        {"comments", "[Options]\n;A=1\n \t; A=2\nA=3\n", "Options", "A", "3"},
        {"commented key only", "[Options]\n;A=1\n", "Options", "A", "dflt"},
        {"section ends at first ]", "[Options]x]\nA=1\n", "Options", "A", "1"},
        {"name cut at first ]", "[Opt]ions]\nA=1\n", "Options", "A", "dflt"},
        {"header without ]", "[Options\nA=1\n", "Options", "A", "dflt"},
        {"before the first section", "A=1\n[Options]\n", "Options", "A", "dflt"},
        {"line without =", "[Options]\nA\nA=2\n", "Options", "A", "2"},
        {"only a line without =", "[Options]\nA\n", "Options", "A", "dflt"},
        {"missing section", "[Other]\nA=1\n", "Options", "A", "dflt"},
        {"missing key", "[Options]\nB=1\n", "Options", "A", "dflt"},
        {"empty value", "[Options]\nA=\n", "Options", "A", ""},
        {"blank value", "[Options]\nA= \t \n", "Options", "A", ""},
        {"= in the value", "[Options]\nA=b=c\n", "Options", "A", "b=c"},
        {"CRLF", "[Options]\r\nA=1\r\nB=2\r\n", "Options", "B", "2"},
        {"no final line break", "[Options]\nA=1", "Options", "A", "1"},
        {"byte order mark", "\xEF\xBB\xBF[Options]\nA=1\n", "Options", "A", "1"},
        {"empty file", "", "Options", "A", "dflt"},
        {"3000 characters cut", "[Options]\nA=" + x3000 + "\n", "Options", "A", x2047},
        {"2047 characters kept", "[Options]\nA=" + x2047 + "\n", "Options", "A", x2047},
        {"2048 characters cut", "[Options]\nA=" + x2047 + "y\n", "Options", "A", x2047},
        {"quoted and cut", "[Options]\nA='" + x3000 + "'\n", "Options", "A", x2047},
        {"NUL bytes are ordinary", std::string("[Options]\nA=a\0b\n", 16), "Options", "A",
         std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        WriteFile(path, c.text);
        EXPECT_EQ(IniFile(path).ReadString(c.section, c.key, "dflt"), c.expected) << c.what;
    }
}

TEST_F(IniFileTest, UnreadableFileReadsAsDefault) {
    EXPECT_EQ(IniFile(path).ReadString("Options", "A", "dflt"), "dflt"); // missing
    fs::create_directory(path);
    EXPECT_EQ(IniFile(path).ReadString("Options", "A", "dflt"), "dflt"); // a folder
    EXPECT_EQ(IniFile(dir + "/none/settings.ini").ReadString("Options", "A", ""), "");
}

TEST_F(IniFileTest, WriteRules) {
    const std::string x3000(3000, 'x');
    struct Case {
        const char* what;
        std::optional<std::string> before; // nullopt: no file
        const char* key;
        std::string value;
        std::string after;
    } cases[] = {
        {"new file", std::nullopt, "A", "1", "[Options]\nA=1\n"},
        {"empty file", "", "A", "1", "[Options]\nA=1\n"},
        {"replaced in place", "; mine\n\n[options]\n  sameINPUT = 0 ; x\r\nB=2\n\n[Other]\nX=1\n",
         "SameInput", "1", "; mine\n\n[options]\n  sameINPUT =1\r\nB=2\n\n[Other]\nX=1\n"},
        {"new key after the last entry", "[Options]\nA=1\n\n; about Other\n[Other]\nX=1\n", "B",
         "2", "[Options]\nA=1\nB=2\n\n; about Other\n[Other]\nX=1\n"},
        {"new key before a trailing comment", "[Options]\nA=1\n; end\n", "B", "2",
         "[Options]\nA=1\nB=2\n; end\n"},
        {"new key in an empty section", "[Options]\n\n[Other]\n", "A", "1",
         "[Options]\nA=1\n\n[Other]\n"},
        {"new section at the end", "[Other]\nX=1\n", "A", "1", "[Other]\nX=1\n\n[Options]\nA=1\n"},
        {"new section after a blank line", "[Other]\nX=1\n\n", "A", "1",
         "[Other]\nX=1\n\n[Options]\nA=1\n"},
        {"new section, no final line break", "[Other]\nX=1", "A", "1",
         "[Other]\nX=1\n\n[Options]\nA=1\n"},
        {"header without line break", "[Options]", "A", "1", "[Options]\nA=1"},
        {"last line replaced", "[Options]\nA=0", "A", "1", "[Options]\nA=1"},
        {"CRLF replaced", "[Options]\r\nA=0\r\n", "A", "1", "[Options]\r\nA=1\r\n"},
        {"CRLF new key", "[Options]\r\nA=0\r\n", "B", "2", "[Options]\r\nA=0\r\nB=2\r\n"},
        {"CRLF new section", "[Other]\r\nX=1", "A", "1",
         "[Other]\r\nX=1\r\n\r\n[Options]\r\nA=1\r\n"},
        {"value exactly as given", "[Options]\nA=0\n", "A", " 'x' ;y ", "[Options]\nA= 'x' ;y \n"},
        {"empty value", "[Options]\nA=0\n", "A", "", "[Options]\nA=\n"},
        {"long value in full", std::nullopt, "A", x3000, "[Options]\nA=" + x3000 + "\n"},
        {"first of two keys", "[Options]\nA=1\nA=2\n[Options]\nA=3\n", "A", "9",
         "[Options]\nA=9\nA=2\n[Options]\nA=3\n"},
        {"first of two sections", "[Options]\nB=1\n[options]\nA=3\n", "A", "9",
         "[Options]\nB=1\nA=9\n[options]\nA=3\n"},
        {"same key elsewhere untouched", "A=0\n[Other]\nA=1\n", "A", "2",
         "A=0\n[Other]\nA=1\n\n[Options]\nA=2\n"},
        {"byte order mark kept", "\xEF\xBB\xBF[Options]\nA=1\n", "A", "2",
         "\xEF\xBB\xBF[Options]\nA=2\n"},
        {"byte order mark only", "\xEF\xBB\xBF", "A", "1", "\xEF\xBB\xBF[Options]\nA=1\n"},
    };
    for (const auto& c : cases) {
        fs::remove(path);
        if (c.before)
            WriteFile(path, *c.before);
        IniFile ini(path);
        EXPECT_TRUE(ini.WriteString("Options", c.key, c.value)) << c.what;
        EXPECT_EQ(ini.LastError(), 0) << c.what;
        EXPECT_EQ(ReadFile(path), c.after) << c.what;
    }
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"settings.ini"});
}

TEST_F(IniFileTest, WrittenValuesReadBack) {
    IniFile ini(path);
    const std::string values[] = {"/home/u/Vidéos/", "ffmpeg -i %1 -y %1.mkv", "a=b;[c]", "0", ""};
    for (const auto& value : values) {
        ASSERT_TRUE(ini.WriteString("Options", "Key", value));
        EXPECT_EQ(ini.ReadString("Options", "Key", "dflt"), value);
    }
    ASSERT_TRUE(ini.WriteString("Options", "Other", "x"));
    EXPECT_EQ(ini.ReadString("Options", "Key", "dflt"), "");
    EXPECT_EQ(ReadFile(path), "[Options]\nKey=\nOther=x\n");
}

// A write that could not be read back as written is refused; the file stays as it was.
TEST_F(IniFileTest, RefusesWhatCouldNotBeReadBack) {
    const std::string before = "[Options]\nA=1\n";
    WriteFile(path, before);
    IniFile ini(path);
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"Options", "A", "x\n[Options]\nB=1"},
        {"Options", "A", "x\ry"},
        {"Options", "A=B", "1"},
        {"Options", "", "1"},
        {"Options", " A", "1"},
        {"Options", ";A", "1"},
        {"Opt]ions", "A", "1"},
        {"", "A", "1"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(ini.WriteString(c.section, c.key, c.value)) << c.key << c.value;
        EXPECT_EQ(ini.LastError(), EINVAL);
    }
    EXPECT_EQ(ReadFile(path), before);
}

TEST_F(IniFileTest, FailedWritesLeaveTheFileAsItWas) {
    const std::string before = "[Options]\nA=1\n";
    WriteFile(path, before);
    ::chmod(path.c_str(), 0444); // read-only holds for root as well
    IniFile ini(path);
    EXPECT_FALSE(ini.WriteString("Options", "A", "2"));
    EXPECT_EQ(ini.LastError(), EACCES);
    EXPECT_EQ(ReadFile(path), before);

    fs::remove(path);
    fs::create_directory(path); // cannot be read nor renamed over
    EXPECT_FALSE(ini.WriteString("Options", "A", "2"));
    EXPECT_EQ(ini.LastError(), EISDIR);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"settings.ini"});

    IniFile noFolder(dir + "/none/settings.ini");
    EXPECT_FALSE(noFolder.WriteString("Options", "A", "2"));
    EXPECT_EQ(noFolder.LastError(), ENOENT);
    EXPECT_FALSE(fs::exists(dir + "/none"));
}

// A named pipe, or a link to one (as a link to /dev/null would be), in the file's place: a read
// does not wait for a writer, and a write neither waits nor replaces it with a file.
TEST_F(IniFileTest, PipeInTheFilesPlaceIsNeitherWaitedOnNorReplaced) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    const std::string link = dir + "/link.ini";
    fs::create_symlink(path, link);
    for (const std::string& name : {path, link}) {
        IniFile ini(name);
        EXPECT_EQ(ini.ReadString("Options", "A", "dflt"), "dflt") << name;
        EXPECT_FALSE(ini.WriteString("Options", "A", "2")) << name;
        EXPECT_EQ(ini.LastError(), EINVAL);
    }
    EXPECT_TRUE(fs::is_fifo(path));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"link.ini", "settings.ini"}));
}

TEST_F(IniFileTest, KeepsPermissionsAndLinks) {
    const mode_t oldMask = ::umask(022);
    IniFile ini(path);
    ASSERT_TRUE(ini.WriteString("Options", "A", "1"));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0644));
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(ini.WriteString("Options", "A", "2"));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0600));
    ::umask(oldMask);

    // A settings file that is a link to elsewhere stays a link; the file it points to changes.
    const std::string link = dir + "/link.ini";
    fs::create_symlink(path, link);
    IniFile linked(link);
    ASSERT_TRUE(linked.WriteString("Options", "A", "3"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(path), "[Options]\nA=3\n");
}

// A full disk while writing (here the file size limit) leaves the old file in full.
TEST_F(IniFileTest, FullDiskKeepsTheOldFile) {
    const std::string before = "[Options]\nA=old\n";
    WriteFile(path, before);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        IniFile ini(path);
        const bool written = ini.WriteString("Options", "A", std::string(4096, 'n'));
        ::_exit(written ? 0 : ini.LastError() == EFBIG ? 3 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "the write should fail with EFBIG";
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"settings.ini"});
}

TEST_F(IniFileTest, ReadsAHugeFile) {
    {
        std::ofstream out(path, std::ios::binary);
        out << "[Options]\r\nJunk=";
        const std::string chunk(1 << 20, 'j');
        for (int i = 0; i < 100; ++i)
            out << chunk;
        out << "\r\nSameInput=1\r\n";
    }
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("Options", "SameInput", "0"), "1");
    EXPECT_EQ(ini.ReadString("Options", "Junk", ""), std::string(IniFile::kMaxValueLength, 'j'));
}

} // namespace
