// The main flow from the main window with the system FFmpeg: two generated clips converted to
// MP3 into a folder of their own, both outputs valid.

#include "E2eSupport.h"

#include "../gui/GuiHooks.h"

#include "ui/Main.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(MainWindowE2E, TwoClipsBecomeMp3s) {
    const std::filesystem::path dir = e2e::ScratchDir();
    const std::filesystem::path in = dir / "in";
    const std::filesystem::path out = dir / "out";
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(out);
    qputenv("XDG_CONFIG_HOME",
            QFile::encodeName(QString::fromStdString((dir / "config").string())));
    e2e::MakeClip(in / "first clip.avi", "2");
    e2e::MakeClip(in / "second.avi", "3");

    GuiHooks hooks;
    hooks.pickedFiles = {QString::fromStdString((in / "first clip.avi").string()),
                         QString::fromStdString((in / "second.avi").string())};
    kestrine::TfrmMain frm;
    frm.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
    frm.findChild<QLineEdit*>(QStringLiteral("eOutputFolder"))
        ->setText(QString::fromStdString(out.string()));
    frm.SetProfileText("MP3 - MPEG Layer-3 Audio");
    ASSERT_TRUE(frm.UseDefaultFFmpeg()); // the system FFmpeg, found by the program search
    QTest::mouseClick(frm.findChild<QPushButton*>(QStringLiteral("bConvert")), Qt::LeftButton);

    EXPECT_TRUE(hooks.messages.empty())
        << hooks.MessageTexts().join(QLatin1Char('|')).toStdString();
    const struct {
        const char* name;
        double seconds;
    } outputs[] = {{"first clip.mp3", 2}, {"second.mp3", 3}};
    for (const auto& output : outputs) {
        const e2e::Probe probe = e2e::ProbeFile(out / output.name);
        EXPECT_EQ(probe.streams, "mp3,audio") << output.name;
        EXPECT_NEAR(probe.duration, output.seconds, 0.5) << output.name;
    }
    std::filesystem::remove_all(dir);
}

} // namespace
