// The folder picker: through its hook, and the real dialog on the headless platform.

#include "ui/Global.h"
#include "platform/FolderDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>

// Under the thread sanitizer: the dialog's file-system model reads folders on a thread of Qt's
// own, synchronised inside the (uninstrumented) Qt library, which the sanitizer cannot see.
// No thread of ours runs in this program.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\n";
}

// Readable QStrings in failure messages.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using namespace kestrine;
namespace fs = std::filesystem;

namespace {

class FolderPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrine-browse-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directories(root + "/videos/out");
    }
    void TearDown() override {
        platform::SetFolderDialogHook({});
        std::error_code error;
        fs::remove_all(root, error);
    }

    // Runs check on the folder dialog once it is open; check closes it.
    static void WhenDialogOpens(std::function<void(QFileDialog*)> check) {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer, check] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                if (!dialog->isVisible())
                    return;
                timer->stop();
                timer->deleteLater();
                check(dialog);
            }
        });
        timer->start(10);
    }

    std::string root;
};

TEST_F(FolderPickerTest, HookAnswersWithoutAWindow) {
    std::vector<platform::FolderRequest> requests;
    std::optional<QString> answer = QString::fromUtf8("/picked/Vidéos");
    platform::SetFolderDialogHook([&](const platform::FolderRequest& request) {
        requests.push_back(request);
        return answer;
    });

    std::string folder = root + "/videos";
    EXPECT_TRUE(BrowseForFolder("Please select the directory to output", "/tmp", folder));
    EXPECT_EQ(folder, "/picked/Vidéos");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].title, "Please select the directory to output");
    EXPECT_EQ(requests[0].root, "/tmp");
    EXPECT_EQ(requests[0].startFolder, QString::fromStdString(root + "/videos"));

    // A start folder that does not exist is not offered, and a cancel leaves it cleared.
    answer.reset();
    folder = root + "/missing";
    EXPECT_FALSE(BrowseForFolder("t", "", folder));
    EXPECT_EQ(folder, "");
    EXPECT_EQ(requests.back().startFolder, "");
    EXPECT_EQ(requests.back().root, "");
}

TEST_F(FolderPickerTest, DialogShowsTitleAndStartFolderCentred) {
    // An owner window in a corner: the dialog is centred on the screen, not over it.
    QWidget owner;
    owner.setGeometry(10, 10, 200, 150);
    owner.show();
    owner.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &owner);

    const QString start = QString::fromStdString(root + "/videos");
    bool checked = false;
    WhenDialogOpens([&](QFileDialog* dialog) {
        checked = true;
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Pick one");
        EXPECT_EQ(dialog->parentWidget(), &owner);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
        EXPECT_EQ(dialog->directory().absolutePath().toStdString(), start.toStdString());
        const QPoint centre = dialog->screen()->geometry().center();
        EXPECT_LE((dialog->frameGeometry().center() - centre).manhattanLength(), 1);
        static_cast<QDialog*>(dialog)->accept(); // nothing selected: the folder it is in
    });
    std::string folder = start.toStdString();
    EXPECT_TRUE(BrowseForFolder("Pick one", "", folder));
    EXPECT_TRUE(checked);
    EXPECT_EQ(folder, start.toStdString());
}

TEST_F(FolderPickerTest, DialogPicksAFolderOrCancels) {
    WhenDialogOpens([&](QFileDialog* dialog) {
        dialog->selectFile(QString::fromStdString(root + "/videos/out"));
        static_cast<QDialog*>(dialog)->accept();
    });
    std::string folder;
    EXPECT_TRUE(BrowseForFolder("t", "", folder));
    EXPECT_EQ(folder, root + "/videos/out");

    WhenDialogOpens([](QFileDialog* dialog) { dialog->reject(); });
    folder = root;
    EXPECT_FALSE(BrowseForFolder("t", "", folder));
}

TEST_F(FolderPickerTest, DialogKeepsTheUserUnderTheRoot) {
    const QString top = QString::fromStdString(root + "/videos");
    bool checked = false;
    WhenDialogOpens([&](QFileDialog* dialog) {
        checked = true;
        // Opens at the root, the start folder lying outside it.
        EXPECT_EQ(dialog->directory().absolutePath().toStdString(), top.toStdString());
        // Choosing a folder above the root takes the user back to the root.
        dialog->selectFile(QString::fromStdString(root));
        static_cast<QDialog*>(dialog)->accept();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->directory().absolutePath().toStdString(), top.toStdString());
        dialog->selectFile(top + "/out");
        static_cast<QDialog*>(dialog)->accept();
    });
    std::string folder = "/";
    EXPECT_TRUE(BrowseForFolder("t", top.toStdString(), folder));
    EXPECT_TRUE(checked);
    EXPECT_EQ(folder, root + "/videos/out");
}

} // namespace
