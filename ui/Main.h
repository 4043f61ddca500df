#pragma once

// The main window: the profile menu, the output folder, "Convert...", "Show Files..." and "Exit".
// It holds the selected profile as the text of its fpType panel.

#include "ui/SettingsStore.h"

#include <QPoint>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>

class QAction;
class QMenu;

namespace Ui {
class TfrmMain;
}

namespace kestrine {

class TConvertProcess;

class TfrmMain : public QWidget, public ISettingsView {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The values the settings store reads and writes.
    std::string OutputDir() const override { return outputDir; }
    void SetOutputDir(const std::string& dir) override { outputDir = dir; }
    std::string OutputFolderText() const override;
    std::string ProfileText() const override;
    // Sets the text of fpType and its hint; the extension label follows.
    void SetProfileText(const std::string& text) override;
    bool SameInput() const override;
    // Through the box's setter: cbSameInputClick runs when the tick changes.
    void SetSameInput(bool checked) override;
    std::string AnotherFFmpegPath() const override { return anotherFFmpegPath; }
    void SetAnotherFFmpegPath(const std::string& path) override { anotherFFmpegPath = path; }
    bool UseDefaultFFmpeg() const override { return useDefaultFFmpeg; }
    void SetUseDefaultFFmpeg(bool useDefault) override { useDefaultFFmpeg = useDefault; }

    // The program's one conversion process, from creation to closing (null afterwards).
    TConvertProcess* ConvertProcess() const { return convertProcess.get(); }

    // Folders of the input files picked by the last "Convert..." (with trailing "/"), this run.
    const std::string& SameInputDir() const { return sameInputDir; }
    const std::string& LastInputDir() const { return lastInputDir; }

    // The FFmpeg arguments and the output extension of the current profile text.
    std::string GetProfileParams() const;
    std::string GetProfileExt() const;

    // Where fpTypeClick opens the profile menu, in screen pixels: x is the menu's horizontal
    // centre, y its top.
    QPoint ProfileMenuPoint() const;

public slots:
    void bConvertClick();
    void bBrowserClick();
    void bShowFilesClick();
    void bExitClick();
    void fpTypeClick();
    void TypeMenuClick(QAction* item);
    void cbSameInputClick();
    void miManualConvertClick();

    // The Advanced menu and the title links.
    void iAboutClick();
    void Homepage1Click();
    void Donate1Click();
    void lTitleClick();
    void About1Click();
    void UseanotherFFMpeg1Click();

    // A later start of the program asked this one to show itself: the main window is made
    // visible and restored, and the program's modal window (a dialog, the progress window) is
    // brought to the front, or else the main window.
    void WMShowInstance();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void BuildProfileMenu();
    void BuildAdvancedMenu();
    void RefreshExtLabel();

    std::unique_ptr<Ui::TfrmMain> ui;
    std::unique_ptr<TConvertProcess> convertProcess;
    QMenu* pmType = nullptr;
    QAction* miManualConvert = nullptr;
    QAction* aTotal = nullptr;
    QAction* Action1 = nullptr;
    QMenu* suiPopupMenu1 = nullptr;
    QAction* UseanotherFFMpeg1 = nullptr;

    std::string sameInputDir;
    std::string lastInputDir;
    std::string outputDir;
    std::string anotherFFmpegPath;
    bool useDefaultFFmpeg = true;
    // The file dialog's starting folder: kept from one "Convert..." to the next, changed only
    // to a last input folder that still exists.
    QString openDialogFolder;
    bool shown = false;
    bool profileItemsWired = false;
    bool closed = false;
};

} // namespace kestrine
