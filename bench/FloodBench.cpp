// Figure 4: a child that floods both pipes with progress lines. The engine reads and parses all
// of it (and posts its progress notices to a receiver that takes them as a window would);
// the baseline is a plain loop that reads the same pipes of the same child and throws the
// bytes away. The child reports how long its longest write was blocked on a full pipe.

#include "bench/Figures.h"

#include "engine/ConvertProcess.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <fstream>
#include <sstream>

namespace bench {

namespace {

class Receiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != kestrine::WM_CONVERTINFO)
            return QObject::event(e);
        const auto info = static_cast<kestrine::TConvertInfoEvent*>(e)->TakeInfo();
        if (info->IsCompletion()) {
            done = true;
            loop.quit();
        } else {
            ++progress;
            lastPercent = info->Percent;
        }
        return true;
    }

    bool done = false;
    long progress = 0;
    int lastPercent = 0;
    QEventLoop loop;
};

struct FloodReport {
    double longestStallMs = 0;
    double writeMs = 0;
    long long bytes = 0;
};

// Both pipes' reports of the child: the longer stall, the longer writing time, the total.
FloodReport ReadReport(const std::string& output) {
    std::istringstream in(ReadFile(output + ".flood"));
    FloodReport report;
    long long stall = 0, total = 0, bytes = 0;
    while (in >> stall >> total >> bytes) {
        report.longestStallMs = std::max(report.longestStallMs, static_cast<double>(stall) / 1e6);
        report.writeMs = std::max(report.writeMs, static_cast<double>(total) / 1e6);
        report.bytes += bytes;
    }
    return report;
}

} // namespace

void FloodFigure(const Setup& setup, Table& table) {
    const long long perPipe = setup.quick ? 5LL << 20 : 50LL << 20;
    const int runs = setup.quick ? 2 : setup.runs;
    TempDir dir;
    const std::string input = dir.File("input");
    std::ofstream(input) << "input\n";
    const std::string output = dir.File("output");
    const std::string params = "-flood_bytes " + std::to_string(perPipe) + " ";
    const std::vector<std::string> argv = {
        setup.flood, "-i", input, "-flood_bytes", std::to_string(perPipe), output};

    std::vector<FloodReport> engineReports, plainReports;
    long notices = 0;
    bool ok = true;
    kestrine::TConvertProcess engine;
    auto viaEngine = [&] {
        std::remove(output.c_str());
        Receiver receiver;
        engine.AdaptParams = {};
        engine.UseDefaultFFmpeg = false;
        engine.FFmpegPath = setup.flood;
        engine.InputFile = input;
        engine.OutputFile = output;
        engine.Params = params;
        engine.NotifyWindow = &receiver;
        engine.Running = true;
        const std::int64_t start = MonotonicNs();
        try {
            engine.Start();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench: %s\n", e.what());
            ok = false;
            return 0.0;
        }
        QTimer::singleShot(120000, &receiver.loop, &QEventLoop::quit);
        receiver.loop.exec();
        const double ms = MsSince(start);
        ok = ok && receiver.done;
        notices = receiver.progress;
        engineReports.push_back(ReadReport(output));
        return ms;
    };
    auto plainLoop = [&] {
        std::remove(output.c_str());
        const std::int64_t start = MonotonicNs();
        ok = ok && RunReadingOutput(argv) == 0;
        const double ms = MsSince(start);
        plainReports.push_back(ReadReport(output));
        return ms;
    };

    const std::string loadBefore = LoadAverage();
    std::vector<double> a, b;
    Interleave(runs, viaEngine, plainLoop, a, b);
    const double total = static_cast<double>(2 * perPipe) / (1 << 20);
    const double engineRate = total / (Median(a) / 1000);
    const double plainRate = total / (Median(b) / 1000);
    const double ratio = MedianRatio(b, a); // of throughputs: the plain loop's time over ours

    std::vector<double> engineStalls, plainStalls;
    for (const auto& r : engineReports)
        engineStalls.push_back(r.longestStallMs);
    for (const auto& r : plainReports)
        plainStalls.push_back(r.longestStallMs);
    const double worstEngineStall = *std::max_element(engineStalls.begin(), engineStalls.end());

    table.Add({"4",
               "flood " + std::to_string(static_cast<int>(total)) +
                   " MiB on both pipes: engine reads and parses",
               engineRate, "MiB/s", "plain read loop", plainRate, ratio, ">= 0.5",
               ok && ratio >= 0.5,
               std::to_string(runs) + " runs each, the ratio a median over the pairs; " +
                   std::to_string(notices) + " progress notices per run; load " + loadBefore +
                   (ok ? "" : "; FAILED")});
    const double typicalStall = Median(engineStalls);
    table.Add({"4", "the child's longest blocked write", typicalStall, "ms", "plain read loop",
               Median(plainStalls), typicalStall / Median(plainStalls), "< 20 ms",
               typicalStall < 20,
               "median over the runs of each run's longest; the worst run: engine " +
                   Fixed(worstEngineStall) + " ms, plain loop " +
                   Fixed(*std::max_element(plainStalls.begin(), plainStalls.end())) +
                   " ms (a reader that is not running, whoever it is, stalls the writer)"});
}

} // namespace bench
