#include "profiles/ProfileLookup.h"
#include "profiles/ManualProfile.h"

#include <gtest/gtest.h>

using namespace kestrine;

TEST(ProfileLookup, CataloguedAndUnmatchedTexts) {
    struct Case {
        const char* text;
        const char* params;
        const char* ext;
    } cases[] = {
        {"", "", ""},
        {"Zune", "-vcodec wmv2  -acodec wmav2 -b 640kb -ab 128kb -r 23.97 -s 320x240 ", ".wmv"},
        {"WMV2 Generic", "-vcodec wmv2  -acodec wmav2 -b 1000kb -ab 160kb -r 25 ", ".wmv"},
        {"WMV (*.wmv)", "-vcodec wmv2  -acodec wmav2 -b 1000kb -ab 160kb -r 25 ", ".wmv"},
        {"MPEG-1 (*.mpg)", "-f mpeg -acodec mp2 -vcodec mpeg1video -b 1152k -ar 44100 -ab 128k ",
         ".mpg"},
        {"MPEG-2 (*.mpg)", "-f mpeg -acodec mp2 -vcodec mpeg2video -b 1152k -ar 44100 -ab 128k ",
         ".mpg"},
        {"MP3 - MPEG Layer-3 Audio", "-vn -acodec libmp3lame -ab 128kb -ac 2 -ar 44100 ", ".mp3"},
        {"Power Point",
         "-vcodec wmv2  -acodec wmav2 -aspect 4:3 -b 500k -ab 32k -ac 1 -ar 22050 -s 320x240 ",
         ".wmv"},
        // Unmatched: other case, blanks, an accelerator mark, category and menu captions.
        {"zune", "", ""},
        {"ZUNE", "", ""},
        {" Zune", "", ""},
        {"Zune ", "", ""},
        {"Zu&ne", "", ""},
        {"&Zune", "", ""},
        {"Flash Video Movie (*.flv)", "", ""},
        {"Manual conversion", "", ""},
        {"-", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetProfileParams(c.text), c.params) << '"' << c.text << '"';
        EXPECT_EQ(GetProfileExt(c.text), c.ext) << '"' << c.text << '"';
    }
    EXPECT_EQ(ProfileExtLabel(""), "(*)");
    EXPECT_EQ(ProfileExtLabel("Zune"), "(*.wmv)");
}

TEST(ProfileLookup, MenuCaptionLosesItsFirstAccelerator) {
    EXPECT_EQ(ProfileTextFromMenuCaption("&Zune"), "Zune");
    EXPECT_EQ(ProfileTextFromMenuCaption("Z&u&ne"), "Zu&ne");
    EXPECT_EQ(ProfileTextFromMenuCaption("Zune"), "Zune");
}

TEST(ManualProfile, ComposeAndRecognise) {
    EXPECT_EQ(ComposeManualProfileText("-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1", "mov"),
              "ffmpeg -i %1 -s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1 %1.mov");
    EXPECT_EQ(ComposeManualProfileText("", ""), "ffmpeg -i %1  %1.");
    EXPECT_TRUE(IsManualProfileText("ffmpeg"));
    EXPECT_TRUE(IsManualProfileText("FFMPEG -i %1 -x %1.y"));
    EXPECT_TRUE(IsManualProfileText("FfMpEgwhatever"));
    EXPECT_FALSE(IsManualProfileText(" ffmpeg -i %1 -x %1.y"));
    EXPECT_FALSE(IsManualProfileText("ffmpe"));
    EXPECT_FALSE(IsManualProfileText(""));
}

TEST(ManualProfile, LookupsAndPrefillCutTheText) {
    struct Case {
        const char* text;
        const char* params;
        const char* ext;
        const char* commandLine; // prefill; nullptr: not a manual text, defaults stay
        const char* extension;
    } cases[] = {
        // The dialog's defaults.
        {"ffmpeg -i %1 -s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1 %1.mov",
         "-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1 ", ".mov",
         "-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1", "mov"},
        // Letter case of the head does not matter; the first 13 characters are skipped unread.
        {"FFMPEG -I %1 -b 1 %1.mp4", "-b 1 ", ".mp4", "-b 1", "mp4"},
        {"ffmpegXXXXXXX-b 1 %1.mp4", "-b 1 ", ".mp4", "-b 1", "mp4"},
        // A "%1." inside the command line moves the split to it.
        {"ffmpeg -i %1 -x %1.a -y %1.mkv", "-x ", ".a -y %1.mkv", "-x", "a -y %1.mkv"},
        // "%1" without a dot is not special.
        {"ffmpeg -i %1 -map %1 -c copy %1.mkv", "-map %1 -c copy ", ".mkv", "-map %1 -c copy",
         "mkv"},
        // Two spaces typed in the command line stay.
        {"ffmpeg -i %1 -b 1  -r 2 %1.avi", "-b 1  -r 2 ", ".avi", "-b 1  -r 2", "avi"},
        // Empty command line and extension, as only a settings file can hold.
        {"ffmpeg -i %1  %1.", " ", ".", "", ""},
        // "%1." at position 14 or earlier: empty arguments.
        {"ffmpeg -i %1 %1.mp3", "", ".mp3", "", "mp3"},
        {"ffmpeg %1.mp3", "", ".mp3", "", "mp3"},
        // Recognised without any "%1.": no arguments and no extension; the prefill keeps the
        // options so the user can complete the text.
        {"ffmpeg -i %1 -vn -acodec copy", "", "", "-vn -acodec copy", ""},
        {"ffmpeg", "", "", "", ""},
        // Anything before "ffmpeg": unmatched.
        {" ffmpeg -i %1 -b 1 %1.mp4", "", "", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(GetProfileParams(c.text), c.params);
        EXPECT_EQ(GetProfileExt(c.text), c.ext);
        const auto fields = CutManualProfileText(c.text);
        if (c.commandLine == nullptr) {
            EXPECT_FALSE(fields.has_value());
            continue;
        }
        ASSERT_TRUE(fields.has_value());
        EXPECT_EQ(fields->commandLine, c.commandLine);
        EXPECT_EQ(fields->extension, c.extension);
    }
}

TEST(ManualProfile, ComposedFieldsCutBackToThemselves) {
    const std::pair<const char*, const char*> fields[] = {{"-vn -acodec libmp3lame", "mp3"},
                                                          {"   ", " "},
                                                          {"-metadata title=\"a b\"", "mkv"},
                                                          {"x", "tar.gz"}};
    for (const auto& [commandLine, extension] : fields) {
        const auto text = ComposeManualProfileText(commandLine, extension);
        const auto cut = CutManualProfileText(text);
        ASSERT_TRUE(cut.has_value());
        EXPECT_EQ(cut->commandLine, commandLine);
        EXPECT_EQ(cut->extension, extension);
        EXPECT_EQ(GetProfileParams(text), std::string(commandLine) + " ");
        EXPECT_EQ(GetProfileExt(text), "." + std::string(extension));
    }
}
