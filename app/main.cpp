#include "base/Strings.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString title = QString::fromUtf8(kestrine::strings::kAppTitle);
    QApplication::setApplicationDisplayName(title);
    QWidget window;
    window.setWindowTitle(title);
    window.resize(472, 360);
    window.show();
    return app.exec();
}
