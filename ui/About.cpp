#include "ui/About.h"

#include "ui_About.h"

#include "base/Strings.h"
#include "platform/Shell.h"
#include "ui/DialogLook.h"

#include <QMouseEvent>
#include <QPalette>
#include <QShowEvent>

namespace kestrine {

TfrmAbout::TfrmAbout(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::TfrmAbout>()) {
    ui->setupUi(this);
    ApplyDialogFont(this);
    setFixedSize(331, 259);

    // The banner is drawn for 331 x 88 and stretched to the height of its place.
    ui->Image2->setPixmap(SvgPixmap(QStringLiteral(":/dialogs/about-banner.svg"),
                                    ui->Image2->size(), devicePixelRatioF()));
    ui->Image1->setPixmap(
        SvgPixmap(QStringLiteral(":/dialogs/logo.svg"), QSize(32, 32), devicePixelRatioF()));

    // The link shows the maker's address in link style.
    ui->lbEAddress->setText(QString::fromUtf8(strings::kMakerPageUrl));
    QFont linkFont = ui->lbEAddress->font();
    linkFont.setUnderline(true);
    ui->lbEAddress->setFont(linkFont);
    QPalette linkPalette = ui->lbEAddress->palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    ui->lbEAddress->setPalette(linkPalette);
    ui->lbEAddress->installEventFilter(this);

    for (QLabel* label : {ui->Label1, ui->Label2, ui->lCopywrite, ui->Label3, ui->lbEAddress})
        label->adjustSize();

    connect(ui->bOK, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmAbout::~TfrmAbout() = default;

void TfrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmAbout::FormShow() {
    ui->Label1->setText(QString::fromUtf8(strings::kAppTitle));
    ui->Label1->adjustSize();
}

void TfrmAbout::lbEAddressClick() {
    platform::OpenUrl(QString::fromUtf8(strings::kHomePageUrl));
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    // A click is a left-button release over the label, as for a button.
    if (watched == ui->lbEAddress && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && ui->lbEAddress->rect().contains(mouse->pos())) {
            lbEAddressClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kestrine
