#include "ui/SettingsStore.h"

#include "base/Exception.h"
#include "base/Text.h"
#include "platform/AppDirs.h"
#include "platform/IniFile.h"
#include "ui/Global.h"

namespace kestrine {

namespace {

constexpr const char* kSection = "Options";
constexpr const char* kOutputDirectory = "OutputDirectory";
constexpr const char* kOutputFormat = "OutputFormat";
constexpr const char* kSameInput = "SameInput";
constexpr const char* kAnotherFFmpeg = "AnotherFFmpeg";
constexpr const char* kNotUseAnotherFFmpeg = "NotUseAnotherFFmpeg";

bool ReadBool(const platform::IniFile& ini, const char* key, bool fallback) {
    return IniStrToBool(ini.ReadString(kSection, key, ""), fallback);
}

void Write(platform::IniFile& ini, const char* key, const std::string& value) {
    if (!ini.WriteString(kSection, key, value))
        throw Exception("Unable to write to " + ini.FileName());
}

} // namespace

std::string SettingsFolder() {
    const std::string appData = GetAppDataDir();
    if (!appData.empty()) {
        const std::string folder = appData + "Tallowmere/Kestrine/";
        if (DirectoryExists(folder) || ForceDirectories(folder))
            return folder;
    }
    return platform::ProgramDir();
}

void LoadOrSaveSettings(ISettingsView& view, bool load) {
    const std::string folder = SettingsFolder();
    platform::IniFile ini(folder + "settings.ini");
    if (load) {
        view.SetOutputDir(ini.ReadString(kSection, kOutputDirectory, folder));
        view.SetProfileText(ini.ReadString(kSection, kOutputFormat, ""));
        view.SetSameInput(ReadBool(ini, kSameInput, false));
        view.SetAnotherFFmpegPath(ini.ReadString(kSection, kAnotherFFmpeg, ""));
        view.SetUseDefaultFFmpeg(ReadBool(ini, kNotUseAnotherFFmpeg, true));
        return;
    }
    if (const std::string text = view.OutputFolderText(); DirectoryExists(text))
        view.SetOutputDir(text);
    Write(ini, kOutputDirectory, view.OutputDir());
    Write(ini, kOutputFormat, view.ProfileText());
    Write(ini, kSameInput, IniBoolToStr(view.SameInput()));
    Write(ini, kAnotherFFmpeg, view.AnotherFFmpegPath());
    Write(ini, kNotUseAnotherFFmpeg, IniBoolToStr(view.UseDefaultFFmpeg()));
}

} // namespace kestrine
