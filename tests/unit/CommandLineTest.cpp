#include "engine/CommandLine.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using kestrine::TCommandPieces;
using Args = std::vector<std::string>;

namespace {

TCommandPieces Pieces(bool useDefault, std::string ffmpeg, bool overwrite, std::string input,
                      std::string params, std::string output) {
    TCommandPieces p;
    p.UseDefaultFFmpeg = useDefault;
    p.FFmpegPath = std::move(ffmpeg);
    p.Overwrite = overwrite;
    p.InputFile = std::move(input);
    p.Params = std::move(params);
    p.OutputFile = std::move(output);
    return p;
}

} // namespace

TEST(CommandLineText, PiecesJoinInOrderWithNothingBetween) {
    const struct {
        TCommandPieces pieces;
        std::string text;
    } cases[] = {
        // The default program is unquoted whatever FFmpegPath holds.
        {Pieces(true, "/opt/my ffmpeg/ffmpeg", false, "/in/a.avi",
                "-acodec vorbis -aq 60 -vn -ac 2 ", "/out/a.ogg"),
         R"(ffmpeg -i "/in/a.avi" -acodec vorbis -aq 60 -vn -ac 2 "/out/a.ogg")"},
        // A chosen program is quoted and followed by one blank, blanks and all.
        {Pieces(false, "/opt/my ffmpeg/ffmpeg", false, "/in/a.avi", "-vn ", "/out/a.mp3"),
         R"("/opt/my ffmpeg/ffmpeg" -i "/in/a.avi" -vn "/out/a.mp3")"},
        // "-y" right after the program piece, before "-i".
        {Pieces(true, "", true, "/in/a.avi", "-vn ", "/out/a.mp3"),
         R"(ffmpeg -y -i "/in/a.avi" -vn "/out/a.mp3")"},
        // Params are copied unchanged: without a trailing blank they run into the output quote.
        {Pieces(true, "", false, "/in/a.avi", "-vn", "/out/a.mp3"),
         R"(ffmpeg -i "/in/a.avi" -vn"/out/a.mp3")"},
        {Pieces(true, "", false, "in.avi", "", "out.mp3"), R"(ffmpeg -i "in.avi" "out.mp3")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kestrine::BuildCommandLineText(c.pieces), c.text);
        EXPECT_EQ(kestrine::ProgramPiece(c.pieces) + kestrine::OverwritePiece(c.pieces) +
                      kestrine::InputPiece(c.pieces) + kestrine::ParamsPiece(c.pieces) +
                      kestrine::OutputPiece(c.pieces),
                  c.text);
    }
}

TEST(SplitParams, FollowsTheWindowsRules) {
    const struct {
        const char* params;
        Args tokens;
    } cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"-vn -acodec libmp3lame -ab 128kb -ac 2 ",
         {"-vn", "-acodec", "libmp3lame", "-ab", "128kb", "-ac", "2"}},
        {"  -a\t-b  ", {"-a", "-b"}},
        {R"(-metadata "title=My Song" -vn)", {"-metadata", "title=My Song", "-vn"}},
        {R"(-x a"b c"d)", {"-x", "ab cd"}},
        {R"("")", {""}},
        {R"(-x "" -y)", {"-x", "", "-y"}},
        {R"("a""b")", {"a\"b"}},
        {R"(a\"b)", {"a\"b"}},
        {R"(a\\"b c")", {"a\\b c"}},
        {R"(a\\\"b)", {"a\\\"b"}},
        {R"(C:\dir\ file)", {"C:\\dir\\", "file"}},
        {R"("unterminated quote)", {"unterminated quote"}},
        {"-vf drawtext=text='a b'", {"-vf", "drawtext=text='a", "b'"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kestrine::SplitParams(c.params), c.tokens) << c.params;
}

TEST(BuildArgv, PathsStayWholeWhateverTheyHold) {
    const struct {
        TCommandPieces pieces;
        Args argv;
    } cases[] = {
        {Pieces(true, "/ignored", false, "/in/a.avi", "-vn -ab 128k ", "/out/a.mp3"),
         {"ffmpeg", "-i", "/in/a.avi", "-vn", "-ab", "128k", "/out/a.mp3"}},
        {Pieces(false, "/opt/my ffmpeg/ffmpeg", true, "/in/a.avi", "-vn ", "/out/a.mp3"),
         {"/opt/my ffmpeg/ffmpeg", "-y", "-i", "/in/a.avi", "-vn", "/out/a.mp3"}},
        // Blanks, quotes and non-ASCII bytes are just bytes of one argument.
        {Pieces(true, "", false, "/in/my \"best\" clip.avi", "-vn ", "/out/caf\xc3\xa9 \xff.mp3"),
         {"ffmpeg", "-i", "/in/my \"best\" clip.avi", "-vn", "/out/caf\xc3\xa9 \xff.mp3"}},
        // A leading "-" or a protocol-like start would be read as an option or a protocol.
        {Pieces(true, "", false, "-clip.avi", "", "rtmp:a.mp3"),
         {"ffmpeg", "-i", "file:-clip.avi", "file:rtmp:a.mp3"}},
        {Pieces(true, "", false, "-", "", "dir/a:b.mp3"),
         {"ffmpeg", "-i", "file:-", "dir/a:b.mp3"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kestrine::BuildArgv(c.pieces, kestrine::SplitParams(c.pieces.Params)), c.argv);
    }
}

TEST(ParamsAdapter, EmptyKeepsTokensAndAGivenOneSeesTheProgram) {
    const Args tokens = {"-ab", "128kb"};
    EXPECT_EQ(kestrine::ApplyParamsAdapter({}, tokens, "/usr/bin/ffmpeg"), tokens);
    std::string seen;
    const kestrine::ParamsAdapter adapter = [&seen](const Args& in, const std::string& exe) {
        seen = exe;
        Args out = in;
        out.back() = "128k";
        return out;
    };
    EXPECT_EQ(kestrine::ApplyParamsAdapter(adapter, tokens, "/usr/bin/ffmpeg"),
              (Args{"-ab", "128k"}));
    EXPECT_EQ(seen, "/usr/bin/ffmpeg");
}

class FindProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("kestrine-find-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        for (const char* dir : {"own", "p1", "p2", "empty"})
            fs::create_directories(root / dir);
    }
    void TearDown() override { fs::remove_all(root); }

    std::string Make(const char* dir, bool executable) {
        const fs::path path = root / dir / "ffmpeg";
        std::ofstream(path) << "#!/bin/sh\n";
        ::chmod(path.c_str(), executable ? 0755 : 0644);
        return path.string();
    }
    std::string Dir(const char* dir) const { return (root / dir).string(); }

    fs::path root;
};

TEST_F(FindProgramTest, OwnFolderFirstThenPathInOrder) {
    const std::string p2 = Make("p2", true);
    Make("p1", false); // not executable: skipped
    const std::string path = Dir("empty") + ":" + Dir("p1") + ":" + Dir("p2");
    EXPECT_EQ(platform::FindProgram("ffmpeg", Dir("own"), path), p2);

    const std::string own = Make("own", true);
    EXPECT_EQ(platform::FindProgram("ffmpeg", Dir("own") + "/", path), own);
    EXPECT_EQ(platform::FindProgram("ffmpeg", "", path), p2);
    EXPECT_EQ(platform::FindProgram("ffmpeg", Dir("empty"), Dir("empty")), "");
    EXPECT_EQ(platform::FindProgram("ffmpeg", "", ""), ""); // "" is the current folder
}

TEST(ResolveFFmpeg, ChosenPathIsTakenAsItIs) {
    EXPECT_EQ(kestrine::ResolveFFmpeg(false, "/no/such/ffmpeg"), "/no/such/ffmpeg");
}
