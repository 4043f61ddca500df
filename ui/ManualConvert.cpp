#include "ui/ManualConvert.h"

#include "ui_ManualConvert.h"

#include "base/Strings.h"
#include "platform/MessageBox.h"
#include "ui/DialogLook.h"

#include <QShowEvent>

#include <string>
#include <utility>

namespace kestrine {

ManualProfileFields DefaultManualFields() {
    return {"-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1", "mov"};
}

ManualProfileFields ManualFieldsFor(std::string_view currentProfileText) {
    if (auto fields = CutManualProfileText(currentProfileText))
        return std::move(*fields);
    return DefaultManualFields();
}

bool ManualFieldsAccepted(const QString& commandLine, const QString& extension) {
    return !commandLine.isEmpty() && !extension.isEmpty();
}

TfrmManualConvert::TfrmManualConvert(QString profileText, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfrmManualConvert>()),
      currentProfileText(std::move(profileText)) {
    ui->setupUi(this);
    ApplyDialogFont(this);
    setFixedSize(540, 363);

    const auto defaults = DefaultManualFields();
    ui->eCommandLine->setText(QString::fromStdString(defaults.commandLine));
    ui->eOutputFile->setText(QString::fromStdString(defaults.extension));
    eCommandLineChange();

    connect(ui->eCommandLine, &QLineEdit::textChanged, this,
            &TfrmManualConvert::eCommandLineChange);
    connect(ui->eOutputFile, &QLineEdit::textChanged, this, &TfrmManualConvert::eCommandLineChange);
    connect(ui->bOK, &QPushButton::clicked, this, &TfrmManualConvert::bOKClick);
    connect(ui->bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmManualConvert::~TfrmManualConvert() = default;

QString TfrmManualConvert::ProfileText() const {
    return ui->Edit1->text();
}

void TfrmManualConvert::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!prefilled && !event->spontaneous()) {
        prefilled = true;
        FormShow();
    }
}

void TfrmManualConvert::FormShow() {
    const std::string text = currentProfileText.toStdString();
    if (!IsManualProfileText(text))
        return;
    const auto fields = ManualFieldsFor(text);
    ui->eCommandLine->setText(QString::fromStdString(fields.commandLine));
    ui->eOutputFile->setText(QString::fromStdString(fields.extension));
}

void TfrmManualConvert::eCommandLineChange() {
    ui->Edit1->setText(QString::fromStdString(ComposeManualProfileText(
        ui->eCommandLine->text().toStdString(), ui->eOutputFile->text().toStdString())));
}

void TfrmManualConvert::bOKClick() {
    if (ManualFieldsAccepted(ui->eCommandLine->text(), ui->eOutputFile->text())) {
        accept();
        return;
    }
    platform::MessageRequest request;
    request.owner = this;
    request.text = QString::fromUtf8(strings::kCheckParameters);
    request.caption = QString::fromUtf8(strings::kAppTitle);
    request.icon = platform::MessageIcon::Information;
    platform::ShowMessage(request);
}

} // namespace kestrine
