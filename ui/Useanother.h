#pragma once

// The FFmpeg location dialog: the user names an ffmpeg program for conversions, or ticks
// "Don't use it" to run the plain "ffmpeg" that the system finds itself.

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class TfrmUseFFmpeg;
}

namespace kestrine {

// The name of the FFmpeg program on this platform, the only name the file dialog lists.
inline constexpr char kFFmpegFileName[] = "ffmpeg";

// "&Default": the program's own folder, a "/" unless it ends in one, then "ffmpeg". Nothing is
// tested.
QString DefaultFFmpegPath(const QString& programDir);

// True when path names something that exists and is not a folder.
bool FFmpegFileExists(const QString& path);

// OK is accepted with "Don't use it" ticked whatever the path holds, otherwise only for the path
// of an existing file.
bool FFmpegChoiceAccepted(bool dontUseIt, const QString& path);

class TfrmUseFFmpeg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUseFFmpeg(QWidget* owner = nullptr);
    ~TfrmUseFFmpeg() override;

    // The text of Edit1, handed in and out unchanged.
    QString Path() const;
    void SetPath(const QString& path);
    // The tick of "Don't use it".
    bool NotUseAnother() const;
    void SetNotUseAnother(bool notUseAnother);

    void FormShow();
    void bBrowserClick();
    void bDefaultClick();
    void bOKClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmUseFFmpeg> ui;
    bool shown = false;
};

} // namespace kestrine
