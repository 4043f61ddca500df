// kestrine_bench: runs the figures and prints one table.
//
//   kestrine_bench [--runs N] [--quick] [--only 1,2,...] [--ffmpeg PATH]
//
// --runs sets the repetitions of the slow figures (default 5), --quick makes every figure small
// (to see that it all works, not for figures), --only picks figures.

#include "bench/Figures.h"

#include "engine/FFmpegCapabilities.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: kestrine_bench [--runs N] [--quick] [--only 1,2,...] [--ffmpeg PATH]\n");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    bench::Setup setup;
    setup.cli = KESTRINE_BENCH_CLI;
    setup.app = KESTRINE_BENCH_APP;
    setup.stampExit = KESTRINE_BENCH_STAMP_EXIT;
    setup.flood = KESTRINE_BENCH_FLOOD;
    setup.bareWindow = KESTRINE_BENCH_BARE_WINDOW;
    std::string ffmpeg = "ffmpeg";
    std::set<int> only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            setup.runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--quick") {
            setup.quick = true;
        } else if (arg == "--only" && i + 1 < argc) {
            for (const char* p = argv[++i]; *p != '\0'; ++p) {
                if (*p >= '1' && *p <= '5')
                    only.insert(*p - '0');
            }
        } else if (arg == "--ffmpeg" && i + 1 < argc) {
            ffmpeg = argv[++i];
        } else {
            Usage();
            return 2;
        }
    }
    setup.ffmpeg = kestrine::ResolveFFmpegExecutable(ffmpeg);
    if (setup.ffmpeg.empty()) {
        std::fprintf(stderr, "kestrine_bench: no %s found\n", ffmpeg.c_str());
        return 2;
    }

    // A cache folder of our own: the figures neither depend on what an earlier run left in the
    // user's cache nor change it.
    bench::TempDir cacheHome;
    setenv("XDG_CACHE_HOME", cacheHome.Path().c_str(), 1);

    const std::int64_t start = bench::MonotonicNs();
    std::printf("Kestrine benchmarks\nmachine: %s\nload average at start: %s\n\n",
                bench::MachineDescription(setup.ffmpeg).c_str(), bench::LoadAverage().c_str());
    std::fflush(stdout);

    const struct {
        int number;
        const char* title;
        void (*run)(const bench::Setup&, bench::Table&);
    } figures[] = {
        {1, "batch overhead", bench::BatchFigure},
        {2, "end of a child to its notice", bench::NoticeFigure},
        {3, "front-end CPU and idle wake-ups", bench::CpuFigure},
        {4, "output flood", bench::FloodFigure},
        {5, "main window start-up and the FFmpeg probe", bench::StartupFigure},
    };
    bench::Table table;
    for (const auto& figure : figures) {
        if (!only.empty() && only.count(figure.number) == 0)
            continue;
        std::fprintf(stderr, "figure %d: %s...\n", figure.number, figure.title);
        const std::int64_t figureStart = bench::MonotonicNs();
        figure.run(setup, table);
        std::fprintf(stderr, "figure %d: %.1f s\n", figure.number,
                     bench::MsSince(figureStart) / 1000);
    }

    table.SortByFigure();
    table.Print();
    std::printf("\nload average at end: %s; %.0f s in all%s\n", bench::LoadAverage().c_str(),
                bench::MsSince(start) / 1000,
                setup.quick ? " (--quick: the figures are not meaningful)" : "");
    return 0;
}
