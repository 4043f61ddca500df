// The main window driven headless: its controls, the profile menu and its label, the checks of
// "Convert...", the same-as-input box, "Browser...", "Show Files..." and the settings.

#include "GuiHooks.h"

#include "platform/FolderDialog.h"
#include "ui/Main.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

using kestrine::TfrmMain;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        frm = std::make_unique<TfrmMain>();
        frm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    }
    void TearDown() override {
        for (QWidget* popup = QApplication::activePopupWidget(); popup != nullptr;
             popup = QApplication::activePopupWidget())
            popup->close();
        frm.reset();
    }

    template <typename T>
    T* Child(const char* name) {
        T* child = frm->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QMenu* ProfileMenu() { return Child<QMenu>("pmType"); }
    QAction* FindAction(QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }

    QTemporaryDir home;
    GuiHooks hooks;
    std::unique_ptr<TfrmMain> frm;
};

TEST_F(MainWindowTest, WindowHasItsFixedSizeAndCaption) {
    EXPECT_EQ(frm->windowTitle(), QStringLiteral("Kestrine with FFmpeg"));
    EXPECT_EQ(frm->size(), QSize(405, 284));
    EXPECT_EQ(frm->minimumSize(), frm->maximumSize());
    // Positions in the window's client area, whatever panel a control sits on.
    const struct {
        const char* name;
        QRect rect;
    } places[] = {
        {"fpType", {6, 127, 371, 21}},        {"suiArrowButton3", {375, 127, 21, 21}},
        {"eOutputFolder", {8, 179, 300, 20}}, {"bBrowser", {318, 177, 80, 23}},
        {"bConvert", {130, 247, 80, 23}},     {"bShowFiles", {224, 247, 80, 23}},
        {"bExit", {318, 247, 80, 23}},        {"WlmShiftImage1", {11, 239, 32, 32}},
        {"imgTitle", {0, 0, 405, 50}},
    };
    for (const auto& place : places) {
        QWidget* w = Child<QWidget>(place.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(QRect(w->mapTo(frm.get(), QPoint(0, 0)), w->size()), place.rect) << place.name;
    }
    EXPECT_FALSE(Child<QLabel>("lExtName")->isEnabled());
    EXPECT_EQ(Child<QLabel>("lExtName")->text(), QStringLiteral("(*)"));
    EXPECT_FALSE(Child<QWidget>("lUpdate")->isVisible());
    EXPECT_TRUE(Child<QLineEdit>("eOutputFolder")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>("cbSameInput")->isChecked());
}

TEST_F(MainWindowTest, ProfileMenuHoldsTheCatalogue) {
    QMenu* menu = ProfileMenu();
    const QList<QAction*> top = menu->actions();
    ASSERT_EQ(top.size(), 27);
    int profiles = 0;
    for (int i = 0; i < 25; ++i) {
        ASSERT_NE(top[i]->menu(), nullptr);
        profiles += static_cast<int>(top[i]->menu()->actions().size());
    }
    EXPECT_EQ(profiles, 103);
    EXPECT_EQ(top[0]->text(), QStringLiteral("General Audio Format"));
    EXPECT_TRUE(top[25]->isSeparator());
    EXPECT_EQ(top[26]->text(), QStringLiteral("Manual conversion"));
    EXPECT_EQ(top[26]->objectName(), QStringLiteral("miManualConvert"));
}

// Clicking through the real menu: the panel opens it, the category opens its submenu, the
// profile becomes the profile text, the panel's hint and the extension label.
TEST_F(MainWindowTest, ChoosingAProfileSetsPanelHintAndLabel) {
    QTest::mouseClick(Child<kestrine::TFlatPanel>("fpType"), Qt::LeftButton);
    QMenu* menu = ProfileMenu();
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
    QAction* category = FindAction(menu, QStringLiteral("General Audio Format"));
    ASSERT_NE(category, nullptr);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(category).center());
    QMenu* sub = category->menu();
    ASSERT_TRUE(QTest::qWaitFor([sub] { return sub->isVisible(); }));
    QAction* mp3 = FindAction(sub, QStringLiteral("MP3 - MPEG Layer-3 Audio"));
    ASSERT_NE(mp3, nullptr);
    QTest::mouseClick(sub, Qt::LeftButton, {}, sub->actionGeometry(mp3).center());

    EXPECT_EQ(frm->ProfileText(), "MP3 - MPEG Layer-3 Audio");
    EXPECT_EQ(Child<QLabel>("fpType")->toolTip(), QStringLiteral("MP3 - MPEG Layer-3 Audio"));
    EXPECT_EQ(Child<QLabel>("lExtName")->text(), QStringLiteral("(*.mp3)"));
    EXPECT_FALSE(menu->isVisible());
}

// A caption to which an accelerator mark was added loses the first "&" only.
TEST_F(MainWindowTest, MenuCaptionLosesOnlyTheFirstAmpersand) {
    QAction* item = ProfileMenu()->actions()[0]->menu()->actions()[2];
    const struct {
        const char* caption;
        const char* text;
        const char* label;
    } cases[] = {
        {"&MP3 - MPEG Layer-3 Audio", "MP3 - MPEG Layer-3 Audio", "(*.mp3)"},
        {"MP3 - MPEG &Layer-3 Audio", "MP3 - MPEG Layer-3 Audio", "(*.mp3)"},
        {"&&Zune", "&Zune", "(*)"},
        {"Z&u&ne", "Zu&ne", "(*)"},
    };
    for (const auto& c : cases) {
        item->setText(QString::fromUtf8(c.caption));
        item->trigger();
        EXPECT_EQ(frm->ProfileText(), c.text) << c.caption;
        EXPECT_EQ(Child<QLabel>("lExtName")->text(), QString::fromUtf8(c.label)) << c.caption;
    }
}

// The category items, the separator and "Manual conversion" never become a profile text.
TEST_F(MainWindowTest, OnlyProfileItemsSetTheProfile) {
    frm->SetProfileText("Zune");
    // "Manual conversion" opens its dialog; cancelled, it leaves the profile as it was.
    QTimer cancelDialogs;
    QObject::connect(&cancelDialogs, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    cancelDialogs.start(5);
    for (QAction* top : ProfileMenu()->actions())
        top->trigger();
    EXPECT_EQ(frm->ProfileText(), "Zune");
    EXPECT_EQ(Child<QLabel>("lExtName")->text(), QStringLiteral("(*.wmv)"));
}

// The panel, the arrow button and Ctrl+P all open the menu; its top is half the screen y of
// the client area, its centre a fifth into the panel.
TEST_F(MainWindowTest, ThreeWaysOpenTheMenuAtTheSamePoint) {
    // Place the window so that its client area starts at screen y 300.
    const QPoint frame = frm->geometry().topLeft() - frm->pos();
    frm->move(120 - frame.x(), 300 - frame.y());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frm->mapToGlobal(QPoint(0, 0)) == QPoint(120, 300); }));
    EXPECT_EQ(frm->ProfileMenuPoint(), QPoint(120 + 80, 150));

    QMenu* menu = ProfileMenu();
    const auto openAndClose = [&](auto open) {
        open();
        EXPECT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
        menu->close();
        EXPECT_TRUE(QTest::qWaitFor([menu] { return !menu->isVisible(); }));
    };
    openAndClose([&] { QTest::mouseClick(Child<QLabel>("fpType"), Qt::LeftButton); });
    openAndClose([&] { QTest::mouseClick(Child<QToolButton>("suiArrowButton3"), Qt::LeftButton); });
    openAndClose([&] {
        frm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
        QTest::keyClick(frm.get(), Qt::Key_P, Qt::ControlModifier);
    });
}

TEST_F(MainWindowTest, SameInputBoxDrivesTheFolderEdit) {
    auto* box = Child<QCheckBox>("cbSameInput");
    auto* edit = Child<QLineEdit>("eOutputFolder");
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(edit->isEnabled());
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(edit->isEnabled());
    // A program step that sets the box runs its handler too; setting the same value changes
    // nothing.
    frm->SetSameInput(true);
    EXPECT_FALSE(edit->isEnabled());
    frm->SetSameInput(true);
    EXPECT_FALSE(edit->isEnabled());
    frm->SetSameInput(false);
    EXPECT_TRUE(edit->isEnabled());
    // "Browser..." stays usable while the edit is disabled.
    frm->SetSameInput(true);
    EXPECT_TRUE(Child<QPushButton>("bBrowser")->isEnabled());
}

TEST_F(MainWindowTest, ShowFilesOpensTheFolderOrSaysItIsMissing) {
    QTemporaryDir out;
    auto* edit = Child<QLineEdit>("eOutputFolder");
    edit->setText(out.path());
    QTest::mouseClick(Child<QPushButton>("bShowFiles"), Qt::LeftButton);
    ASSERT_EQ(hooks.shellRequests.size(), 1u);
    EXPECT_EQ(hooks.shellRequests[0].kind, platform::ShellTarget::Folder);
    EXPECT_EQ(hooks.shellRequests[0].target, out.path());
    EXPECT_EQ(frm->OutputDir(), out.path().toStdString());
    EXPECT_TRUE(hooks.messages.empty());

    const QString missing = out.path() + QStringLiteral("/gone");
    edit->setText(missing);
    QTest::mouseClick(Child<QPushButton>("bShowFiles"), Qt::LeftButton);
    EXPECT_EQ(hooks.shellRequests.size(), 1u);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0].text,
              missing + QStringLiteral(", the output directory does not exist."));
    EXPECT_EQ(hooks.messages[0].caption, QStringLiteral("Kestrine with FFmpeg"));
    EXPECT_EQ(hooks.messages[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(hooks.messages[0].buttons, platform::MessageButtons::Ok);
    EXPECT_EQ(frm->OutputDir(), missing.toStdString());

    // Same-as-input before any file was picked in this run: the edit's folder still counts.
    frm->SetSameInput(true);
    edit->setText(out.path());
    QTest::mouseClick(Child<QPushButton>("bShowFiles"), Qt::LeftButton);
    ASSERT_EQ(hooks.shellRequests.size(), 2u);
    EXPECT_EQ(hooks.shellRequests[1].target, out.path());
}

// The checks of "Convert..." in their order, each ending the click at its first failure.
TEST_F(MainWindowTest, ConvertChecksFolderThenProfileThenFFmpeg) {
    QTemporaryDir out;
    auto* edit = Child<QLineEdit>("eOutputFolder");
    auto* convert = Child<QPushButton>("bConvert");
    const QString missing = out.path() + QStringLiteral("/new/sub");
    const QString question = missing + QStringLiteral(", the output directory does not exist.\n"
                                                      "creates a new directory?");

    // No: nothing is created and nothing else is checked.
    edit->setText(missing);
    hooks.answers = {platform::MessageAnswer::No};
    QTest::mouseClick(convert, Qt::LeftButton);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0].text, question);
    EXPECT_EQ(hooks.messages[0].buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(hooks.messages[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(hooks.messages[0].caption, QStringLiteral("Kestrine with FFmpeg"));
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_EQ(frm->OutputDir(), missing.toStdString());

    // Yes: the folder is made with its parent, then the empty profile stops the click.
    hooks.messages.clear();
    hooks.answers = {platform::MessageAnswer::Yes};
    QTest::mouseClick(convert, Qt::LeftButton);
    ASSERT_EQ(hooks.messages.size(), 2u);
    EXPECT_EQ(hooks.messages[0].text, question);
    EXPECT_TRUE(QFileInfo(missing).isDir());
    EXPECT_EQ(hooks.messages[1].text, QStringLiteral("Please choose the output format!"));
    EXPECT_EQ(hooks.messages[1].buttons, platform::MessageButtons::Ok);
    EXPECT_EQ(hooks.messages[1].icon, platform::MessageIcon::Information);

    // The chosen FFmpeg must exist unless the plain one is used.
    frm->SetProfileText("MP3 - MPEG Layer-3 Audio");
    frm->SetUseDefaultFFmpeg(false);
    const struct {
        QString path;
        QString text;
    } ffmpegs[] = {
        {out.path() + QStringLiteral("/ffmpeg"),
         out.path() + QStringLiteral("/ffmpeg. This FFmpeg.exe file does not exist.")},
        {QString(), QStringLiteral(". This FFmpeg.exe file does not exist.")},
        {out.path(), out.path() + QStringLiteral(". This FFmpeg.exe file does not exist.")},
    };
    for (const auto& ffmpeg : ffmpegs) {
        hooks.messages.clear();
        frm->SetAnotherFFmpegPath(ffmpeg.path.toStdString());
        QTest::mouseClick(convert, Qt::LeftButton);
        ASSERT_EQ(hooks.messages.size(), 1u);
        EXPECT_EQ(hooks.messages[0].text, ffmpeg.text);
        EXPECT_EQ(hooks.messages[0].icon, platform::MessageIcon::Information);
    }
    EXPECT_TRUE(hooks.fileRequests.empty());

    // All checks passed: the file dialog comes; cancelling it ends the click quietly.
    hooks.messages.clear();
    frm->SetUseDefaultFFmpeg(true);
    QTest::mouseClick(convert, Qt::LeftButton);
    EXPECT_TRUE(hooks.messages.empty());
    ASSERT_EQ(hooks.fileRequests.size(), 1u);
    EXPECT_EQ(hooks.fileRequests[0].title, QStringLiteral("Select one or more video files"));
    EXPECT_TRUE(hooks.fileRequests[0].multiple);
    EXPECT_EQ(frm->LastInputDir(), "");
    EXPECT_EQ(frm->SameInputDir(), "");
}

// An empty folder text asks a question that begins with ","; Yes cannot make it and ends the
// click without another word. Same-as-input skips the folder altogether.
TEST_F(MainWindowTest, ConvertWithEmptyOrUncheckedFolder) {
    auto* convert = Child<QPushButton>("bConvert");
    Child<QLineEdit>("eOutputFolder")->clear();
    hooks.answers = {platform::MessageAnswer::Yes};
    QTest::mouseClick(convert, Qt::LeftButton);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_TRUE(hooks.messages[0].text.startsWith(
        QStringLiteral(", the output directory does not exist.")));

    hooks.messages.clear();
    frm->SetOutputDir("/kept");
    frm->SetSameInput(true);
    QTest::mouseClick(convert, Qt::LeftButton);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0].text, QStringLiteral("Please choose the output format!"));
    EXPECT_EQ(frm->OutputDir(), "/kept");
}

TEST_F(MainWindowTest, BrowserPutsThePickedFolderInTheEdit) {
    QTemporaryDir out;
    std::vector<platform::FolderRequest> asked;
    std::optional<QString> answer = out.path();
    platform::SetFolderDialogHook([&](const platform::FolderRequest& request) {
        asked.push_back(request);
        return answer;
    });
    auto* edit = Child<QLineEdit>("eOutputFolder");
    edit->setText(QStringLiteral("/no/such/folder"));
    QTest::mouseClick(Child<QPushButton>("bBrowser"), Qt::LeftButton);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, QStringLiteral("Please select the directory to output"));
    EXPECT_EQ(asked[0].startFolder, QString());
    EXPECT_EQ(edit->text(), out.path());
    EXPECT_EQ(frm->OutputDir(), out.path().toStdString());

    // Cancel changes nothing; an existing folder in the edit is where the picker starts.
    answer.reset();
    QTest::mouseClick(Child<QPushButton>("bBrowser"), Qt::LeftButton);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].startFolder, out.path());
    EXPECT_EQ(edit->text(), out.path());
    platform::SetFolderDialogHook({});
}

// The hover picture swaps while the mouse is over it (only while enabled) and sinks 2 pixels
// while a button is held on it.
TEST_F(MainWindowTest, HoverPictureSwapsAndSinks) {
    auto* picture = Child<kestrine::TShiftImage>("WlmShiftImage1");
    const QImage atRest = picture->pixmap().toImage();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), picture->mapToGlobal(QPointF(5, 5)));
    QEvent leave(QEvent::Leave);

    QApplication::sendEvent(picture, &enter);
    const QImage underMouse = picture->pixmap().toImage();
    EXPECT_NE(underMouse, atRest);
    QApplication::sendEvent(picture, &leave);
    EXPECT_EQ(picture->pixmap().toImage(), atRest);
    picture->setEnabled(false);
    QApplication::sendEvent(picture, &enter);
    EXPECT_EQ(picture->pixmap().toImage(), atRest);
    picture->setEnabled(true);

    int clicks = 0;
    QObject::connect(picture, &kestrine::TClickLabel::clicked, [&] { ++clicks; });
    const QPoint rest = picture->pos();
    QTest::mousePress(picture, Qt::LeftButton);
    EXPECT_EQ(picture->pos(), rest + QPoint(2, 2));
    QTest::mouseRelease(picture, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(picture->pos(), rest);
    EXPECT_EQ(clicks, 1);
}

} // namespace

namespace {

// Settings: loaded at creation, saved at closing.
TEST(MainWindowSettings, StoredSameInputDisablesTheFolderEdit) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("/Tallowmere/Kestrine")));
    QFile ini(home.path() + QStringLiteral("/Tallowmere/Kestrine/settings.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Options]\nOutputDirectory=/srv/out\nOutputFormat=Zune\nSameInput=1\n");
    ini.close();

    TfrmMain frm;
    frm.show();
    auto* edit = frm.findChild<QLineEdit*>(QStringLiteral("eOutputFolder"));
    EXPECT_TRUE(frm.findChild<QCheckBox*>(QStringLiteral("cbSameInput"))->isChecked());
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_EQ(edit->text(), QStringLiteral("/srv/out"));
    EXPECT_EQ(frm.findChild<QLabel*>(QStringLiteral("fpType"))->toolTip(), QStringLiteral("Zune"));
    EXPECT_EQ(frm.findChild<QLabel*>(QStringLiteral("lExtName"))->text(),
              QStringLiteral("(*.wmv)"));
    QTest::mouseClick(frm.findChild<QCheckBox*>(QStringLiteral("cbSameInput")), Qt::LeftButton);
    EXPECT_TRUE(edit->isEnabled());
}

TEST(MainWindowSettings, ClosingSavesWhatTheNextStartShows) {
    QTemporaryDir home, out;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    {
        TfrmMain frm;
        frm.show();
        // First start: the output folder is the settings folder itself.
        EXPECT_EQ(frm.OutputDir(),
                  (home.path() + QStringLiteral("/Tallowmere/Kestrine/")).toStdString());
        frm.findChild<QLineEdit*>(QStringLiteral("eOutputFolder"))->setText(out.path());
        frm.SetProfileText("MP3 - MPEG Layer-3 Audio");
        frm.SetAnotherFFmpegPath("/opt/ffmpeg/bin/ffmpeg");
        frm.SetUseDefaultFFmpeg(false);
        QTest::mouseClick(frm.findChild<QPushButton*>(QStringLiteral("bExit")), Qt::LeftButton);
        EXPECT_FALSE(frm.isVisible());
        EXPECT_EQ(frm.ConvertProcess(), nullptr);
    }
    TfrmMain again;
    again.show();
    EXPECT_EQ(again.OutputFolderText(), out.path().toStdString());
    EXPECT_EQ(again.ProfileText(), "MP3 - MPEG Layer-3 Audio");
    EXPECT_EQ(again.findChild<QLabel*>(QStringLiteral("lExtName"))->text(),
              QStringLiteral("(*.mp3)"));
    EXPECT_EQ(again.AnotherFFmpegPath(), "/opt/ffmpeg/bin/ffmpeg");
    EXPECT_FALSE(again.UseDefaultFFmpeg());
    EXPECT_FALSE(again.SameInput());
}

// A settings file that cannot be written (here a folder stands in its place): closing says
// nothing and still closes.
TEST(MainWindowSettings, FailedSaveIsSwallowed) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    const QString ini = home.path() + QStringLiteral("/Tallowmere/Kestrine/settings.ini");
    ASSERT_TRUE(QDir().mkpath(ini + QStringLiteral("/occupied")));
    GuiHooks hooks;
    TfrmMain frm;
    frm.show();
    EXPECT_TRUE(frm.close());
    EXPECT_FALSE(frm.isVisible());
    EXPECT_EQ(frm.ConvertProcess(), nullptr);
    EXPECT_TRUE(hooks.messages.empty());
    EXPECT_TRUE(QFileInfo(ini).isDir());
}

} // namespace
