// The FFmpeg location dialog: "&Default", the file dialog, the focus on opening and the check on
// OK.

#include "ui/Useanother.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace kestrine;

namespace {

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
    Dialog(const QString& path, bool notUseAnother) {
        form.SetPath(path);
        form.SetNotUseAnother(notUseAnother);
        form.show();
        edit = form.findChild<QLineEdit*>("Edit1");
        dontUseIt = form.findChild<QCheckBox*>("cbNotUseAnother");
        browse = form.findChild<QPushButton*>("bBrowser");
        byDefault = form.findChild<QPushButton*>("bDefault");
        ok = form.findChild<QPushButton*>("bOK");
        cancel = form.findChild<QPushButton*>("bCancel");
    }
    TfrmUseFFmpeg form;
    QLineEdit* edit;
    QCheckBox* dontUseIt;
    QPushButton* browse;
    QPushButton* byDefault;
    QPushButton* ok;
    QPushButton* cancel;
};

} // namespace

TEST(UseFFmpegDialog, OpensAsAFixedDialogWithItsValues) {
    Dialog d("/opt/ffmpeg/bin/ffmpeg", true);
    EXPECT_EQ(d.form.windowTitle(), "Use another FFmpeg");
    EXPECT_EQ(d.form.minimumSize(), QSize(368, 139));
    EXPECT_EQ(d.form.maximumSize(), QSize(368, 139));
    EXPECT_EQ(d.edit->text(), "/opt/ffmpeg/bin/ffmpeg");
    EXPECT_TRUE(d.dontUseIt->isChecked());
    for (auto* button : {d.browse, d.byDefault, d.ok, d.cancel})
        EXPECT_FALSE(button->autoDefault() || button->isDefault()) << button->objectName().data();
    // The whole check box text is visible.
    EXPECT_GE(d.dontUseIt->width(), d.dontUseIt->sizeHint().width());
}

TEST(UseFFmpegDialog, AStoredPathTakesTheFocusAnEmptyOneDoesNot) {
    Dialog stored("/usr/bin/ffmpeg", false);
    QApplication::setActiveWindow(&stored.form);
    EXPECT_EQ(stored.form.focusWidget(), stored.edit);

    Dialog empty("", false);
    QApplication::setActiveWindow(&empty.form);
    EXPECT_NE(empty.form.focusWidget(), empty.edit);
}

TEST(UseFFmpegDialog, DefaultIsTheProgramFolderPlusFFmpegAndTestsNothing) {
    struct {
        const char* dir;
        const char* path;
    } cases[] = {{"/opt/kestrine", "/opt/kestrine/ffmpeg"},
                 {"/opt/kestrine/", "/opt/kestrine/ffmpeg"},
                 {"/", "/ffmpeg"},
                 {"/home/jö/bin", "/home/jö/bin/ffmpeg"}};
    for (const auto& c : cases)
        EXPECT_EQ(DefaultFFmpegPath(QString::fromUtf8(c.dir)), QString::fromUtf8(c.path)) << c.dir;

    // There is no ffmpeg beside the test program: "&Default" fills the path anyway, leaves the
    // check box, and OK then refuses it.
    Dialog d("", false);
    QTest::mouseClick(d.byDefault, Qt::LeftButton);
    const QString expected = QCoreApplication::applicationDirPath() + "/ffmpeg";
    ASSERT_FALSE(QFile::exists(expected));
    EXPECT_EQ(d.edit->text(), expected);
    EXPECT_FALSE(d.dontUseIt->isChecked());
    MessageRecorder messages;
    QTest::mouseClick(d.ok, Qt::LeftButton);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(d.form.isVisible());
}

TEST(UseFFmpegDialog, BrowseListsOnlyFFmpegAndTakesThePickedFile) {
    std::vector<platform::OpenFilesRequest> requests;
    QStringList answer{"/srv/tools/ffmpeg"};
    auto previous = platform::SetOpenFilesHook([&](const platform::OpenFilesRequest& request) {
        requests.push_back(request);
        return answer;
    });
    Dialog d("/old/ffmpeg", false);
    QTest::mouseClick(d.browse, Qt::LeftButton);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].filter, "ffmpeg (ffmpeg)");
    EXPECT_FALSE(requests[0].multiple);
    EXPECT_TRUE(requests[0].title.isEmpty());
    EXPECT_TRUE(requests[0].startFolder.isEmpty());
    EXPECT_EQ(requests[0].owner, &d.form);
    EXPECT_EQ(d.edit->text(), "/srv/tools/ffmpeg");

    // Cancelling the file dialog changes nothing.
    answer.clear();
    QTest::mouseClick(d.browse, Qt::LeftButton);
    EXPECT_EQ(d.edit->text(), "/srv/tools/ffmpeg");
    platform::SetOpenFilesHook(previous);
}

TEST(UseFFmpegDialog, OkAcceptsAnExistingFileOrDontUseItAndRefusesTheRest) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString copy = dir.filePath("my-encoder");
    {
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString link = dir.filePath("ffmpeg");
    ASSERT_TRUE(QFile::link(copy, link));
    const QString dangling = dir.filePath("gone");
    ASSERT_TRUE(QFile::link(dir.filePath("nothing"), dangling));
    const QString missing = dir.filePath("ffmpeg-missing");

    struct {
        bool dontUseIt;
        QString path;
        bool accepted;
    } cases[] = {
        {true, "", true},           {true, missing, true},   {true, dir.path(), true},
        {false, copy, true},        {false, link, true},     {false, "", false},
        {false, dir.path(), false}, {false, missing, false}, {false, dangling, false},
        {false, copy + "/", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.path + (c.dontUseIt ? " (don't use it)" : "")).toStdString());
        EXPECT_EQ(FFmpegChoiceAccepted(c.dontUseIt, c.path), c.accepted);

        Dialog d(c.path, c.dontUseIt);
        MessageRecorder messages;
        QTest::mouseClick(d.ok, Qt::LeftButton);
        if (c.accepted) {
            EXPECT_TRUE(messages.shown.empty());
            EXPECT_EQ(d.form.result(), QDialog::Accepted);
            EXPECT_EQ(d.form.Path(), c.path);
            EXPECT_EQ(d.form.NotUseAnother(), c.dontUseIt);
            continue;
        }
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "This FFmpeg.exe file does not exist.");
        EXPECT_EQ(messages.shown[0].caption, "Kestrine with FFmpeg");
        EXPECT_EQ(messages.shown[0].icon, platform::MessageIcon::Information);
        EXPECT_TRUE(d.form.isVisible());
        EXPECT_EQ(d.edit->text(), c.path);
    }
}

TEST(UseFFmpegDialog, CancelClosesWithoutOkAndWithoutACheck) {
    Dialog d("", false);
    d.edit->setText("/nowhere/ffmpeg");
    d.dontUseIt->setChecked(true);
    MessageRecorder messages;
    QTest::mouseClick(d.cancel, Qt::LeftButton);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(d.form.result(), QDialog::Rejected);
    EXPECT_FALSE(d.form.isVisible());
}
