// Claims the single-instance channel named on its command line, like the program does at start.
// Prints "primary" or "secondary" on a line; as the primary it prints "show" for every show
// request and runs until it is killed or its time (second argument, ms) is up.

#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: instance_runner NAME LIFETIME_MS\n");
        return 2;
    }
    platform::InstanceChannel channel(QString::fromLocal8Bit(argv[1]));
    if (!channel.Claim()) {
        std::printf("secondary\n");
        return 0;
    }
    std::printf("primary\n");
    std::fflush(stdout);
    QObject::connect(&channel, &platform::InstanceChannel::ShowRequested, [] {
        std::printf("show\n");
        std::fflush(stdout);
    });
    QTimer::singleShot(std::atoi(argv[2]), &app, &QCoreApplication::quit);
    return app.exec();
}
