#include "ui/Useanother.h"

#include "ui_Useanother.h"

#include "base/Paths.h"
#include "base/Strings.h"
#include "platform/FileDialog.h"
#include "ui/Messages.h"
#include "ui/Style.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QShowEvent>

#include <limits>
#include <string>

namespace kestrine {

QString DefaultFFmpegPath(const QString& programDir) {
    return PathToQt(IncludeTrailingPathDelimiter(PathFromQt(programDir)) + kFFmpegFileName);
}

bool FFmpegFileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool FFmpegChoiceAccepted(bool dontUseIt, const QString& path) {
    return dontUseIt || FFmpegFileExists(path);
}

TfrmUseFFmpeg::TfrmUseFFmpeg(QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfrmUseFFmpeg>()) {
    ui->setupUi(this);
    DressForm(this);
    setFixedSize(368, 139);
    ui->Edit1->setMaxLength(std::numeric_limits<int>::max());
    // The check box is as wide as its text needs.
    ui->cbNotUseAnother->resize(ui->cbNotUseAnother->sizeHint().width(),
                                ui->cbNotUseAnother->height());

    connect(ui->bBrowser, &QPushButton::clicked, this, &TfrmUseFFmpeg::bBrowserClick);
    connect(ui->bDefault, &QPushButton::clicked, this, &TfrmUseFFmpeg::bDefaultClick);
    connect(ui->bOK, &QPushButton::clicked, this, &TfrmUseFFmpeg::bOKClick);
    connect(ui->bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmUseFFmpeg::~TfrmUseFFmpeg() = default;

QString TfrmUseFFmpeg::Path() const {
    return ui->Edit1->text();
}

void TfrmUseFFmpeg::SetPath(const QString& path) {
    ui->Edit1->setText(path);
}

bool TfrmUseFFmpeg::NotUseAnother() const {
    return ui->cbNotUseAnother->isChecked();
}

void TfrmUseFFmpeg::SetNotUseAnother(bool notUseAnother) {
    ui->cbNotUseAnother->setChecked(notUseAnother);
}

void TfrmUseFFmpeg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown && !event->spontaneous()) {
        shown = true;
        FormShow();
    }
}

void TfrmUseFFmpeg::FormShow() {
    if (!ui->Edit1->text().isEmpty())
        ui->Edit1->setFocus();
}

void TfrmUseFFmpeg::bBrowserClick() {
    platform::OpenFilesRequest request;
    request.owner = this;
    const QString name = QString::fromLatin1(kFFmpegFileName);
    request.filter = name + " (" + name + ")";
    request.multiple = false;
    const QStringList picked = platform::GetOpenFileNames(request);
    if (!picked.isEmpty())
        ui->Edit1->setText(picked.front());
}

void TfrmUseFFmpeg::bDefaultClick() {
    ui->Edit1->setText(DefaultFFmpegPath(QCoreApplication::applicationDirPath()));
}

void TfrmUseFFmpeg::bOKClick() {
    if (FFmpegChoiceAccepted(ui->cbNotUseAnother->isChecked(), ui->Edit1->text())) {
        accept();
        return;
    }
    ShowAppMessage(this, ToQt(strings::kFFmpegMissing), platform::MessageIcon::Information);
}

} // namespace kestrine
