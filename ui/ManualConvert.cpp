#include "ui/ManualConvert.h"

#include "ui_ManualConvert.h"

#include "base/Strings.h"
#include "ui/Messages.h"
#include "ui/Style.h"

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

TfrmManualConvert::TfrmManualConvert(std::string profileText, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfrmManualConvert>()),
      currentProfileText(std::move(profileText)) {
    ui->setupUi(this);
    DressForm(this);
    setFixedSize(540, 363);
    FitExtensionBox();

    const auto defaults = DefaultManualFields();
    ui->eCommandLine->setText(ToQt(defaults.commandLine));
    ui->eOutputFile->setText(ToQt(defaults.extension));
    ui->eCommandLine->setCursorPosition(0);
    eCommandLineChange();

    connect(ui->eCommandLine, &QLineEdit::textChanged, this,
            &TfrmManualConvert::eCommandLineChange);
    connect(ui->eOutputFile, &QLineEdit::textChanged, this, &TfrmManualConvert::eCommandLineChange);
    connect(ui->bOK, &QPushButton::clicked, this, &TfrmManualConvert::bOKClick);
    connect(ui->bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmManualConvert::~TfrmManualConvert() = default;

std::string TfrmManualConvert::ProfileText() const {
    return FromQt(ui->Edit1->text());
}

void TfrmManualConvert::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!prefilled && !event->spontaneous()) {
        prefilled = true;
        FormShow();
    }
}

void TfrmManualConvert::FormShow() {
    if (!IsManualProfileText(currentProfileText))
        return;
    const auto fields = ManualFieldsFor(currentProfileText);
    ui->eCommandLine->setText(ToQt(fields.commandLine));
    ui->eOutputFile->setText(ToQt(fields.extension));
    ui->eCommandLine->setCursorPosition(0);
}

void TfrmManualConvert::eCommandLineChange() {
    ui->Edit1->setText(ToQt(ComposeManualProfileText(FromQt(ui->eCommandLine->text()),
                                                     FromQt(ui->eOutputFile->text()))));
    ui->Edit1->setCursorPosition(0);
}

void TfrmManualConvert::FitExtensionBox() {
    // The extension box's caption is long for its box. Where the font is wider than the one
    // the form was laid out for, the box grows to the left, into the command line's box, which
    // has room to spare, so that both keep their right edges.
    const int extra = ui->GroupBox3->minimumSizeHint().width() - ui->GroupBox3->width();
    if (extra <= 0)
        return;
    ui->GroupBox3->setGeometry(ui->GroupBox3->geometry().adjusted(-extra, 0, 0, 0));
    ui->eOutputFile->resize(ui->eOutputFile->width() + extra, ui->eOutputFile->height());
    ui->GroupBox2->resize(ui->GroupBox2->width() - extra, ui->GroupBox2->height());
    ui->eCommandLine->resize(ui->eCommandLine->width() - extra, ui->eCommandLine->height());
}

void TfrmManualConvert::bOKClick() {
    if (ManualFieldsAccepted(ui->eCommandLine->text(), ui->eOutputFile->text())) {
        accept();
        return;
    }
    ShowAppMessage(this, ToQt(strings::kCheckParameters), platform::MessageIcon::Information);
}

} // namespace kestrine
