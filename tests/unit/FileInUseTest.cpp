#include "platform/FileInUse.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

class FileInUseTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kestrine-inuse-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Make(const char* name, mode_t mode) {
        const fs::path path = dir / name;
        std::ofstream(path) << "data";
        chmod(path.c_str(), mode);
        return path.string();
    }

    fs::path dir;
};

TEST_F(FileInUseTest, MissingFreeReadOnlyAndUnopenable) {
    const struct {
        const char* name;
        mode_t mode;
        bool inUse;
    } cases[] = {
        {"free", 0644, false},
        {"owner-write-only", 0200, false},
        // No write bit at all is the read-only attribute, for root too.
        {"read-only", 0444, true},
        {"no-permissions", 0000, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::IsFileInUse(Make(c.name, c.mode)), c.inUse) << c.name;
    EXPECT_FALSE(platform::IsFileInUse((dir / "missing").string()));
    EXPECT_FALSE(platform::IsFileInUse(dir.string()));
    EXPECT_FALSE(platform::FileExists(dir.string()));
    EXPECT_FALSE(platform::FileExists((dir / "missing").string()));
    EXPECT_TRUE(platform::FileExists((dir / "free").string()));
}

TEST_F(FileInUseTest, HeldOpenByAnotherDescriptor) {
    const std::string path = Make("held", 0644);
    const int holder = open(path.c_str(), O_RDONLY);
    const bool leases = [&] {
        const int probe = open(Make("probe", 0644).c_str(), O_RDONLY);
        const bool ok = fcntl(probe, F_SETLEASE, F_RDLCK) == 0;
        close(probe);
        return ok;
    }();
    if (leases) {
        EXPECT_TRUE(platform::IsFileInUse(path));
    }
    close(holder);
    EXPECT_FALSE(platform::IsFileInUse(path));
    if (!leases)
        GTEST_SKIP() << "this file system offers no leases";
}

TEST_F(FileInUseTest, SameFileByTextOrByIdentity) {
    const std::string a = Make("a.mp3", 0644);
    const std::string b = Make("b.mp3", 0644);
    fs::create_hard_link(a, dir / "link.mp3");
    EXPECT_TRUE(platform::IsSameFile(a, a));
    EXPECT_TRUE(platform::IsSameFile(a, (dir / "." / "a.mp3").string()));
    EXPECT_TRUE(platform::IsSameFile(a, (dir / "link.mp3").string()));
    EXPECT_FALSE(platform::IsSameFile(a, b));
    EXPECT_FALSE(platform::IsSameFile(a, (dir / "missing.mp3").string()));
}
