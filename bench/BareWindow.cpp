// The start-up baseline: a bare Qt program that shows one empty window of the main window's
// size, titled as ours, and waits.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Kestrine with FFmpeg (bare)"));
    window.resize(472, 360);
    window.show();
    return app.exec();
}
