#pragma once

// The main window: the profile menu, the output folder, "Convert...", "Show Files..." and "Exit".
// It holds the selected profile as the text of its fpType panel.

#include <QPoint>
#include <QWidget>

#include <memory>
#include <string>

class QAction;
class QMenu;

namespace Ui {
class TfrmMain;
}

namespace kestrine {

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The values the settings store reads and writes.
    std::string OutputDir() const { return outputDir; }
    void SetOutputDir(const std::string& dir) { outputDir = dir; }
    std::string OutputFolderText() const;
    std::string ProfileText() const;
    // Sets the text of fpType and its hint; the extension label follows.
    void SetProfileText(const std::string& text);
    bool SameInput() const;
    // Through the box's setter: cbSameInputClick runs when the tick changes.
    void SetSameInput(bool checked);
    std::string AnotherFFmpegPath() const { return anotherFFmpegPath; }
    void SetAnotherFFmpegPath(const std::string& path) { anotherFFmpegPath = path; }
    bool UseDefaultFFmpeg() const { return useDefaultFFmpeg; }
    void SetUseDefaultFFmpeg(bool useDefault) { useDefaultFFmpeg = useDefault; }

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
    void bBrowserClick();
    void bShowFilesClick();
    void bExitClick();
    void fpTypeClick();
    void TypeMenuClick(QAction* item);
    void cbSameInputClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void BuildProfileMenu();
    void RefreshExtLabel();

    std::unique_ptr<Ui::TfrmMain> ui;
    QMenu* pmType = nullptr;
    QAction* miManualConvert = nullptr;
    QAction* aTotal = nullptr;
    QAction* Action1 = nullptr;

    std::string sameInputDir;
    std::string lastInputDir;
    std::string outputDir;
    std::string anotherFFmpegPath;
    bool useDefaultFFmpeg = true;
    bool shown = false;
    bool profileItemsWired = false;
    bool closed = false;
};

} // namespace kestrine
