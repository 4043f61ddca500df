// A manual profile typed in its dialog converts a generated clip with the system FFmpeg, is kept
// in the settings when the window closes, and converts again after a restart.

#include "E2eSupport.h"

#include "../gui/GuiHooks.h"

#include "ui/Main.h"
#include "ui/ManualConvert.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

constexpr char kManualText[] = "ffmpeg -i %1 -vn -ar 22050 -ac 1 %1.wav";

void Convert(kestrine::TfrmMain& frm) {
    QTest::mouseClick(frm.findChild<QPushButton*>(QStringLiteral("bConvert")), Qt::LeftButton);
}

void ExpectMonoWav(const std::filesystem::path& path) {
    const e2e::Probe probe = e2e::ProbeFile(path);
    EXPECT_EQ(probe.streams, "pcm_s16le,audio") << path;
    EXPECT_NEAR(probe.duration, 2, 0.5) << path;
    std::string rate;
    EXPECT_EQ(e2e::Run({"ffprobe", "-v", "error", "-show_entries", "stream=sample_rate,channels",
                        "-of", "csv=p=0", path.string()},
                       &rate),
              0);
    EXPECT_EQ(e2e::Trimmed(rate), "22050,1") << path;
}

TEST(ManualProfileE2E, TypedProfileConvertsAndSurvivesARestart) {
    const std::filesystem::path dir = e2e::ScratchDir();
    const std::filesystem::path in = dir / "in";
    const std::filesystem::path out = dir / "out";
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(out);
    qputenv("XDG_CONFIG_HOME",
            QFile::encodeName(QString::fromStdString((dir / "config").string())));
    e2e::MakeClip(in / "clip one.avi", "2");

    GuiHooks hooks;
    hooks.pickedFiles = {QString::fromStdString((in / "clip one.avi").string())};
    const std::filesystem::path output = out / "clip one.wav";

    auto frm = std::make_unique<kestrine::TfrmMain>();
    frm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    frm->findChild<QLineEdit*>(QStringLiteral("eOutputFolder"))
        ->setText(QString::fromStdString(out.string()));
    ASSERT_TRUE(frm->UseDefaultFFmpeg());

    // The user types the options and the extension over the defaults and presses OK.
    OnModal<kestrine::TfrmManualConvert>([](kestrine::TfrmManualConvert* dialog) {
        auto* commandLine = dialog->findChild<QLineEdit*>(QStringLiteral("eCommandLine"));
        auto* extension = dialog->findChild<QLineEdit*>(QStringLiteral("eOutputFile"));
        commandLine->selectAll();
        QTest::keyClicks(commandLine, "-vn -ar 22050 -ac 1");
        extension->selectAll();
        QTest::keyClicks(extension, "wav");
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("bOK")), Qt::LeftButton);
    });
    frm->findChild<QAction*>(QStringLiteral("miManualConvert"))->trigger();
    ASSERT_EQ(frm->ProfileText(), kManualText);
    EXPECT_EQ(frm->findChild<QLabel*>(QStringLiteral("lExtName"))->text(), "(*.wav)");

    Convert(*frm);
    EXPECT_TRUE(hooks.messages.empty())
        << hooks.MessageTexts().join(QLatin1Char('|')).toStdString();
    ExpectMonoWav(output);

    // Closing saves the profile text as it stands.
    frm->close();
    frm.reset();
    std::ifstream ini(dir / "config" / "Tallowmere" / "Kestrine" / "settings.ini");
    const std::string settings{std::istreambuf_iterator<char>(ini), {}};
    EXPECT_NE(settings.find(kManualText), std::string::npos) << settings;

    // After a restart the same profile, and the output folder, are back and convert again.
    std::filesystem::remove(output);
    frm = std::make_unique<kestrine::TfrmMain>();
    frm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    EXPECT_EQ(frm->ProfileText(), kManualText);
    EXPECT_EQ(frm->findChild<QLabel*>(QStringLiteral("lExtName"))->text(), "(*.wav)");
    EXPECT_EQ(frm->GetProfileParams(), "-vn -ar 22050 -ac 1 ");
    Convert(*frm);
    EXPECT_TRUE(hooks.messages.empty())
        << hooks.MessageTexts().join(QLatin1Char('|')).toStdString();
    ExpectMonoWav(output);
    frm.reset();
    std::filesystem::remove_all(dir);
}

} // namespace
