#include "ui/SettingsStore.h"

#include "base/Exception.h"
#include "platform/AppDirs.h"
#include "ui/Global.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrine;
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

// Stands in for the main window: its fields and controls, the click handler of cbSameInput
// (which enables the output folder edit exactly while the box is not ticked) and the order in
// which the store set them.
class FakeView : public ISettingsView {
public:
    std::string outputDir;
    std::string outputFolderText;
    std::string profileText;
    std::string profileHint;
    bool sameInput = false; // unticked at construction
    bool outputFolderEnabled = true;
    int sameInputClicks = 0;
    std::string anotherFFmpegPath;
    bool useDefaultFFmpeg = false;
    std::vector<std::string> calls;

    std::string OutputDir() const override { return outputDir; }
    void SetOutputDir(const std::string& dir) override {
        outputDir = dir;
        calls.push_back("OutputDir");
    }
    std::string OutputFolderText() const override { return outputFolderText; }
    std::string ProfileText() const override { return profileText; }
    void SetProfileText(const std::string& text) override {
        profileText = profileHint = text;
        calls.push_back("ProfileText");
    }
    bool SameInput() const override { return sameInput; }
    void SetSameInput(bool checked) override {
        calls.push_back("SameInput");
        if (checked == sameInput)
            return;
        sameInput = checked;
        ++sameInputClicks;
        outputFolderEnabled = !sameInput;
    }
    std::string AnotherFFmpegPath() const override { return anotherFFmpegPath; }
    void SetAnotherFFmpegPath(const std::string& path) override {
        anotherFFmpegPath = path;
        calls.push_back("AnotherFFmpegPath");
    }
    bool UseDefaultFFmpeg() const override { return useDefaultFFmpeg; }
    void SetUseDefaultFFmpeg(bool useDefault) override {
        useDefaultFFmpeg = useDefault;
        calls.push_back("UseDefaultFFmpeg");
    }
};

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrine-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        folder = root + "/config/Tallowmere/Kestrine/";
        file = folder + "settings.ini";
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(root, error);
    }

    // A settings file holding the given lines under [Options].
    void Store(const std::string& lines) {
        fs::create_directories(folder);
        WriteFile(file, "[Options]\n" + lines);
    }

    FakeView Load() {
        FakeView view;
        LoadOrSaveSettings(view, true);
        return view;
    }

    std::string root;
    std::string folder;
    std::string file;
};

TEST_F(SettingsStoreTest, FirstStartTakesTheDefaultsAndTheSaveCreatesTheFile) {
    FakeView view = Load();
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(view.outputDir, folder);
    EXPECT_EQ(view.profileText, "");
    EXPECT_FALSE(view.sameInput);
    EXPECT_EQ(view.sameInputClicks, 0);
    EXPECT_EQ(view.anotherFFmpegPath, "");
    EXPECT_TRUE(view.useDefaultFFmpeg);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"OutputDir", "ProfileText", "SameInput",
                                                    "AnotherFFmpegPath", "UseDefaultFFmpeg"}));

    view.outputFolderText = view.outputDir;
    LoadOrSaveSettings(view, false);
    EXPECT_EQ(ReadFile(file), "[Options]\nOutputDirectory=" + folder +
                                  "\nOutputFormat=\nSameInput=0\nAnotherFFmpeg=\n"
                                  "NotUseAnotherFFmpeg=1\n");
}

TEST_F(SettingsStoreTest, SavedSettingsReadBackIdentically) {
    const std::string videos = root + "/Vidéos [1]; a=b";
    fs::create_directories(videos);
    FakeView saved;
    saved.outputFolderText = videos;
    saved.profileText = "ffmpeg -i %1 -vcodec libx264 \"%1.mp4\"";
    saved.sameInput = true;
    saved.anotherFFmpegPath = "/opt/ffmpeg 6/bin/ffmpeg";
    saved.useDefaultFFmpeg = false;
    LoadOrSaveSettings(saved, false);
    EXPECT_EQ(saved.outputDir, videos);

    FakeView loaded = Load();
    EXPECT_EQ(loaded.outputDir, videos);
    EXPECT_EQ(loaded.profileText, saved.profileText);
    EXPECT_EQ(loaded.profileHint, saved.profileText);
    EXPECT_TRUE(loaded.sameInput);
    EXPECT_FALSE(loaded.outputFolderEnabled); // the click handler ran
    EXPECT_EQ(loaded.anotherFFmpegPath, saved.anotherFFmpegPath);
    EXPECT_FALSE(loaded.useDefaultFFmpeg);
}

TEST_F(SettingsStoreTest, BooleansReadAsIntegers) {
    struct Case {
        const char* stored; // nullptr: no such key
        bool sameInput;
        bool notUseAnother;
    } cases[] = {
        {"1", true, true},      {"2", true, true},     {"-1", true, true},
        {"0x1", true, true},    {"$10", true, true},   {" 7 ", true, true},
        {"0", false, false},    {"0x0", false, false}, {"word", false, true},
        {"", false, true},      {"1.0", false, true},  {"4294967296", false, true},
        {nullptr, false, true}, {"0x", false, true},
    };
    for (const auto& c : cases) {
        Store(c.stored ? std::string("SameInput=") + c.stored +
                             "\nNotUseAnotherFFmpeg=" + c.stored + "\n"
                       : std::string());
        const FakeView view = Load();
        EXPECT_EQ(view.sameInput, c.sameInput) << (c.stored ? c.stored : "(missing)");
        EXPECT_EQ(view.outputFolderEnabled, !c.sameInput);
        EXPECT_EQ(view.useDefaultFFmpeg, c.notUseAnother) << (c.stored ? c.stored : "(missing)");
    }
}

TEST_F(SettingsStoreTest, StoredValuesAreTakenUnchecked) {
    Store("OutputDirectory=\nOutputFormat=No Such Profile\nAnotherFFmpeg=/gone/ffmpeg\n");
    const FakeView view = Load();
    EXPECT_EQ(view.outputDir, ""); // present but empty: not the default
    EXPECT_EQ(view.profileText, "No Such Profile");
    EXPECT_EQ(view.anotherFFmpegPath, "/gone/ffmpeg");
}

// The save takes the edit's text as the output folder only when it names an existing folder.
TEST_F(SettingsStoreTest, SaveRefreshesTheOutputFolderFromTheEdit) {
    const std::string existing = root + "/out";
    fs::create_directories(existing);
    struct Case {
        std::string editText;
        std::string written;
    } cases[] = {
        {root + "/missing", "/previous/"},
        {"", "/previous/"},
        {file, "/previous/"}, // a file, not a folder
        {existing, existing},
    };
    for (const auto& c : cases) {
        FakeView view;
        view.outputDir = "/previous/";
        view.outputFolderText = c.editText;
        LoadOrSaveSettings(view, false);
        EXPECT_EQ(view.outputDir, c.written) << c.editText;
        EXPECT_EQ(Load().outputDir, c.written) << c.editText;
    }
}

TEST_F(SettingsStoreTest, HandEditedFileKeepsEverythingOnSave) {
    const std::string before = "; my settings\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "Keep=me\r\n"
                               "\r\n"
                               "[options]\r\n"
                               "  outputformat =  \"MP4 - MPEG-4 Video\"\r\n"
                               "; SameInput=1\r\n"
                               "samEinput\t=\t0\r\n"
                               "\r\n";
    Store("");
    WriteFile(file, before);
    FakeView view = Load();
    EXPECT_EQ(view.profileText, "MP4 - MPEG-4 Video");
    view.outputDir = "/v/";
    view.sameInput = true;
    LoadOrSaveSettings(view, false);
    EXPECT_EQ(ReadFile(file), "; my settings\r\n"
                              "\r\n"
                              "[Other]\r\n"
                              "Keep=me\r\n"
                              "\r\n"
                              "[options]\r\n"
                              "  outputformat =MP4 - MPEG-4 Video\r\n"
                              "; SameInput=1\r\n"
                              "samEinput\t=1\r\n"
                              "OutputDirectory=/v/\r\n"
                              "AnotherFFmpeg=\r\n"
                              "NotUseAnotherFFmpeg=1\r\n"
                              "\r\n");
}

TEST_F(SettingsStoreTest, UnwritableFileRaisesAndKeepsItsText) {
    const std::string before = "[Options]\nOutputFormat=AVI\nSameInput=1\n";
    Store("");
    WriteFile(file, before);
    ::chmod(file.c_str(), 0444);
    FakeView view = Load();
    EXPECT_EQ(view.profileText, "AVI");
    try {
        LoadOrSaveSettings(view, false);
        ADD_FAILURE() << "no error raised";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + file);
    }
    EXPECT_EQ(ReadFile(file), before);

    // A folder in the file's place: nothing to read, nothing written, nothing left behind.
    fs::remove(file);
    fs::create_directory(file);
    EXPECT_EQ(Load().outputDir, folder);
    EXPECT_THROW(LoadOrSaveSettings(view, false), Exception);
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// A value that would break the file's lines is refused; the keys after it are not written.
TEST_F(SettingsStoreTest, LineBreakInAValueStopsTheSave) {
    FakeView view;
    view.outputDir = "/v/";
    view.profileText = "ffmpeg -i %1\n[Options]\nSameInput=1";
    EXPECT_THROW(LoadOrSaveSettings(view, false), Exception);
    EXPECT_EQ(ReadFile(file), "[Options]\nOutputDirectory=/v/\n");
}

TEST_F(SettingsStoreTest, BinaryGarbageReadsAsDefaults) {
    std::string garbage;
    unsigned seed = 12345;
    for (int i = 0; i < 64 * 1024; ++i) {
        seed = seed * 1103515245u + 12345u;
        garbage += static_cast<char>(seed >> 16);
    }
    Store("");
    WriteFile(file, garbage);
    FakeView view = Load();
    EXPECT_EQ(view.outputDir, folder);
    EXPECT_EQ(view.profileText, "");
    EXPECT_FALSE(view.sameInput);
    EXPECT_TRUE(view.useDefaultFFmpeg);

    view.profileText = "AVI";
    LoadOrSaveSettings(view, false);
    EXPECT_EQ(ReadFile(file).substr(0, garbage.size()), garbage);
    EXPECT_EQ(Load().profileText, "AVI");
}

TEST_F(SettingsStoreTest, FallsBackToTheProgramFolder) {
    WriteFile(root + "/config", "a file where the folder should be");
    EXPECT_EQ(SettingsFolder(), platform::ProgramDir());
    EXPECT_EQ(Load().outputDir, platform::ProgramDir());
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(platform::ProgramDir(), self.substr(0, self.rfind('/') + 1));
}

TEST_F(SettingsStoreTest, AppDataFolder) {
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    const std::string home = root + "/home";
    ::setenv("HOME", home.c_str(), 1);
    struct Case {
        const char* xdg; // nullptr: unset
        std::string expected;
    } cases[] = {
        {"/x/conf", "/x/conf/"},
        {"/x/conf/", "/x/conf/"},
        {nullptr, home + "/.config/"},
        {"", home + "/.config/"},
        {"relative/conf", home + "/.config/"},
    };
    for (const auto& c : cases) {
        if (c.xdg)
            ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(GetAppDataDir(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

// Killing the program at any moment of a save leaves a whole settings file: each key holds
// either its old or its new value.
TEST_F(SettingsStoreTest, KilledSaveLeavesAWholeFile) {
    FakeView versions[2];
    for (int i = 0; i < 2; ++i) {
        versions[i].outputDir = "/v" + std::to_string(i) + "/";
        versions[i].profileText = std::string(512 * 1024, static_cast<char>('a' + i));
        versions[i].sameInput = i == 1;
        versions[i].anotherFFmpegPath = std::string(512 * 1024, static_cast<char>('p' + i));
        versions[i].useDefaultFFmpeg = i == 0;
    }
    LoadOrSaveSettings(versions[0], false);
    const std::map<std::string, std::vector<std::string>> allowed = {
        {"OutputDirectory", {"/v0/", "/v1/"}},
        {"OutputFormat",
         {versions[0].profileText.substr(0, 2047), versions[1].profileText.substr(0, 2047)}},
        {"SameInput", {"0", "1"}},
        {"AnotherFFmpeg",
         {versions[0].anotherFFmpegPath.substr(0, 2047),
          versions[1].anotherFFmpegPath.substr(0, 2047)}},
        {"NotUseAnotherFFmpeg", {"0", "1"}},
    };

    for (int round = 0; round < 6; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                LoadOrSaveSettings(versions[i % 2], false);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2 + 7 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        const std::string text = ReadFile(file);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.rfind("[Options]\n", 0), 0u);
        std::istringstream lines(text.substr(10));
        std::string line;
        int keys = 0;
        while (std::getline(lines, line)) {
            const auto equals = line.find('=');
            ASSERT_NE(equals, std::string::npos) << "round " << round;
            const auto& values = allowed.at(line.substr(0, equals));
            const std::string value = line.substr(equals + 1, 2047);
            EXPECT_TRUE(value == values[0] || value == values[1]) << line.substr(0, 40);
            ++keys;
        }
        EXPECT_EQ(keys, 5) << "round " << round;
    }
    // Whatever the kills left behind, the next save and load work.
    LoadOrSaveSettings(versions[1], false);
    EXPECT_EQ(Load().outputDir, "/v1/");
}

} // namespace
