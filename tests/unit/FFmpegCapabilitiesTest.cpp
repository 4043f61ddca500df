#include "engine/FFmpegCapabilities.h"

#include "engine/ParamsAdapter.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace kestrine;
using namespace std::chrono_literals;

namespace {

std::string FixturePath(const std::string& name) {
    return std::string(FIXTURE_DIR) + "/" + name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A fake ffmpeg: a shell script written into a temporary folder.
class FakeFFmpeg {
public:
    explicit FakeFFmpeg(const std::string& body) { Write(body); }

    void Write(const std::string& body) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << "#!/bin/sh\n" << body;
        out.close();
        QFile::setPermissions(QString::fromStdString(path_),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    const std::string& path() const { return path_; }
    std::string counter() const { return dir_.filePath("runs").toStdString(); }

private:
    QTemporaryDir dir_;
    std::string path_ = dir_.filePath("ffmpeg").toStdString();
};

// Answers as Debian 12's FFmpeg does, from its recorded lists, and counts its runs.
std::string RecordedAnswers(const std::string& counter) {
    return "echo run >> '" + counter + "'\n" +
           "case \"$*\" in\n"
           "  '-h full') cat '" +
           FixturePath("ffmpeg-5.1-help.txt") + "' ;;\n" + "  -encoders) cat '" +
           FixturePath("ffmpeg-5.1-encoders.txt") + "' ;;\n" +
           "  *1kb*) echo \"[Eval @ 0x1] Invalid chars 'b' at the end of expression '1kb'\" >&2; "
           "exit 1 ;;\n"
           "  *XVID*) echo \"[mp4 @ 0x1] Tag XVID incompatible with output codec id '12'\" >&2; "
           "exit 1 ;;\n"
           "esac\n";
}

int CountLines(const std::string& path) {
    std::ifstream in(path);
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return lines;
}

void ExpectAllUnknown(const FFmpegCapabilities& caps) {
    EXPECT_FALSE(caps.encoders);
    EXPECT_FALSE(caps.options);
    EXPECT_FALSE(caps.acceptsUnitWithB);
    EXPECT_FALSE(caps.acceptsAviTagInMp4);
}

} // namespace

TEST(FFmpegCapabilities, ReadsTheEncoderList) {
    FFmpegCapabilities caps;
    caps.encoders = ParseEncoderList(ReadFile(FixturePath("ffmpeg-5.1-encoders.txt")));
    ASSERT_TRUE(caps.encoders);
    EXPECT_EQ(caps.encoders->count("="), 0u); // the legend is no encoder

    struct Expect {
        const char* name;
        char kind;
        const char* codec;
        bool experimental;
    };
    for (const Expect& e :
         {Expect{"aac", 'A', "aac", false}, Expect{"vorbis", 'A', "vorbis", true},
          Expect{"libmp3lame", 'A', "mp3", false}, Expect{"flv", 'V', "flv1", false},
          Expect{"libaom-av1", 'V', "av1", false}, Expect{"ass", 'S', "ass", false}}) {
        const EncoderInfo* info = caps.FindEncoder(e.name);
        ASSERT_NE(info, nullptr) << e.name;
        EXPECT_EQ(info->kind, e.kind) << e.name;
        EXPECT_EQ(info->codec, e.codec) << e.name;
        EXPECT_EQ(info->experimental, e.experimental) << e.name;
    }
    EXPECT_TRUE(caps.HasEncoder("mp3")); // a codec name, as FFmpeg takes it
    EXPECT_TRUE(caps.KnownToLackEncoder("libfaac"));
    EXPECT_FALSE(FFmpegCapabilities{}.KnownToLackEncoder("libfaac"));
    EXPECT_TRUE(ParseEncoderList("ffmpeg: unrecognized option '-encoders'\n").empty());
}

TEST(FFmpegCapabilities, ReadsTheOptionHelpOfANewAndAnOldBuild) {
    FFmpegCapabilities now;
    now.options = ParseOptionHelp(ReadFile(FixturePath("ffmpeg-5.1-help.txt")), &now.optionClasses);
    EXPECT_FALSE(now.OptionTakesValue("vn"));
    EXPECT_TRUE(now.OptionTakesValue("aspect"));  // a program option with an argument
    EXPECT_TRUE(now.OptionTakesValue("trellis")); // a typed option
    EXPECT_TRUE(now.HasConstant("flags", "mv4"));
    EXPECT_TRUE(now.KnownToLackConstant("flags", "4mv"));
    EXPECT_TRUE(now.HasConstant("mpv_flags", "mv0")); // from an encoder's class
    EXPECT_TRUE(now.HasConstant("cmp", "chroma"));    // named values of a number
    EXPECT_FALSE(now.HasConstant("cmp", "mv4"));
    EXPECT_TRUE(now.KnownToLackOption("croptop"));
    EXPECT_TRUE(now.HasOption("deblock"));
    EXPECT_TRUE(now.HasOptionClass("crop"));
    EXPECT_TRUE(now.HasOptionClass("libx264"));
    EXPECT_FALSE(now.HasOptionClass("AVCodecContext AVOptions:"));

    FFmpegCapabilities old;
    old.options = ParseOptionHelp(ReadFile(FixturePath("ffmpeg-2010-help.txt")));
    EXPECT_FALSE(old.OptionTakesValue("trellis")); // a switch then
    EXPECT_TRUE(old.OptionTakesValue("croptop"));
    EXPECT_TRUE(old.HasConstant("flags", "4mv"));
    EXPECT_TRUE(old.HasOption("aic"));
}

TEST(FFmpegCapabilities, NamedValuesBelongOnlyToTheOptionAboveThem) {
    auto options = ParseOptionHelp("Video options:\n"
                                   "-vn                 disable video\n"
                                   "    not a value of vn\n"
                                   "\n"
                                   "x AVOptions:\n"
                                   "  -mode              <int>        E..V.......\n"
                                   "     fast            0            E..V.......\n"
                                   "\n"
                                   "     stray           1            E..V.......\n");
    EXPECT_TRUE(options["vn"].constants.empty());
    EXPECT_EQ(options["mode"].constants, std::set<std::string>{"fast"});
}

TEST(FFmpegCapabilities, ProbesLearnEachPartFromTheProgram) {
    FakeFFmpeg fake("");
    fake.Write(RecordedAnswers(fake.counter()));
    FFmpegCapabilities caps = ProbeFFmpegCapabilities(fake.path(), kProbeTimeout);
    ASSERT_TRUE(caps.encoders);
    ASSERT_TRUE(caps.options);
    EXPECT_TRUE(caps.HasEncoder("libx264"));
    EXPECT_TRUE(caps.HasConstant("flags", "aic"));
    EXPECT_TRUE(caps.HasOptionClass("crop"));
    EXPECT_EQ(caps.acceptsUnitWithB, false);   // failed naming "1kb"
    EXPECT_EQ(caps.acceptsAviTagInMp4, false); // failed naming "XVID"
    EXPECT_EQ(CountLines(fake.counter()), 4);

    // A build that runs both test encodes takes both forms; lists it cannot read stay unknown.
    FakeFFmpeg taking("exit 0\n");
    caps = ProbeFFmpegCapabilities(taking.path(), kProbeTimeout);
    EXPECT_FALSE(caps.encoders);
    EXPECT_FALSE(caps.options);
    EXPECT_EQ(caps.acceptsUnitWithB, true);
    EXPECT_EQ(caps.acceptsAviTagInMp4, true);
}

TEST(FFmpegCapabilities, AFailingOrHangingProgramLeavesEverythingUnknown) {
    // Fails for another reason than the one probed: nothing is concluded.
    FakeFFmpeg failing("echo \"Unknown input format: 'lavfi'\" >&2\nexit 1\n");
    ExpectAllUnknown(ProbeFFmpegCapabilities(failing.path(), kProbeTimeout));

    FakeFFmpeg crashing("kill -SEGV $$\n");
    ExpectAllUnknown(ProbeFFmpegCapabilities(crashing.path(), kProbeTimeout));

    // Never ends: the probes are killed at the time limit.
    FakeFFmpeg hanging("exec sleep 60\n");
    ExpectAllUnknown(ProbeFFmpegCapabilities(hanging.path(), 300ms));

    ExpectAllUnknown(ProbeFFmpegCapabilities("/nonexistent/ffmpeg", kProbeTimeout));
    ExpectAllUnknown(*CapabilitiesOf("/nonexistent/ffmpeg"));
}

TEST(FFmpegCapabilities, ProbesOncePerFileFromManyThreads) {
    FakeFFmpeg fake("");
    fake.Write(RecordedAnswers(fake.counter()));

    std::vector<std::shared_ptr<const FFmpegCapabilities>> seen(4);
    std::vector<std::thread> threads;
    for (auto& result : seen)
        threads.emplace_back([&] { result = CapabilitiesOf(fake.path()); });
    for (auto& t : threads)
        t.join();
    for (const auto& result : seen)
        EXPECT_EQ(result, seen[0]);
    EXPECT_TRUE(seen[0]->encoders);
    EXPECT_EQ(CountLines(fake.counter()), 4); // one run of each probe

    // Another file at the same path (its size changes) is probed afresh.
    fake.Write(RecordedAnswers(fake.counter()) + "# another build\n");
    auto again = CapabilitiesOf(fake.path());
    EXPECT_NE(again, seen[0]);
    EXPECT_EQ(CountLines(fake.counter()), 8);
}

TEST(FFmpegCapabilities, ABareNameIsFoundOnPath) {
    std::string found = ResolveFFmpegExecutable("sh");
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(found.front(), '/');
    EXPECT_EQ(ResolveFFmpegExecutable("./relative/ffmpeg"), "./relative/ffmpeg");
    EXPECT_EQ(ResolveFFmpegExecutable("no-such-program-here"), "");
}

TEST(FFmpegCapabilities, TheEngineHookAdaptsForTheProgramItIsGiven) {
    FakeFFmpeg fake("");
    fake.Write(RecordedAnswers(fake.counter()));
    std::string output = "/out/a.mp4";
    auto hook = MakeParamsAdapter([&] { return output; });
    std::vector<std::string> tokens{"-vcodec", "libxvid", "-vtag", "XVID",
                                    "-acodec", "libfaac", "-ab",   "128kb"};
    EXPECT_EQ(hook(tokens, fake.path()),
              (std::vector<std::string>{"-vcodec", "libxvid", "-acodec", "aac", "-ab", "128k"}));
    output = "/out/a.avi"; // read at each call: AVI keeps the tag
    EXPECT_EQ(hook(tokens, fake.path()),
              (std::vector<std::string>{"-vcodec", "libxvid", "-vtag", "XVID", "-acodec", "aac",
                                        "-ab", "128k"}));
    // An executable that answers nothing gets the tokens as they are.
    FakeFFmpeg silent("exit 1\n");
    EXPECT_EQ(hook(tokens, silent.path()), tokens);
}

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

FFmpegCapabilities RecordedCapabilities() {
    FFmpegCapabilities caps;
    caps.encoders = ParseEncoderList(ReadFile(FixturePath("ffmpeg-5.1-encoders.txt")));
    caps.options =
        ParseOptionHelp(ReadFile(FixturePath("ffmpeg-5.1-help.txt")), &caps.optionClasses);
    caps.acceptsUnitWithB = false;
    caps.acceptsAviTagInMp4 = true;
    return caps;
}

void ExpectSame(const FFmpegCapabilities& a, const FFmpegCapabilities& b) {
    ASSERT_TRUE(a.encoders && b.encoders && a.options && b.options);
    ASSERT_EQ(a.encoders->size(), b.encoders->size());
    for (const auto& [name, info] : *a.encoders) {
        const EncoderInfo* other = b.FindEncoder(name);
        ASSERT_NE(other, nullptr) << name;
        EXPECT_EQ(info.kind, other->kind) << name;
        EXPECT_EQ(info.codec, other->codec) << name;
        EXPECT_EQ(info.experimental, other->experimental) << name;
    }
    ASSERT_EQ(a.options->size(), b.options->size());
    for (const auto& [name, info] : *a.options) {
        ASSERT_TRUE(b.HasOption(name)) << name;
        EXPECT_EQ(info.takesValue, b.options->at(name).takesValue) << name;
        EXPECT_EQ(info.constants, b.options->at(name).constants) << name;
    }
    EXPECT_EQ(a.optionClasses, b.optionClasses);
    EXPECT_EQ(a.acceptsUnitWithB, b.acceptsUnitWithB);
    EXPECT_EQ(a.acceptsAviTagInMp4, b.acceptsAviTagInMp4);
}

} // namespace

TEST(CapabilityCache, TextGivesBackWhatWasLearntWhileItsFilesAreUnchanged) {
    QTemporaryDir dir;
    const std::string exe = dir.filePath("ffmpeg").toStdString();
    const std::string lib = dir.filePath("libavcodec.so.59").toStdString();
    std::ofstream(exe) << "build 1";
    std::ofstream(lib) << "library 1";
    const FFmpegCapabilities caps = RecordedCapabilities();
    const std::string text = CapabilityCacheText(caps, {exe, lib});
    ASSERT_FALSE(text.empty());
    const auto back = ReadCapabilityCacheText(text, exe);
    ASSERT_TRUE(back);
    ExpectSame(caps, *back);

    // Whatever no longer matches gives nothing: the caller probes afresh.
    EXPECT_FALSE(ReadCapabilityCacheText(text, dir.filePath("other").toStdString()));
    EXPECT_FALSE(ReadCapabilityCacheText(text.substr(0, text.size() - 4), exe)); // cut
    EXPECT_FALSE(ReadCapabilityCacheText(text.substr(0, text.size() / 2), exe));
    EXPECT_FALSE(ReadCapabilityCacheText(
        "Kestrine FFmpeg capabilities 0" + text.substr(text.find('\n')), exe));
    EXPECT_FALSE(ReadCapabilityCacheText(text + "extra\n", exe));
    EXPECT_FALSE(ReadCapabilityCacheText("", exe));
    {
        ScopedEnv other("LD_LIBRARY_PATH", "/opt/ffmpeg/lib");
        EXPECT_FALSE(ReadCapabilityCacheText(text, exe));
    }
    std::ofstream(lib) << "library 2, upgraded";
    EXPECT_FALSE(ReadCapabilityCacheText(text, exe));

    // A set with a part unknown is not written.
    FFmpegCapabilities partial = caps;
    partial.acceptsUnitWithB.reset();
    EXPECT_EQ(CapabilityCacheText(partial, {exe}), "");
}

TEST(CapabilityCache, ALaterRunReadsWhatAnEarlierOneProbed) {
    QTemporaryDir dir;
    ScopedEnv cache("XDG_CACHE_HOME", dir.filePath("cache").toStdString());
    const std::string runs = dir.filePath("runs").toStdString();
    ScopedEnv counter("KESTRINE_FAKE_RUNS", runs);
    // A copy of its own, whose modification time the test may change.
    const std::string exe = dir.filePath("ffmpeg").toStdString();
    ASSERT_TRUE(QFile::copy(PROBE_FFMPEG, QString::fromStdString(exe)));

    const auto first = CapabilitiesOf(exe);
    ASSERT_TRUE(first->encoders);
    EXPECT_EQ(CountLines(runs), 4);
    EXPECT_EQ(CapabilityCacheFolder(),
              dir.filePath("cache").toStdString() + "/Tallowmere/Kestrine/");

    ForgetCapabilities(); // as a new run of the program
    const auto second = CapabilitiesOf(exe);
    EXPECT_EQ(CountLines(runs), 4); // not probed again
    ExpectSame(*first, *second);

    // Another build at the same path is probed afresh.
    QFile file(QString::fromStdString(exe));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                 QFileDevice::FileModificationTime));
    file.close();
    ForgetCapabilities();
    CapabilitiesOf(exe);
    EXPECT_EQ(CountLines(runs), 8);
    ForgetCapabilities();
}
