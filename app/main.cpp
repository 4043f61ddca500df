#include "ui/Main.h"
#include "base/Strings.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The title is the application's name, so boxes take it as their caption; windows keep their
    // own captions ("Kestrine with FFmpeg (2/5)") without the name appended to them.
    QApplication::setApplicationName(QString::fromUtf8(kestrine::strings::kAppTitle));
    kestrine::TfrmMain frmMain;
    frmMain.show();
    return app.exec();
}
