#pragma once

// The five settings kept between runs in settings.ini, section "Options", in the settings folder.

#include <string>

namespace kestrine {

// What the settings are read into and written from: the main window's controls and fields.
class ISettingsView {
public:
    virtual ~ISettingsView() = default;
    virtual std::string OutputDir() const = 0; // field OutputDir
    virtual void SetOutputDir(const std::string& dir) = 0;
    virtual std::string OutputFolderText() const = 0;         // text of the edit eOutputFolder
    virtual std::string ProfileText() const = 0;              // text of fpType
    virtual void SetProfileText(const std::string& text) = 0; // sets fpType's text and its hint
    virtual bool SameInput() const = 0;                       // checked state of cbSameInput
    virtual void SetSameInput(bool checked) = 0; // through the box's setter: its click handler
                                                 // runs on a change
    virtual std::string AnotherFFmpegPath() const = 0; // field AnotherFFmpegPath
    virtual void SetAnotherFFmpegPath(const std::string& path) = 0;
    virtual bool UseDefaultFFmpeg() const = 0; // field UseDefaultFFmpeg
    virtual void SetUseDefaultFFmpeg(bool useDefault) = 0;
};

// Reads (load true) or writes (load false) the five settings. A read takes the default of a
// missing or unreadable key. A save first takes the text of eOutputFolder as OutputDir when it
// names an existing folder, then writes the keys one by one; a failing write raises
// kestrine::Exception("Unable to write to " + full path of settings.ini) and the keys after it
// are not written.
void LoadOrSaveSettings(ISettingsView& view, bool load);

// GetAppDataDir() + "Tallowmere/Kestrine/", created with its missing parents. When it cannot be
// created (or no application-data folder is known), the program's own folder + "/". Worked out
// afresh on every call.
std::string SettingsFolder();

} // namespace kestrine
