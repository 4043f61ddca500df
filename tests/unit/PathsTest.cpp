#include "base/Paths.h"

#include <gtest/gtest.h>

using namespace kestrine;

TEST(Paths, FileNameAndExtension) {
    struct Case {
        const char* path;
        const char* name;
        const char* dir;
        const char* ext;
    } cases[] = {
        {"/home/u/clip.avi", "clip.avi", "/home/u/", ".avi"},
        {"/home/u/clip.tar.gz", "clip.tar.gz", "/home/u/", ".gz"},
        {"/home/u.d/clip", "clip", "/home/u.d/", ""},
        {"clip.avi", "clip.avi", "", ".avi"},
        {"/home/u/", "", "/home/u/", ""},
        {"/home/u/.hidden", ".hidden", "/home/u/", ".hidden"},
        {"/a/b\\c.d", "b\\c.d", "/a/", ".d"}, // a backslash is an ordinary character
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
        EXPECT_EQ(ExtractFilePath(c.path), c.dir) << c.path;
        EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
    }
}

TEST(Paths, ChangeFileExt) {
    EXPECT_EQ(ChangeFileExt("/in/a.avi", ".mp3"), "/in/a.mp3");
    EXPECT_EQ(ChangeFileExt("/in/a.b.avi", ".mp3"), "/in/a.b.mp3");
    EXPECT_EQ(ChangeFileExt("/in.d/noext", ".mp3"), "/in.d/noext.mp3");
    EXPECT_EQ(ChangeFileExt("/in/a.avi", ""), "/in/a");
    EXPECT_EQ(ChangeFileExt("/in/a.mp3", ".mp3"), "/in/a.mp3");
}

TEST(Paths, IncludeTrailingPathDelimiter) {
    EXPECT_EQ(IncludeTrailingPathDelimiter("/out"), "/out/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/out/"), "/out/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/"), "/");
}
