// Figure 3: the front-end's own CPU while FFmpeg converts a 30-second clip to H.264, as a share
// of FFmpeg's CPU: kestrine-cli's batch runs in this process, so getrusage tells our own time
// (RUSAGE_SELF, every thread of ours) from FFmpeg's (RUSAGE_CHILDREN). Then the wake-ups of the
// engine with nothing to convert: the context switches of our threads over a few idle seconds.

#include "bench/Figures.h"

#include "cli/CliApp.h"
#include "engine/ConvertProcess.h"
#include "engine/FFmpegCapabilities.h"

#include <QEventLoop>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace bench {

namespace {

constexpr const char* kProfile = "H.264 (*.mp4)";
constexpr int kIdleSeconds = 3;

// Our context switches over idle seconds of the event loop, less the one of the timer that
// ends the wait.
long IdleWakeUps(int seconds) {
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec(); // what was pending settles first
    const long before = ContextSwitches(getpid());
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return ContextSwitches(getpid()) - before - 1;
}

} // namespace

void CpuFigure(const Setup& setup, Table& table) {
    const int runs = setup.quick ? 1 : 3;
    const int seconds = setup.quick ? 5 : 30;
    TempDir dir;
    const std::string clip = dir.File("clip30.avi");
    const std::string out = dir.File("out");
    std::filesystem::create_directory(out);
    if (!MakeClip(setup.ffmpeg, clip, seconds, "640x360", 3)) {
        table.Add({"3", "front-end CPU", {}, "", "", {}, {}, "", {}, "no clip could be made"});
        return;
    }
    // What the FFmpeg offers is learnt once per program run, before the first file; that is
    // figure 5. Here it is known already, so the children below are the conversions alone.
    kestrine::CapabilitiesOf(setup.ffmpeg);

    const std::vector<std::string> args = {"--profile",   kProfile,   "--output-dir",
                                           out,           "--ffmpeg", setup.ffmpeg,
                                           "--overwrite", "yes",      clip};
    std::vector<double> shares, own, ffmpeg, wall;
    bool ok = true;
    const std::string loadBefore = LoadAverage();
    for (int i = 0; i < runs; ++i) {
        std::istringstream in;
        std::ostringstream progressLine, errors;
        const double selfBefore = CpuSeconds(RUSAGE_SELF);
        const double childrenBefore = CpuSeconds(RUSAGE_CHILDREN);
        const std::int64_t start = MonotonicNs();
        // As on a terminal: the progress line is drawn for every notice.
        const int code = kestrine::cli::RunCli(args, in, progressLine, errors, true);
        wall.push_back(MsSince(start));
        const double self = CpuSeconds(RUSAGE_SELF) - selfBefore;
        const double children = CpuSeconds(RUSAGE_CHILDREN) - childrenBefore;
        ok = ok && code == 0;
        if (code != 0)
            std::fprintf(stderr, "bench: kestrine-cli: %s\n", errors.str().c_str());
        own.push_back(self * 1000);
        ffmpeg.push_back(children * 1000);
        shares.push_back(children > 0 ? 100 * self / children : 0);
    }
    const double share = Median(shares);
    char note[200];
    std::snprintf(note, sizeof note, "%d runs of a %d s 640x360 clip, conversion %.1f s; load %s",
                  runs, seconds, Median(wall) / 1000, loadBefore.c_str());
    const double ownMs = Median(own);
    table.Add(
        {"3", "front-end CPU during an H.264 conversion", ownMs, "ms", "FFmpeg CPU", Median(ffmpeg),
         share / 100, "< 0.005", ok && share < 0.5,
         std::string(note) + "; the ratio is the share (goal 0.5 %)" + (ok ? "" : "; FAILED")});

    // The engine after a conversion, nothing running: no thread of ours should wake.
    kestrine::TConvertProcess engine;
    const std::string input = dir.File("input");
    std::ofstream(input) << "input\n";
    EngineNoticeLatency(engine, setup, input, dir.File("never-written"), {});
    std::vector<double> wakeUps;
    for (int i = 0; i < (setup.quick ? 1 : 2); ++i)
        wakeUps.push_back(static_cast<double>(IdleWakeUps(kIdleSeconds)));
    const double idle = Median(wakeUps);
    Row idleRow;
    idleRow.figure = "3";
    idleRow.what =
        "engine idle after a conversion: wake-ups in " + std::to_string(kIdleSeconds) + " s";
    idleRow.value = idle;
    idleRow.goal = "0";
    idleRow.met = idle <= 0;
    idleRow.note = "voluntary context switches of all our threads (each is one sleep)";
    table.Add(idleRow);

    // While a child runs and prints nothing (FFmpeg waiting on its input, or hung).
    double silent = -1;
    EngineNoticeLatency(engine, setup, input, dir.File("never-written"),
                        [&] { silent = static_cast<double>(IdleWakeUps(kIdleSeconds)); });
    Row silentRow;
    silentRow.figure = "3";
    silentRow.what =
        "engine watching a silent child: wake-ups in " + std::to_string(kIdleSeconds) + " s";
    silentRow.value = silent;
    silentRow.note = "no goal; waiting 100 ms at a time would give 30";
    table.Add(silentRow);
}

} // namespace bench
