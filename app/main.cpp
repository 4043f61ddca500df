#include "ui/Main.h"
#include "base/Strings.h"
#include "platform/Application.h"
#include "platform/SingleInstance.h"

// The program reads no command line: arguments of any start have no effect.
int main(int argc, char* argv[]) {
    platform::Application app(argc, argv);
    // The title is the application's name, so boxes take it as their caption; windows keep their
    // own captions ("Kestrine with FFmpeg (2/5)") without the name appended to them.
    QApplication::setApplicationName(QString::fromUtf8(kestrine::strings::kAppTitle));

    // One instance per user: a later start asks the running one to show itself and ends.
    platform::InstanceChannel channel;
    if (!channel.Claim())
        return 0;

    kestrine::TfrmMain frmMain;
    QObject::connect(&channel, &platform::InstanceChannel::ShowRequested, &frmMain,
                     &kestrine::TfrmMain::WMShowInstance);
    frmMain.show();
    app.exec();
    return 0;
}
