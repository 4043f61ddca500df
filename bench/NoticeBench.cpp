// Figure 2: from the end of a child to its completion notice being handled by the window that
// asked for the conversion. The child prints the moment it ends (CLOCK_MONOTONIC, the clock of
// this process too) and ends at once. The baseline is the least the system offers: a parent
// that blocks on the child's output until end-of-file and then reaps it.

#include "bench/Figures.h"

#include "engine/ConvertProcess.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace bench {

namespace {

class Receiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != kestrine::WM_CONVERTINFO)
            return QObject::event(e);
        const auto info = static_cast<kestrine::TConvertInfoEvent*>(e)->TakeInfo();
        if (info->IsCompletion()) {
            handledNs = MonotonicNs();
            loop.quit();
        }
        return true;
    }

    std::int64_t handledNs = 0;
    QEventLoop loop;
};

std::int64_t StampOf(const std::string& text) {
    const auto at = text.find("ended ");
    return at == std::string::npos ? 0 : std::strtoll(text.c_str() + at + 6, nullptr, 10);
}

} // namespace

// One conversion of the stamping child through the engine; the latency in ms (< 0: failed).
double EngineNoticeLatency(kestrine::TConvertProcess& engine, const Setup& setup,
                           const std::string& input, const std::string& output,
                           const std::function<void()>& whileRunning) {
    Receiver receiver;
    std::string printed;
    engine.AdaptParams = {};
    engine.UseDefaultFFmpeg = false;
    engine.FFmpegPath = setup.stampExit;
    engine.InputFile = input;
    engine.OutputFile = output;
    engine.Params = whileRunning ? "-sleep_ms 4000 " : "";
    engine.NotifyWindow = &receiver;
    engine.OutputObserver = [&printed](int, std::string_view bytes) { printed += bytes; };
    engine.Running = true;
    try {
        engine.Start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return -1;
    }
    if (whileRunning)
        whileRunning();
    QTimer::singleShot(10000, &receiver.loop, &QEventLoop::quit);
    receiver.loop.exec();
    engine.OutputObserver = {};
    const std::int64_t stamp = StampOf(printed);
    if (receiver.handledNs == 0 || stamp == 0)
        return -1;
    return static_cast<double>(receiver.handledNs - stamp) / 1e6;
}

void NoticeFigure(const Setup& setup, Table& table) {
    const int runs = setup.quick ? 11 : 101;
    TempDir dir;
    const std::string input = dir.File("input");
    std::ofstream(input) << "input\n";
    const std::string output = dir.File("never-written");

    kestrine::TConvertProcess engine;
    auto viaEngine = [&] { return EngineNoticeLatency(engine, setup, input, output, {}); };
    auto plainWait = [&] {
        auto [readEnd, writeEnd] = MakePipe();
        const pid_t pid = Spawn({setup.stampExit}, -1, writeEnd, -1);
        close(writeEnd);
        std::string printed;
        char buffer[256];
        ssize_t n;
        while ((n = read(readEnd, buffer, sizeof buffer)) > 0)
            printed.append(buffer, static_cast<std::size_t>(n));
        close(readEnd);
        Wait(pid);
        const std::int64_t reaped = MonotonicNs();
        const std::int64_t stamp = StampOf(printed);
        return stamp == 0 ? -1.0 : static_cast<double>(reaped - stamp) / 1e6;
    };

    const std::string loadBefore = LoadAverage();
    std::vector<double> a, b;
    Interleave(runs, viaEngine, plainWait, a, b);
    const bool failed = std::any_of(a.begin(), a.end(), [](double x) { return x < 0; });
    const double engineMs = Median(a);
    const double plainMs = Median(b);
    std::sort(a.begin(), a.end());
    char note[160];
    std::snprintf(note, sizeof note, "%d runs each, engine 90th percentile %.2f ms, max %.2f ms",
                  runs, a[a.size() * 9 / 10], a.back());
    table.Add({"2", "end of a child to its completion notice handled", engineMs, "ms",
               "reaped by waitpid", plainMs, engineMs / plainMs, "< 2 ms", !failed && engineMs < 2,
               std::string(note) + ", load " + loadBefore + (failed ? "; SOME RUNS FAILED" : "")});
}

} // namespace bench
