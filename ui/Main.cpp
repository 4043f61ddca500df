#include "ui/Main.h"

#include "base/Paths.h"
#include "base/Strings.h"
#include "engine/BatchQueue.h"
#include "engine/ConvertProcess.h"
#include "platform/FileDialog.h"
#include "platform/Shell.h"
#include "profiles/Catalogue.h"
#include "profiles/ProfileLookup.h"
#include "ui/About.h"
#include "ui/ConvertHint.h"
#include "ui/Global.h"
#include "ui/ManualConvert.h"
#include "ui/Messages.h"
#include "ui/Style.h"
#include "ui/Useanother.h"
#include "ui/Widgets.h"

#include "ui_Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <system_error>

namespace kestrine {

namespace {

constexpr int kClientWidth = 405;
constexpr int kClientHeight = 284;

// Something other than a folder is there (a file, or a link to one).
bool FileExists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::exists(path, error) &&
           !std::filesystem::is_directory(path, error);
}

} // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TfrmMain>()) {
    ui->setupUi(this);
    DressForm(this);
    setFixedSize(kClientWidth, kClientHeight);
    setWindowIcon(QIcon(Picture(QStringLiteral("logo"), {32, 32})));

    ui->imgTitle->setPixmap(Picture(QStringLiteral("banner"), {kClientWidth, 50}));
    ui->Image1->setPixmap(Picture(QStringLiteral("logo"), {32, 32}));
    ui->iUpdate->setPixmap(Picture(QStringLiteral("logo"), {16, 16}));
    ui->WlmShiftImage1->SetPictures(Picture(QStringLiteral("advanced"), {32, 32}),
                                    Picture(QStringLiteral("advanced-hover"), {32, 32}));

    // Labels take the size of their text; the extension label keeps clear of its caption.
    for (QLabel* label :
         std::initializer_list<QLabel*>{ui->lTitle, ui->lVideo, ui->lUrl, ui->lConvertTo,
                                        ui->lOutputFolder, ui->lbEAddress, ui->Label4, ui->lUpdate})
        label->adjustSize();
    ui->lTitle->setFixedHeight(15);
    ui->cbSameInput->adjustSize();
    ui->lExtName->move(std::max(ui->lExtName->x(), ui->lConvertTo->geometry().right() + 3),
                       ui->lExtName->y());

    BuildProfileMenu();
    BuildAdvancedMenu();

    aTotal = new QAction(QStringLiteral("Popup Profile Menu"), this);
    aTotal->setObjectName(QStringLiteral("aTotal"));
    aTotal->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    addAction(aTotal);
    // The Advanced menu's shortcut.
    Action1 = new QAction(QStringLiteral("Advanced"), this);
    Action1->setObjectName(QStringLiteral("Action1"));
    Action1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    addAction(Action1);

    connect(ui->fpType, &TFlatPanel::clicked, this, &TfrmMain::fpTypeClick);
    connect(ui->suiArrowButton3, &QToolButton::clicked, this, &TfrmMain::fpTypeClick);
    connect(aTotal, &QAction::triggered, this, &TfrmMain::fpTypeClick);
    connect(ui->cbSameInput, &QCheckBox::toggled, this, &TfrmMain::cbSameInputClick);
    connect(ui->bConvert, &QPushButton::clicked, this, &TfrmMain::bConvertClick);
    connect(ui->bBrowser, &QPushButton::clicked, this, &TfrmMain::bBrowserClick);
    connect(ui->bShowFiles, &QPushButton::clicked, this, &TfrmMain::bShowFilesClick);
    connect(ui->bExit, &QPushButton::clicked, this, &TfrmMain::bExitClick);
    connect(miManualConvert, &QAction::triggered, this, &TfrmMain::miManualConvertClick);
    connect(ui->WlmShiftImage1, &TShiftImage::clicked, this, &TfrmMain::iAboutClick);
    connect(ui->lbEAddress, &TClickLabel::clicked, this, &TfrmMain::iAboutClick);
    connect(Action1, &QAction::triggered, this, &TfrmMain::iAboutClick);
    connect(ui->Image1, &TClickLabel::clicked, this, &TfrmMain::Homepage1Click);
    connect(ui->lTitle, &TClickLabel::clicked, this, &TfrmMain::lTitleClick);

    FormCreate();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::BuildProfileMenu() {
    pmType = new QMenu(this);
    pmType->setObjectName(QStringLiteral("pmType"));
    for (std::string_view category : CatalogueCategories()) {
        QMenu* sub = pmType->addMenu(ToQt(category));
        for (const Profile& row : Catalogue()) {
            if (row.category == category)
                sub->addAction(ToQt(row.caption));
        }
    }
    pmType->addSeparator();
    miManualConvert = pmType->addAction(QStringLiteral("Manual conversion"));
    miManualConvert->setObjectName(QStringLiteral("miManualConvert"));
    miManualConvert->setStatusTip(QStringLiteral("Asks for the insertion of parameters"));
    miManualConvert->setToolTip(QStringLiteral("Asks for the insertion of parameters"));
}

void TfrmMain::BuildAdvancedMenu() {
    suiPopupMenu1 = new QMenu(this);
    suiPopupMenu1->setObjectName(QStringLiteral("suiPopupMenu1"));
    auto addItem = [this](const char* name, const char* caption, void (TfrmMain::*handler)()) {
        QAction* item = suiPopupMenu1->addAction(QString::fromLatin1(caption));
        item->setObjectName(QString::fromLatin1(name));
        connect(item, &QAction::triggered, this, handler);
        return item;
    };
    auto addSeparator = [this](const char* name) {
        suiPopupMenu1->addSeparator()->setObjectName(QString::fromLatin1(name));
    };
    addItem("Homepage1", "&Home Page", &TfrmMain::Homepage1Click);
    addSeparator("N1");
    UseanotherFFMpeg1 =
        addItem("UseanotherFFMpeg1", "&Use another FFmpeg", &TfrmMain::UseanotherFFMpeg1Click);
    // The check mark shows that a chosen FFmpeg is in use; only the handlers set it.
    UseanotherFFMpeg1->setCheckable(true);
    addSeparator("N3");
    addItem("Donate1", "&Donate", &TfrmMain::Donate1Click);
    addSeparator("N2");
    addItem("About1", "&About...", &TfrmMain::About1Click);
}

void TfrmMain::FormCreate() {
    setWindowTitle(ToQt(strings::kAppTitle));
    convertProcess = std::make_unique<TConvertProcess>();
    LoadOrSaveSettings(*this, true);
    sameInputDir.clear();
    lastInputDir.clear();
    RefreshExtLabel();
}

void TfrmMain::FormShow() {
    ui->eOutputFolder->setText(PathToQt(outputDir));
    ui->imgTitle->setGeometry(0, 0, width(), 50);
    ui->lUpdate->move(width() - ui->lUpdate->width() - 10, ui->lUpdate->y());
    ui->iUpdate->move(ui->lUpdate->x() - 20, ui->iUpdate->y());
    // Every profile item, and only those, runs TypeMenuClick; wired once, however often shown.
    if (!profileItemsWired) {
        profileItemsWired = true;
        for (QAction* top : pmType->actions()) {
            if (QMenu* sub = top->menu()) {
                for (QAction* item : sub->actions())
                    connect(item, &QAction::triggered, this, [this, item] { TypeMenuClick(item); });
            }
        }
    }
}

void TfrmMain::FormClose() {
    // Neither a failed save nor the clean-up keeps the window open or says anything.
    try {
        LoadOrSaveSettings(*this, false);
    } catch (...) {
    }
    try {
        convertProcess.reset();
    } catch (...) {
    }
}

void TfrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (!shown) {
        shown = true;
        if (const QScreen* where = screen())
            move(where->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    FormShow();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (!closed) {
        closed = true;
        FormClose();
    }
    event->accept();
}

std::string TfrmMain::OutputFolderText() const {
    return PathFromQt(ui->eOutputFolder->text());
}

std::string TfrmMain::ProfileText() const {
    return FromQt(ui->fpType->text());
}

void TfrmMain::SetProfileText(const std::string& text) {
    ui->fpType->setText(ToQt(text));
    ui->fpType->setToolTip(ToQt(text));
    RefreshExtLabel();
}

bool TfrmMain::SameInput() const {
    return ui->cbSameInput->isChecked();
}

void TfrmMain::SetSameInput(bool checked) {
    ui->cbSameInput->setChecked(checked);
}

std::string TfrmMain::GetProfileParams() const {
    return kestrine::GetProfileParams(ProfileText());
}

std::string TfrmMain::GetProfileExt() const {
    return kestrine::GetProfileExt(ProfileText());
}

void TfrmMain::RefreshExtLabel() {
    ui->lExtName->setText(ToQt(ProfileExtLabel(ProfileText())));
    ui->lExtName->adjustSize();
}

QPoint TfrmMain::ProfileMenuPoint() const {
    const QPoint origin = mapToGlobal(QPoint(0, 0));
    const int x = ui->fpType->x() + ui->fpType->width() / 5 + origin.x();
    const int y = origin.y() / 2; // half the client area's screen top, as the menu always did
    return {x, y};
}

void TfrmMain::fpTypeClick() {
    const QPoint at = ProfileMenuPoint();
    pmType->popup(QPoint(at.x() - pmType->sizeHint().width() / 2, at.y()));
}

void TfrmMain::TypeMenuClick(QAction* item) {
    SetProfileText(ProfileTextFromMenuCaption(FromQt(item->text())));
}

void TfrmMain::cbSameInputClick() {
    ui->eOutputFolder->setEnabled(!ui->cbSameInput->isChecked());
}

void TfrmMain::miManualConvertClick() {
    TfrmManualConvert frmManualConvert(ProfileText(), this);
    if (frmManualConvert.exec() == QDialog::Accepted)
        SetProfileText(frmManualConvert.ProfileText());
}

void TfrmMain::iAboutClick() {
    UseanotherFFMpeg1->setChecked(!useDefaultFFmpeg);
    // The menu's top-left corner at the pointer, whichever opener ran, the shortcut included.
    suiPopupMenu1->popup(QCursor::pos());
}

void TfrmMain::Homepage1Click() {
    platform::OpenUrl(ToQt(strings::kHomePageUrl));
}

void TfrmMain::Donate1Click() {
    platform::OpenUrl(ToQt(strings::kDonatePageUrl));
}

void TfrmMain::lTitleClick() {
    platform::OpenUrl(ToQt(strings::kMakerPageUrl));
}

void TfrmMain::About1Click() {
    TfrmAbout frmAbout(this);
    frmAbout.exec();
}

void TfrmMain::UseanotherFFMpeg1Click() {
    TfrmUseFFmpeg frmUseFFmpeg(this);
    frmUseFFmpeg.SetPath(PathToQt(anotherFFmpegPath));
    frmUseFFmpeg.SetNotUseAnother(useDefaultFFmpeg);
    if (frmUseFFmpeg.exec() == QDialog::Accepted) {
        anotherFFmpegPath = PathFromQt(frmUseFFmpeg.Path());
        useDefaultFFmpeg = frmUseFFmpeg.NotUseAnother();
    }
    // Choosing the item has already flipped its mark; it follows the field whatever the result.
    UseanotherFFMpeg1->setChecked(!useDefaultFFmpeg);
}

void TfrmMain::bConvertClick() {
    // Whatever fails in here ends the click without a message.
    try {
        if (!convertProcess)
            return;
        if (!SameInput()) {
            outputDir = OutputFolderText();
            if (!DirectoryExists(outputDir)) {
                const QString question = PathToQt(outputDir) + ToQt(",") +
                                         ToQt(strings::kOutputDirMissing) + QLatin1Char('\n') +
                                         ToQt(strings::kCreateDirQuestion);
                if (ShowAppMessage(this, question, platform::MessageIcon::Information,
                                   platform::MessageButtons::YesNo) != platform::MessageAnswer::Yes)
                    return;
                if (!ForceDirectories(outputDir))
                    return;
            }
        }
        if (ProfileText().empty()) {
            ShowAppMessage(this, ToQt(strings::kChooseFormat), platform::MessageIcon::Information);
            return;
        }
        if (!useDefaultFFmpeg && !FileExists(anotherFFmpegPath)) {
            ShowAppMessage(this,
                           PathToQt(anotherFFmpegPath) + ToQt(". ") + ToQt(strings::kFFmpegMissing),
                           platform::MessageIcon::Information);
            return;
        }

        if (DirectoryExists(lastInputDir))
            openDialogFolder = PathToQt(lastInputDir);
        platform::OpenFilesRequest request;
        request.owner = this;
        request.title = QStringLiteral("Select one or more video files");
        request.startFolder = openDialogFolder;
        request.filter = QStringLiteral("All files (*)");
        request.multiple = true;
        const QStringList picked = platform::GetOpenFileNames(request);
        if (picked.isEmpty())
            return;
        std::vector<std::string> files;
        files.reserve(static_cast<std::size_t>(picked.size()));
        for (const QString& path : picked)
            files.push_back(PathFromQt(path));

        const std::string folder = IncludeTrailingPathDelimiter(ExtractFilePath(files.front()));
        if (SameInput())
            sameInputDir = folder;
        lastInputDir = folder;

        TfrmConvert frmConvert(this, *this, *convertProcess, std::move(files));
        frmConvert.Ext = GetProfileExt();
        frmConvert.Params = GetProfileParams();
        frmConvert.FFmpegPath = anotherFFmpegPath;
        frmConvert.UseDefaultFFmpeg = useDefaultFFmpeg;
        frmConvert.exec();
        if (!frmConvert.FailedList().empty())
            ShowAppMessage(this, PathToQt(FailedMessage(frmConvert.FailedList())),
                           platform::MessageIcon::Information);
    } catch (...) {
    }
}

void TfrmMain::bBrowserClick() {
    std::string folder = OutputFolderText();
    if (!DirectoryExists(folder))
        folder.clear();
    if (!BrowseForFolder(std::string(strings::kSelectOutputDir), std::string(), folder))
        return;
    ui->eOutputFolder->setText(PathToQt(folder));
    outputDir = OutputFolderText();
}

void TfrmMain::bShowFilesClick() {
    if (SameInput() && !sameInputDir.empty())
        outputDir = sameInputDir;
    else
        outputDir = OutputFolderText();
    if (DirectoryExists(outputDir)) {
        platform::OpenFolder(PathToQt(outputDir));
        return;
    }
    ShowAppMessage(this, PathToQt(outputDir) + ToQt(",") + ToQt(strings::kOutputDirMissing),
                   platform::MessageIcon::Error);
}

void TfrmMain::bExitClick() {
    close();
}

void TfrmMain::WMShowInstance() {
    if (!isVisible())
        show();
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    QWidget* front = QApplication::activeModalWidget();
    if (front == nullptr || front == this || !front->isVisible() || !front->isEnabled())
        front = this;
    if (front->isMinimized())
        front->showNormal();
    front->raise();
    front->activateWindow();
}

} // namespace kestrine
