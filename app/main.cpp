#include "ui/Main.h"
#include "base/Strings.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8(kestrine::strings::kAppTitle));
    kestrine::TfrmMain frmMain;
    frmMain.show();
    return app.exec();
}
