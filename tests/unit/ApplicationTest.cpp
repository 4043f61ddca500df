#include "platform/Application.h"
#include "platform/MessageBox.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(DefaultErrorBox, FullStopRule) {
    const std::pair<QString, QString> cases[] = {
        {"Error while creating convert process!2", "Error while creating convert process!2."},
        {"Unable to write to /x/settings.ini", "Unable to write to /x/settings.ini."},
        {"Ends with a dot.", "Ends with a dot."},
        {"Ends with a comma,", "Ends with a comma,"},  // "," sorts before "."
        {"Ends with a dash-", "Ends with a dash-"},    // so does "-"
        {"Ends with a slash/", "Ends with a slash/."}, // "/" sorts after "."
        {"Ends with a blank ", "Ends with a blank "},
        {"Ends with !", "Ends with !"},
        {"Ends with ü", "Ends with ü."},
        {"", ""},
    };
    for (const auto& [message, expected] : cases)
        EXPECT_EQ(platform::DefaultErrorBoxText(message), expected) << message.toStdString();
}

TEST(DefaultErrorBox, UncaughtExceptionIsShownAndTheProgramGoesOn) {
    std::vector<platform::MessageRequest> shown;
    const auto previous = platform::SetMessageBoxHook([&](const platform::MessageRequest& request) {
        shown.push_back(request);
        return platform::MessageAnswer::Ok;
    });
    auto* app = qobject_cast<platform::Application*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    QCoreApplication::setApplicationName("Kestrine with FFmpeg");
    QApplication::setApplicationDisplayName("Kestrine with FFmpeg");
    bool ranAfter = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("Something broke"); });
    QTimer::singleShot(10, [&] {
        ranAfter = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    platform::SetMessageBoxHook(previous);

    EXPECT_TRUE(ranAfter);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Something broke.");
    EXPECT_EQ(shown[0].caption, "Kestrine with FFmpeg");
    EXPECT_EQ(shown[0].icon, platform::MessageIcon::Error);
}

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
