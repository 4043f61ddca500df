#include "engine/ParamsAdapter.h"

#include "base/Exception.h"
#include "engine/FFmpegCapabilities.h"
#include "profiles/Catalogue.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace kestrine;

namespace {

using Tokens = std::vector<std::string>;

std::string ReadFixture(const std::string& name) {
    std::ifstream in(std::string(FIXTURE_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

FFmpegCapabilities FromFixtures(const std::string& build, bool unitWithB, bool aviTagInMp4) {
    FFmpegCapabilities caps;
    caps.encoders = ParseEncoderList(ReadFixture("ffmpeg-" + build + "-encoders.txt"));
    caps.options =
        ParseOptionHelp(ReadFixture("ffmpeg-" + build + "-help.txt"), &caps.optionClasses);
    caps.acceptsUnitWithB = unitWithB;
    caps.acceptsAviTagInMp4 = aviTagInMp4;
    return caps;
}

// Debian 12's FFmpeg 5.1, from its recorded answers.
const FFmpegCapabilities& Debian12() {
    static const FFmpegCapabilities caps = FromFixtures("5.1", false, false);
    return caps;
}

// A build that takes the catalogue as written, as FFmpeg did about 2010.
const FFmpegCapabilities& Build2010() {
    static const FFmpegCapabilities caps = FromFixtures("2010", true, true);
    return caps;
}

// The catalogue strings hold no quotes: blanks alone separate the arguments.
Tokens Split(std::string_view text) {
    Tokens tokens;
    std::istringstream in{std::string(text)};
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

std::string Join(const Tokens& tokens) {
    std::string text;
    for (const std::string& token : tokens)
        text += (text.empty() ? "" : " ") + token;
    return text;
}

const Profile& Row(int n) {
    return Catalogue()[static_cast<std::size_t>(n - 1)];
}

std::string Adapted(const Profile& profile, const FFmpegCapabilities& caps) {
    return Join(
        AdaptParams(Split(profile.arguments), caps, "/out/file" + std::string(profile.extension)));
}

} // namespace

TEST(ParamsAdapter, EveryProfileStaysAsWrittenForABuildThatTakesItOrAnUnknownOne) {
    const FFmpegCapabilities unknown;
    for (const Profile& profile : Catalogue()) {
        SCOPED_TRACE(std::string(profile.caption));
        Tokens literal = Split(profile.arguments);
        std::string output = "/out/file" + std::string(profile.extension);
        EXPECT_EQ(AdaptParams(literal, Build2010(), output), literal);
        EXPECT_EQ(AdaptParams(literal, unknown, output), literal);
    }
}

TEST(ParamsAdapter, Debian12GetsNoFormItRefuses) {
    // The six profiles that Debian 12's FFmpeg converts as written keep every token.
    for (int row : {5, 11, 12, 51, 52, 103})
        EXPECT_EQ(Adapted(Row(row), Debian12()), Join(Split(Row(row).arguments))) << row;

    for (const Profile& profile : Catalogue()) {
        SCOPED_TRACE(std::string(profile.caption));
        Tokens tokens = Split(Adapted(profile, Debian12()));
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            const std::string& t = tokens[i];
            const std::string next = i + 1 < tokens.size() ? tokens[i + 1] : "";
            EXPECT_NE(t, "libfaac");
            EXPECT_NE(t, "vorbis");
            EXPECT_FALSE(t.size() > 2 && t.ends_with("kb")) << t;
            EXPECT_EQ(t.find("4mv"), std::string::npos) << t;
            for (const char* gone :
                 {"-croptop", "-cropbottom", "-deblockalpha", "-deblockbeta", "-aic", "-mv0"})
                EXPECT_NE(t, gone);
            if (t == "-trellis") {
                EXPECT_TRUE(!next.empty() && std::isdigit(static_cast<unsigned char>(next[0])));
            }
            if (t == "-vtag") {
                EXPECT_NE(profile.extension, ".mp4");
            }
        }
    }
}

TEST(ParamsAdapter, Debian12GetsTheRewrittenProfiles) {
    struct Case {
        int row;
        const char* expected;
    };
    const Case cases[] = {
        {2, "-vn -acodec aac -ab 112k -ac 2 -ar 48000"},
        {4, "-acodec libvorbis -aq 60 -vn -ac 2"},
        {42, "-f avi -r 29.97 -vcodec libxvid -vtag XVID -s 640x480 -aspect 4:3 -maxrate 1800k "
             "-b 1500k -qmin 3 -qmax 5 -bufsize 4096 -mbd 2 -bf 2 -flags +mv4+aic -trellis 1 "
             "-cmp 2 -subcmp 2 -g 300 -acodec libmp3lame -ar 48000 -ab 128k -ac 2"},
        {44, "-f avi -r 29.97 -vf crop=iw:ih-58-62:0:58 -vcodec libxvid -vtag XVID -s 640x272 "
             "-aspect 2.35 -maxrate 1800k -b 1500k -qmin 3 -qmax 5 -bufsize 4096 -mbd 2 -bf 2 "
             "-flags +mv4+aic -trellis 1 -cmp 2 -subcmp 2 -g 300 -acodec libmp3lame -ar 48000 "
             "-ab 128k -ac 2"},
        {53, "-f dvd -vcodec mpeg2video -r 29.97 -s 352x480 -aspect 4:3 -b 4000k -mbd rd "
             "-trellis 1 -mpv_flags +mv0 -cmp 2 -subcmp 2 -acodec mp2 -ab 192k -ar 48000 -ac 2"},
        {74, "-r 29.97 -vcodec libxvid -s 400x240 -aspect 16:9 -maxrate 1200k -b 1200k -qmin 3 "
             "-qmax 5 -bufsize 4096 -mbd 2 -bf 2 -flags +mv4+aic -trellis 1 -cmp 2 -subcmp 2 "
             "-g 300 -acodec libmp3lame -ar 44100 -ab 160k -ac 2 -async 1"},
        {91, "-f mp4 -r 23.976 -vcodec libx264 -s 1280x720 -b 3000k -aspect 16:9 -flags +loop "
             "-cmp +chroma -deblock 0:0 -maxrate 3500k -bufsize 4M -bt 256k -refs 1 -bf 3 "
             "-coder 1 -me_method umh -me_range 16 -subq 7 "
             "-partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 "
             "-qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 "
             "-acodec aac -ab 384k -ar 48000 -ac 2"},
        {97, "-f vcd -target ntsc-vcd -mbd rd -trellis 1 -mpv_flags +mv0 -cmp 0 -subcmp 2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Adapted(Row(c.row), Debian12()), c.expected) << "row " << c.row;
}

namespace {

using Edit = std::function<void(FFmpegCapabilities&)>;

void DropEncoder(FFmpegCapabilities& caps, const char* name) {
    caps.encoders->erase(name);
}

void AddEncoder(FFmpegCapabilities& caps, const char* name, const char* codec,
                bool experimental = false) {
    (*caps.encoders)[name] = EncoderInfo{'A', codec, experimental};
}

struct RuleCase {
    const char* what;
    const char* tokens;
    const char* output;
    const char* expected; // nullptr: throws
    Edit edit = nullptr;  // applied to a copy of Debian 12's capabilities
};

const RuleCase kRuleCases[] = {
    // Missing encoders fall back to the best one of the same format.
    {"libfdk_aac is preferred", "-acodec libfaac -ab 128k", "a.m4a", "-acodec libfdk_aac -ab 128k",
     [](auto& c) { AddEncoder(c, "libfdk_aac", "aac"); }},
    {"a stream specifier", "-c:a libfaac", "a.m4a", "-c:a aac"},
    {"an experimental stand-in is allowed", "-acodec libfaac", "a.m4a",
     "-acodec aac -strict experimental", [](auto& c) { AddEncoder(c, "aac", "aac", true); }},
    {"libxvid becomes mpeg4 and keeps its AVI tag", "-f avi -vcodec libxvid -vtag XVID", "a.avi",
     "-f avi -vcodec mpeg4 -vtag XVID", [](auto& c) { DropEncoder(c, "libxvid"); }},
    {"libmp3lame becomes libshine", "-acodec libmp3lame -ab 128k", "a.mp3",
     "-acodec libshine -ab 128k", [](auto& c) { DropEncoder(c, "libmp3lame"); }},
    {"no aac encoder at all", "-acodec libfaac", "a.m4a", nullptr,
     [](auto& c) { DropEncoder(c, "aac"); }},
    {"an encoder nobody knows", "-vcodec nosuchcodec", "a.avi", nullptr},
    {"a codec name is taken as FFmpeg takes it", "-acodec mp3 -vcodec h264", "a.mkv",
     "-acodec mp3 -vcodec h264"},
    {"copy is no encoder", "-acodec copy -vcodec copy", "a.mkv", "-acodec copy -vcodec copy"},
    // Experimental encoders.
    {"vorbis allowed by -strict -2", "-acodec vorbis -strict -2", "a.ogg",
     "-acodec vorbis -strict -2"},
    {"vorbis allowed by -strict experimental", "-strict experimental -acodec vorbis", "a.ogg",
     "-strict experimental -acodec vorbis"},
    {"vorbis without libvorbis", "-acodec vorbis -strict -1", "a.ogg",
     "-acodec vorbis -strict -1 -strict experimental",
     [](auto& c) { DropEncoder(c, "libvorbis"); }},
    // Switches.
    {"-trellis at the end", "-mbd rd -trellis", "a.mpg", "-mbd rd -trellis 1"},
    {"-trellis with a value", "-trellis 2 -trellis -1", "a.mpg", "-trellis 2 -trellis -1"},
    {"-aic joins the last -flags", "-flags +loop -aic -flags +4mv", "a.avi",
     "-flags +loop -flags +mv4+aic"},
    {"-mv0 without -mpv_flags", "-mbd rd -mv0 -cmp 2", "a.mpg", "-mbd rd -mpv_flags +mv0 -cmp 2"},
    {"-mv0 joins -mpv_flags", "-mpv_flags qp_rd -mv0", "a.mpg", "-mpv_flags qp_rd+mv0"},
    {"a flag set without a sign", "-flags 4mv-loop", "a.avi", "-flags mv4-loop"},
    // Crop and deblock.
    {"all four crop sides into an existing -vf",
     "-cropleft 4 -croptop 2 -cropright 6 -cropbottom 0 -vf hflip", "a.avi",
     "-vf crop=iw-4-6:ih-2:4:2,hflip"},
    {"only alpha", "-deblockalpha -1 -refs 1", "a.mp4", "-deblock -1:0 -refs 1"},
    // Units.
    {"bit rates of every kind", "-b:v 1000kb -ab 1.5Mb -maxrate 2Gb -bufsize 4M -bt 256k", "a.mp4",
     "-b:v 1000k -ab 1.5M -maxrate 2G -bufsize 4M -bt 256k"},
    {"other values and bytes keep their b", "-ab 128kB -metadata comment=64kb -aq 60kb", "a.mp3",
     "-ab 128kB -metadata comment=64kb -aq 60kb"},
    {"the unit probe is unknown", "-ab 128kb", "a.mp3", "-ab 128kb",
     [](auto& c) { c.acceptsUnitWithB.reset(); }},
    // Tags.
    {"-f mp4 wins over the extension", "-f mp4 -vtag xvid", "a.avi", "-f mp4"},
    {"the extension decides without -f", "-tag:v DIVX -r 25", "a.M4V", "-r 25"},
    {"-f avi keeps the tag", "-f avi -vtag XVID", "a.mp4", "-f avi -vtag XVID"},
    {"MOV takes the tag", "-vtag XVID", "a.mov", "-vtag XVID"},
    {"a tag MP4 knows", "-vtag hvc1", "a.mp4", "-vtag hvc1"},
    {"the tag probe is unknown", "-vtag XVID", "a.mp4", "-vtag XVID",
     [](auto& c) { c.acceptsAviTagInMp4.reset(); }},
};

} // namespace

TEST(ParamsAdapter, RulesRewriteOnlyWhatTheBuildLacks) {
    for (const RuleCase& c : kRuleCases) {
        SCOPED_TRACE(c.what);
        FFmpegCapabilities caps = Debian12();
        if (c.edit)
            c.edit(caps);
        if (!c.expected) {
            EXPECT_THROW(AdaptParams(Split(c.tokens), caps, c.output), Exception);
            continue;
        }
        EXPECT_EQ(Join(AdaptParams(Split(c.tokens), caps, c.output)), c.expected);
    }
}

TEST(ParamsAdapter, AMissingEncoderNamesItself) {
    FFmpegCapabilities caps = Debian12();
    DropEncoder(caps, "aac");
    try {
        AdaptParams(Split("-vcodec mpeg4 -acodec libfaac"), caps, "a.mp4");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("\"libfaac\""), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("aac encoder"), std::string::npos) << e.what();
    }
}

TEST(ParamsAdapter, EveryRuleSaysWhatWhenAndWhy) {
    ASSERT_FALSE(CompatRules().empty());
    for (const CompatRule& rule : CompatRules()) {
        EXPECT_FALSE(rule.oldForm.empty());
        EXPECT_FALSE(rule.newForm.empty());
        EXPECT_FALSE(rule.condition.empty());
        EXPECT_FALSE(rule.why.empty());
        EXPECT_NE(rule.apply, nullptr);
    }
}
