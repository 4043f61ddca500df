// The manual conversion dialog: its defaults, the prefill from the current profile text, the live
// preview and the check on OK.

#include "ui/ManualConvert.h"
#include "base/Strings.h"
#include "platform/MessageBox.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace kestrine;

namespace {

constexpr char kDefaultText[] =
    "ffmpeg -i %1 -s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1 %1.mov";

// Records the message boxes shown while it lives, answering each with OK.
class MessageRecorder {
public:
    MessageRecorder() {
        previous = platform::SetMessageBoxHook([this](const platform::MessageRequest& request) {
            shown.push_back(request);
            return platform::MessageAnswer::Ok;
        });
    }
    ~MessageRecorder() { platform::SetMessageBoxHook(previous); }
    std::vector<platform::MessageRequest> shown;

private:
    platform::MessageBoxHook previous;
};

struct Dialog {
    explicit Dialog(const std::string& profileText) : form(profileText) {
        form.show();
        commandLine = form.findChild<QLineEdit*>("eCommandLine");
        extension = form.findChild<QLineEdit*>("eOutputFile");
        preview = form.findChild<QLineEdit*>("Edit1");
        ok = form.findChild<QPushButton*>("bOK");
        cancel = form.findChild<QPushButton*>("bCancel");
    }
    TfrmManualConvert form;
    QLineEdit* commandLine;
    QLineEdit* extension;
    QLineEdit* preview;
    QPushButton* ok;
    QPushButton* cancel;
};

} // namespace

TEST(ManualConvertDialog, OpensAsAFixedDialogWithTheDefaultsComposed) {
    Dialog d("");
    EXPECT_EQ(d.form.windowTitle(), "Manual conversion");
    EXPECT_EQ(d.form.minimumSize(), QSize(540, 363));
    EXPECT_EQ(d.form.maximumSize(), QSize(540, 363));
    EXPECT_EQ(d.form.findChild<QGroupBox*>("GroupBox3")->title(),
              "Output File Extension (no \".\")");
    EXPECT_EQ(d.commandLine->text(), "-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1");
    EXPECT_EQ(d.extension->text(), "mov");
    EXPECT_EQ(d.preview->text(), kDefaultText);
    EXPECT_EQ(d.form.ProfileText(), kDefaultText);
    EXPECT_TRUE(d.preview->isReadOnly());
    // Neither button is pressed by Enter in a field.
    EXPECT_FALSE(d.ok->autoDefault());
    EXPECT_FALSE(d.ok->isDefault());
}

struct PrefillCase {
    const char* profileText;
    const char* commandLine;
    const char* extension;
};

class ManualConvertPrefill : public ::testing::TestWithParam<PrefillCase> {};

TEST_P(ManualConvertPrefill, FieldsAndPreviewFollowTheCurrentProfileText) {
    const auto& c = GetParam();
    Dialog d(c.profileText);
    EXPECT_EQ(d.commandLine->text().toStdString(), c.commandLine);
    EXPECT_EQ(d.extension->text().toStdString(), c.extension);
    EXPECT_EQ(d.preview->text().toStdString(),
              ComposeManualProfileText(c.commandLine, c.extension));

    const auto fields = ManualFieldsFor(c.profileText);
    EXPECT_EQ(fields.commandLine, c.commandLine);
    EXPECT_EQ(fields.extension, c.extension);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManualConvertPrefill,
    ::testing::Values(
        // No manual text: the defaults stay.
        PrefillCase{"", "-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1", "mov"},
        PrefillCase{"MP4 - MPEG-4 Video", "-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1", "mov"},
        PrefillCase{" ffmpeg -i %1 -vn %1.mp3", "-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1",
                    "mov"},
        // A manual text the dialog composed, in any letter case.
        PrefillCase{"ffmpeg -i %1 -vn -ab 128k %1.mp3", "-vn -ab 128k", "mp3"},
        PrefillCase{"FFmpeg -i %1 -an  -r 25 %1.avi", "-an  -r 25", "avi"},
        // A second "%1." typed in the command line moves the split to the first one.
        PrefillCase{"ffmpeg -i %1 -a %1.x -b %1.mp4", "-a", "x -b %1.mp4"},
        // Hand-edited texts: without "%1." the rest is the command line; an early "%1.".
        PrefillCase{"ffmpeg -i %1 -vn", "-vn", ""}, PrefillCase{"ffmpeg %1.mp4", "", "mp4"}));

TEST(ManualConvertDialog, PreviewFollowsTypingInEitherField) {
    Dialog d("");
    d.commandLine->clear();
    QTest::keyClicks(d.commandLine, "-vn  -ar 44100");
    d.extension->clear();
    QTest::keyClicks(d.extension, ".mp4");
    EXPECT_EQ(d.form.ProfileText(), "ffmpeg -i %1 -vn  -ar 44100 %1..mp4");
}

TEST(ManualConvertDialog, OkWithoutEditsKeepsAComposedProfileText) {
    Dialog d("ffmpeg -i %1 -vcodec mpeg4 -b 800k %1.mp4");
    MessageRecorder messages;
    QTest::mouseClick(d.ok, Qt::LeftButton);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(d.form.result(), QDialog::Accepted);
    EXPECT_EQ(d.form.ProfileText(), "ffmpeg -i %1 -vcodec mpeg4 -b 800k %1.mp4");
}

struct CheckCase {
    const char* commandLine;
    const char* extension;
    bool accepted;
};

class ManualConvertCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ManualConvertCheck, OkRefusesAnEmptyFieldAndKeepsTheDialogOpen) {
    const auto& c = GetParam();
    EXPECT_EQ(ManualFieldsAccepted(c.commandLine, c.extension), c.accepted);

    Dialog d("");
    d.commandLine->setText(c.commandLine);
    d.extension->setText(c.extension);
    MessageRecorder messages;
    QTest::mouseClick(d.ok, Qt::LeftButton);
    if (c.accepted) {
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(d.form.result(), QDialog::Accepted);
        EXPECT_FALSE(d.form.isVisible());
        return;
    }
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Please check the insertion of parameters!");
    EXPECT_EQ(messages.shown[0].caption, "Kestrine with FFmpeg");
    EXPECT_EQ(messages.shown[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(messages.shown[0].buttons, platform::MessageButtons::Ok);
    EXPECT_TRUE(d.form.isVisible());
    EXPECT_EQ(d.commandLine->text(), c.commandLine);
    EXPECT_EQ(d.extension->text(), c.extension);

    // Filling the fields again lets OK through.
    d.commandLine->setText("-vn");
    d.extension->setText("mp3");
    QTest::mouseClick(d.ok, Qt::LeftButton);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(d.form.result(), QDialog::Accepted);
    EXPECT_EQ(d.form.ProfileText(), "ffmpeg -i %1 -vn %1.mp3");
}

INSTANTIATE_TEST_SUITE_P(Cases, ManualConvertCheck,
                         ::testing::Values(CheckCase{"", "mov", false}, CheckCase{"-vn", "", false},
                                           CheckCase{"", "", false}, CheckCase{" ", " ", true},
                                           CheckCase{"-vn", ".mp4", true}));

TEST(ManualConvertDialog, CancelClosesWithoutOk) {
    Dialog d("");
    d.commandLine->setText("-vn");
    QTest::mouseClick(d.cancel, Qt::LeftButton);
    EXPECT_EQ(d.form.result(), QDialog::Rejected);
    EXPECT_FALSE(d.form.isVisible());
}
