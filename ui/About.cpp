#include "ui/About.h"

#include "ui_About.h"

#include "base/Strings.h"
#include "platform/Shell.h"
#include "ui/Messages.h"
#include "ui/Style.h"

#include <QShowEvent>

#include <initializer_list>

namespace kestrine {

TfrmAbout::TfrmAbout(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::TfrmAbout>()) {
    ui->setupUi(this);
    DressForm(this);
    setFixedSize(331, 259);

    // The banner is drawn for 331 x 88 and stretched to the height of its place.
    ui->Image2->setPixmap(Picture(QStringLiteral("about-banner"), ui->Image2->size()));
    ui->Image1->setPixmap(Picture(QStringLiteral("logo"), {32, 32}));

    // The link shows the maker's address; the style sheet colours it as a link.
    ui->lbEAddress->setText(ToQt(strings::kMakerPageUrl));
    for (QLabel* label : std::initializer_list<QLabel*>{ui->Label1, ui->Label2, ui->lCopywrite,
                                                        ui->Label3, ui->lbEAddress})
        label->adjustSize();

    connect(ui->lbEAddress, &TClickLabel::clicked, this, &TfrmAbout::lbEAddressClick);
    connect(ui->bOK, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmAbout::~TfrmAbout() = default;

void TfrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmAbout::FormShow() {
    ui->Label1->setText(ToQt(strings::kAppTitle));
    ui->Label1->adjustSize();
}

void TfrmAbout::lbEAddressClick() {
    platform::OpenUrl(ToQt(strings::kHomePageUrl));
}

} // namespace kestrine
