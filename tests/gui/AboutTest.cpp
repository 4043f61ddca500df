// The About window: its texts and pictures, and the link that shows the maker's address but opens
// the product home page.

#include "ui/About.h"
#include "base/Strings.h"
#include "platform/Shell.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace kestrine;

TEST(AboutWindow, ShowsTheTitleVersionAndAddressesAsAFixedWindow) {
    TfrmAbout about;
    about.show();
    EXPECT_EQ(about.windowTitle(), "About Kestrine");
    EXPECT_EQ(about.minimumSize(), QSize(331, 259));
    EXPECT_EQ(about.maximumSize(), QSize(331, 259));
    auto text = [&](const char* name) { return about.findChild<QLabel*>(name)->text(); };
    EXPECT_EQ(text("Label1"), "Kestrine with FFmpeg");
    EXPECT_EQ(text("Label2"), "Version: 1.1   Build 20130125");
    EXPECT_TRUE(text("lCopywrite").startsWith("Copyright"));
    EXPECT_TRUE(text("Label3").startsWith("Email: "));
    EXPECT_TRUE(text("Label3").endsWith(".example"));
    EXPECT_EQ(text("lbEAddress"), QString::fromUtf8(strings::kMakerPageUrl));
    // Every text fits inside the window.
    for (auto* label : about.findChildren<QLabel*>())
        EXPECT_LE(label->geometry().right(), 331) << label->objectName().toStdString();

    // Both pictures are drawn from the embedded resources.
    auto* banner = about.findChild<QLabel*>("Image2");
    auto* logo = about.findChild<QLabel*>("Image1");
    EXPECT_FALSE(banner->pixmap().isNull());
    EXPECT_FALSE(logo->pixmap().isNull());
    EXPECT_EQ(banner->geometry(), QRect(0, 0, 331, 71));
    EXPECT_EQ(logo->geometry(), QRect(16, 88, 32, 32));
}

TEST(AboutWindow, TheLinkOpensTheHomePage) {
    std::vector<std::pair<platform::ShellTarget, QString>> opened;
    auto previous = platform::SetShellHook([&](const platform::ShellRequest& request) {
        opened.emplace_back(request.kind, request.target);
        return true;
    });
    TfrmAbout about;
    about.show();
    auto* link = about.findChild<QLabel*>("lbEAddress");
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    // A press that is released elsewhere is no click.
    QTest::mousePress(link, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-20, -20));
    EXPECT_TRUE(opened.empty());
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first, platform::ShellTarget::Url);
    EXPECT_EQ(opened[0].second, QString::fromUtf8(strings::kHomePageUrl));
    EXPECT_TRUE(about.isVisible());
    platform::SetShellHook(previous);
}

TEST(AboutWindow, OkClosesWithOk) {
    TfrmAbout about;
    about.show();
    QTest::mouseClick(about.findChild<QPushButton*>("bOK"), Qt::LeftButton);
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}
