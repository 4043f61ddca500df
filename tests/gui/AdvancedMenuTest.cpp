// The main window's Advanced menu and title links, and the two dialogs it opens from its menus:
// the FFmpeg location dialog and the manual conversion dialog.

#include "GuiHooks.h"

#include "base/Strings.h"
#include "ui/About.h"
#include "ui/Main.h"
#include "ui/ManualConvert.h"
#include "ui/Messages.h"
#include "ui/Useanother.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QCursor>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace kestrine;

namespace {

void Click(QWidget* parent, const char* name) {
    auto* button = parent->findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

class AdvancedMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        frm = std::make_unique<TfrmMain>();
        frm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
        menu = frm->findChild<QMenu*>(QStringLiteral("suiPopupMenu1"));
        ASSERT_NE(menu, nullptr);
    }
    void TearDown() override {
        for (QWidget* popup = QApplication::activePopupWidget(); popup != nullptr;
             popup = QApplication::activePopupWidget())
            popup->close();
        frm.reset();
    }

    QAction* Item(const char* name) {
        auto* item = menu->findChild<QAction*>(QString::fromLatin1(name));
        if (item == nullptr)
            item = frm->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(item, nullptr) << name;
        return item;
    }
    template <typename T>
    T* Child(const char* name) {
        T* child = frm->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QString ExtLabel() { return Child<QLabel>("lExtName")->text(); }
    QString ProfileHint() { return Child<QLabel>("fpType")->toolTip(); }

    QTemporaryDir home;
    GuiHooks hooks;
    std::unique_ptr<TfrmMain> frm;
    QMenu* menu = nullptr;
};

TEST_F(AdvancedMenuTest, ItemsInOrderWithoutACheckMarkAtFirstStart) {
    QStringList captions;
    for (QAction* item : menu->actions())
        captions << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(captions, (QStringList{"&Home Page", "-", "&Use another FFmpeg", "-", "&Donate", "-",
                                     "&About..."}));
    QStringList names;
    for (QAction* item : menu->actions())
        names << item->objectName();
    EXPECT_EQ(names, (QStringList{"Homepage1", "N1", "UseanotherFFMpeg1", "N3", "Donate1", "N2",
                                  "About1"}));

    frm->iAboutClick();
    EXPECT_TRUE(menu->isVisible());
    EXPECT_TRUE(Item("UseanotherFFMpeg1")->isCheckable());
    EXPECT_FALSE(Item("UseanotherFFMpeg1")->isChecked());
    EXPECT_EQ(Item("Action1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
}

TEST_F(AdvancedMenuTest, EveryOpenerPopsTheMenuUpAtThePointer) {
    QApplication::setActiveWindow(frm.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    const std::function<void()> openers[] = {
        [&] { QTest::keyClick(frm.get(), Qt::Key_A, Qt::ControlModifier); },
        [&] { QTest::mouseClick(Child<QWidget>("WlmShiftImage1"), Qt::LeftButton); },
        [&] { QTest::mouseClick(Child<QWidget>("lbEAddress"), Qt::LeftButton); },
    };
    // A point inside the window and one outside it: the menu opens at the pointer either way.
    const QPoint outside = frm->geometry().topLeft() - QPoint(150, 150);
    ASSERT_GE(outside.x(), 0);
    ASSERT_GE(outside.y(), 0);
    const QPoint inside = frm->mapToGlobal(QPoint(60, 120));
    int opener = 0;
    for (const auto& open : openers) {
        for (const QPoint& at : {inside, outside}) {
            SCOPED_TRACE(opener);
            QCursor::setPos(at);
            open();
            EXPECT_TRUE(menu->isVisible());
            EXPECT_EQ(menu->pos(), at);
            menu->close();
            ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
        }
        ++opener;
    }
}

TEST_F(AdvancedMenuTest, LinksOpenTheirPages) {
    const struct {
        std::function<void()> click;
        std::string_view url;
    } cases[] = {
        {[&] { Item("Homepage1")->trigger(); }, strings::kHomePageUrl},
        {[&] { QTest::mouseClick(Child<QWidget>("Image1"), Qt::LeftButton); },
         strings::kHomePageUrl},
        {[&] { Item("Donate1")->trigger(); }, strings::kDonatePageUrl},
        {[&] { QTest::mouseClick(Child<QWidget>("lTitle"), Qt::LeftButton); },
         strings::kMakerPageUrl},
    };
    for (const auto& c : cases) {
        hooks.shellRequests.clear();
        c.click();
        ASSERT_EQ(hooks.shellRequests.size(), 1u) << c.url;
        EXPECT_EQ(hooks.shellRequests[0].kind, platform::ShellTarget::Url);
        EXPECT_EQ(hooks.shellRequests[0].target, ToQt(c.url));
    }
}

TEST_F(AdvancedMenuTest, AboutOpensModallyOverTheMainWindow) {
    bool seen = false;
    OnModal<TfrmAbout>([&](TfrmAbout* about) {
        seen = true;
        EXPECT_EQ(about->parentWidget(), frm.get());
        Click(about, "bOK");
    });
    Item("About1")->trigger();
    EXPECT_TRUE(seen);
}

struct FFmpegChoiceCase {
    const char* name;
    bool startDefault;
    const char* startPath;
    bool dontUseIt;    // what the user leaves ticked
    bool existingFile; // the user types the path of an existing file, else an empty path
    bool ok;           // OK, else Cancel
    bool endDefault;
    bool endUsesTyped; // AnotherFFmpegPath is what was typed, else startPath
};

TEST_F(AdvancedMenuTest, UseAnotherFFmpegTakesTheDialogsValuesOnOkOnly) {
    QTemporaryDir tools;
    const QString copy = tools.filePath("encoder-copy");
    {
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const FFmpegChoiceCase cases[] = {
        {"don't use it, empty path", false, "/old/ffmpeg", true, false, true, true, true},
        {"an existing file", true, "", false, true, true, false, true},
        {"cancel after edits", false, "/old/ffmpeg", true, false, false, false, false},
        {"cancel keeps the default", true, "/old/ffmpeg", false, true, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        frm->SetUseDefaultFFmpeg(c.startDefault);
        frm->SetAnotherFFmpegPath(c.startPath);
        const QString typed = c.existingFile ? copy : QString();
        OnModal<TfrmUseFFmpeg>([&](TfrmUseFFmpeg* dialog) {
            // The dialog opens with the window's values.
            EXPECT_EQ(dialog->parentWidget(), frm.get());
            EXPECT_EQ(dialog->Path(), QString::fromUtf8(c.startPath));
            EXPECT_EQ(dialog->NotUseAnother(), c.startDefault);
            dialog->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(typed);
            dialog->findChild<QCheckBox*>(QStringLiteral("cbNotUseAnother"))
                ->setChecked(c.dontUseIt);
            Click(dialog, c.ok ? "bOK" : "bCancel");
        });
        Item("UseanotherFFMpeg1")->trigger();
        EXPECT_TRUE(hooks.messages.empty());
        EXPECT_EQ(frm->UseDefaultFFmpeg(), c.endDefault);
        EXPECT_EQ(frm->AnotherFFmpegPath(), c.endUsesTyped ? PathFromQt(typed) : c.startPath);
        EXPECT_EQ(Item("UseanotherFFMpeg1")->isChecked(), !c.endDefault);
    }
}

TEST_F(AdvancedMenuTest, TheCheckMarkFollowsUseDefaultFFmpegWhenTheMenuOpens) {
    for (bool useDefault : {false, true, false}) {
        frm->SetUseDefaultFFmpeg(useDefault);
        frm->iAboutClick();
        EXPECT_EQ(Item("UseanotherFFMpeg1")->isChecked(), !useDefault);
        menu->close();
    }
}

TEST_F(AdvancedMenuTest, ManualConversionOkMakesTheComposedTextTheProfile) {
    frm->SetProfileText("MP3 - MPEG Layer-3 Audio");
    OnModal<TfrmManualConvert>([&](TfrmManualConvert* dialog) {
        EXPECT_EQ(dialog->parentWidget(), frm.get());
        Click(dialog, "bOK");
    });
    Child<QAction>("miManualConvert")->trigger();
    const std::string expected =
        "ffmpeg -i %1 -s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1 %1.mov";
    EXPECT_EQ(frm->ProfileText(), expected);
    EXPECT_EQ(ProfileHint(), ToQt(expected));
    EXPECT_EQ(ExtLabel(), "(*.mov)");
    EXPECT_EQ(frm->GetProfileParams(), "-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1 ");

    // Opened again, the dialog shows that profile's fields, and OK without edits keeps it.
    OnModal<TfrmManualConvert>([&](TfrmManualConvert* dialog) {
        EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("eCommandLine"))->text(),
                  "-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1");
        EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("eOutputFile"))->text(), "mov");
        Click(dialog, "bOK");
    });
    Child<QAction>("miManualConvert")->trigger();
    EXPECT_EQ(frm->ProfileText(), expected);
}

TEST_F(AdvancedMenuTest, ManualConversionRefusedOrCancelledChangesNothing) {
    frm->SetProfileText("MP3 - MPEG Layer-3 Audio");
    OnModal<TfrmManualConvert>([&](TfrmManualConvert* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("eOutputFile"))->clear();
        Click(dialog, "bOK");
        // Refused: the message, and the dialog stays open with the window untouched.
        EXPECT_EQ(hooks.MessageTexts(), QStringList{"Please check the insertion of parameters!"});
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(frm->ProfileText(), "MP3 - MPEG Layer-3 Audio");
        dialog->findChild<QLineEdit*>(QStringLiteral("eOutputFile"))->setText("mkv");
        Click(dialog, "bCancel");
    });
    Child<QAction>("miManualConvert")->trigger();
    EXPECT_EQ(frm->ProfileText(), "MP3 - MPEG Layer-3 Audio");
    EXPECT_EQ(ProfileHint(), "MP3 - MPEG Layer-3 Audio");
    EXPECT_EQ(ExtLabel(), "(*.mp3)");
}

} // namespace
