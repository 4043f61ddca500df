#include "ui/ConvertHint.h"

#include "base/Paths.h"
#include "base/Strings.h"
#include "engine/ConvertProcess.h"
#include "engine/ProcessInfo.h"
#include "platform/Application.h"
#include "ui/Messages.h"
#include "ui/SettingsStore.h"
#include "ui/Style.h"

#include "ui_ConvertHint.h"

#include <QKeyEvent>
#include <QShowEvent>

#include <exception>
#include <utility>

namespace kestrine {

TfrmConvert::TfrmConvert(QWidget* owner, const ISettingsView& mainWindowView,
                         TConvertProcess& convertProcess, std::vector<std::string> files)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TfrmConvert>()), mainWindow(mainWindowView), process(convertProcess),
      queue(std::move(files)) {
    ui->setupUi(this);
    DressForm(this);
    setFixedSize(345, 144);
    setModal(true);
    ui->Image2->setPixmap(Picture(QStringLiteral("converting"), {32, 32}));
    for (QLabel* label : {ui->Label5, ui->lTimeElapsed, ui->Label6, ui->lTimeEstimated})
        label->adjustSize();
    connect(ui->bStop, &QPushButton::clicked, this, &TfrmConvert::bStopClick);
    setWindowTitle(ToQt(strings::kAppTitle));
}

TfrmConvert::~TfrmConvert() {
    // Freed without having been closed: the batch ends here all the same.
    if (!batchOver) {
        batchOver = true;
        FormClose();
    }
}

void TfrmConvert::StartStep() {
    queue.Ext = Ext;
    queue.SameAsInput = mainWindow.SameInput();
    queue.OutputFolder = mainWindow.OutputFolderText();

    process.Running = true;
    process.InputFile = queue.CurrentInput();
    process.OutputFile = queue.CurrentOutput();
    process.NotifyWindow = this;
    process.Params = Params;
    process.FFmpegPath = FFmpegPath;
    process.UseDefaultFFmpeg = UseDefaultFFmpeg;
    process.Start();

    const QString name = PathToQt(ExtractFileName(process.OutputFile));
    ui->lConvertName->setText(name);
    ui->lConvertName->setToolTip(name);
    setWindowTitle(ToQt(queue.Caption()));
    ui->suiProgressBar2->setValue(0);
}

void TfrmConvert::FormShow() {
    try {
        StartStep();
        queue.FailedList.clear();
    } catch (const std::exception& error) {
        platform::ShowDefaultErrorBox(ToQt(error.what()));
    }
}

void TfrmConvert::FormClose() {
    if (process.Running)
        process.Stop(0);
}

void TfrmConvert::WMConvertInfo(const TProcessInfo& info) {
    if (batchOver)
        return;
    if (!info.IsCompletion()) {
        ui->suiProgressBar2->setValue(info.Percent);
        ui->lTimeElapsed->setText(ToQt(info.Elapsed));
        ui->lTimeEstimated->setText(ToQt(info.Estimated));
        return;
    }
    if (!info.Converted())
        queue.RecordFailure();
    if (info.Status == kStatusInUse) {
        ShowAppMessage(this, PathToQt(process.OutputFile) + ToQt(strings::kFileInUse),
                       platform::MessageIcon::Error);
        // "Stop" or a close while the message was open ended the batch.
        if (batchOver)
            return;
    }
    if (!queue.MoveNext()) {
        done(kResultCancel);
        return;
    }
    try {
        StartStep();
    } catch (const std::exception& error) {
        platform::ShowDefaultErrorBox(ToQt(error.what()));
    }
}

void TfrmConvert::bStopClick() {
    if (process.Running)
        process.Stop(0);
    done(kResultAbort);
}

void TfrmConvert::done(int result) {
    if (!batchOver) {
        batchOver = true;
        FormClose();
    }
    QDialog::done(result);
}

void TfrmConvert::reject() {
    done(kResultCancel);
}

bool TfrmConvert::event(QEvent* event) {
    if (event->type() == WM_CONVERTINFO) {
        // The record goes with the event, which Qt frees after this handler.
        WMConvertInfo(static_cast<TConvertInfoEvent*>(event)->Info());
        return true;
    }
    return QDialog::event(event);
}

void TfrmConvert::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous() || shown)
        return;
    shown = true;
    FormShow();
}

void TfrmConvert::keyPressEvent(QKeyEvent* event) {
    // Escape does not end the batch; only "Stop" and closing the window do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace kestrine
