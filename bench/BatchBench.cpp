// Figure 1: a batch through kestrine-cli against the same FFmpeg commands run one after another
// by a plain loop. The loop's argument lists come from the engine's own functions (the command
// pieces, the split of the profile's arguments, the adaptation to the FFmpeg at hand), so both
// sides run exactly the same commands.

#include "bench/Figures.h"

#include "cli/CliApp.h"
#include "engine/BatchQueue.h"
#include "engine/CommandLine.h"
#include "engine/FFmpegCapabilities.h"
#include "engine/ParamsAdapter.h"
#include "profiles/ProfileLookup.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace bench {

namespace {

constexpr const char* kProfile = "WAV - Waveform Audio";

} // namespace

void BatchFigure(const Setup& setup, Table& table) {
    const int files = setup.quick ? 8 : 40;
    const int runs = setup.quick ? 2 : setup.runs;
    TempDir dir;
    const std::string out = dir.File("out");
    std::filesystem::create_directory(out);

    std::vector<std::string> inputs;
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "clip%02d.avi", i);
        inputs.push_back(dir.File(name));
        if (!MakeClip(setup.ffmpeg, inputs.back(), 1, "320x240", i)) {
            table.Add({"1", "batch overhead", {}, "", "", {}, {}, "", {}, "no clip could be made"});
            return;
        }
    }

    // The commands the engine runs for these files.
    const std::string params = kestrine::GetProfileParams(kProfile);
    const std::string ext = kestrine::GetProfileExt(kProfile);
    std::vector<std::vector<std::string>> commands;
    std::vector<std::string> outputs;
    for (const std::string& input : inputs) {
        kestrine::TCommandPieces pieces;
        pieces.UseDefaultFFmpeg = false;
        pieces.FFmpegPath = setup.ffmpeg;
        pieces.InputFile = input;
        pieces.Params = params;
        pieces.OutputFile = kestrine::OutputPathOf(input, ext, false, out);
        const auto tokens = kestrine::AdaptParamsFor(kestrine::SplitParams(params), setup.ffmpeg,
                                                     pieces.OutputFile);
        commands.push_back(kestrine::BuildArgv(pieces, tokens));
        outputs.push_back(pieces.OutputFile);
    }

    std::vector<std::string> cliArgs = {setup.cli,      "--profile",   kProfile,
                                        "--output-dir", out,           "--ffmpeg",
                                        setup.ffmpeg,   "--overwrite", "no"};
    cliArgs.insert(cliArgs.end(), inputs.begin(), inputs.end());

    bool allConverted = true;
    auto check = [&] {
        for (const std::string& output : outputs)
            allConverted = allConverted && FileExists(output);
    };
    auto viaCli = [&] {
        EmptyFolder(out);
        const std::int64_t start = MonotonicNs();
        const int code = Run(cliArgs);
        const double ms = MsSince(start);
        allConverted = allConverted && code == 0;
        check();
        return ms;
    };
    // The same commands one after another, each started and waited for by run.
    auto loopOf = [&](int (*run)(const std::vector<std::string>&)) {
        return [&, run] {
            EmptyFolder(out);
            const std::int64_t start = MonotonicNs();
            for (const auto& command : commands)
                allConverted = allConverted && run(command) == 0;
            const double ms = MsSince(start);
            check();
            return ms;
        };
    };
    // Output on /dev/null, as by hand.
    const auto plainLoop = loopOf([](const std::vector<std::string>& argv) { return Run(argv); });
    // Reading FFmpeg's output, as any front-end that shows progress must.
    const auto readingLoop = loopOf(RunReadingOutput);

    // The first run of all learns what the FFmpeg offers and keeps it on disk; every later run
    // reads it back. The figure is what a user sees from the second run on.
    std::filesystem::remove_all(kestrine::CapabilityCacheFolder());
    const double firstRun = viaCli();

    const std::string loadBefore = LoadAverage();
    std::vector<double> cli, loop, reading;
    for (int i = 0; i < runs; ++i) {
        cli.push_back(viaCli());
        loop.push_back(plainLoop());
        reading.push_back(readingLoop());
    }
    const double a = Median(cli);
    const double b = Median(loop);
    const double ratio = MedianRatio(cli, loop);
    // The median over the pairs of the time a file takes beyond the plain loop's.
    const auto extraPerFile = [&](const std::vector<double>& samples) {
        std::vector<double> extra;
        for (std::size_t i = 0; i < samples.size(); ++i)
            extra.push_back((samples[i] - loop[i]) / files);
        return Median(extra);
    };
    const double perFile = extraPerFile(cli);
    const std::string note = std::to_string(runs) +
                             " runs each; the ratio and the extra time are medians over the "
                             "pairs; load " +
                             loadBefore + " -> " + LoadAverage() +
                             (allConverted ? "" : "; SOME FILES FAILED");

    table.Add({"1", "batch of " + std::to_string(files) + " 1 s clips, \"" + kProfile + "\"", a,
               "ms", "FFmpeg loop", b, ratio, "<= 1.03", ratio <= 1.03, note});
    table.Add({"1", "extra time per file", perFile, "ms", "", {}, {}, "< 5 ms", perFile < 5, ""});
    table.Add({"1",
               "the loop reading FFmpeg's output",
               Median(reading),
               "ms",
               "FFmpeg loop",
               b,
               MedianRatio(reading, loop),
               "",
               {},
               Fixed(extraPerFile(reading)) +
                   " ms a file: the least that reading the output costs (both pipes, poll and "
                   "read), taken in turn with the two above"});
    // Our own part of it, in this process: kestrine-cli's batch, every thread of ours
    // (RUSAGE_SELF) against the FFmpeg children (RUSAGE_CHILDREN).
    std::vector<double> ownCpu, ffmpegCpu;
    const std::vector<std::string> args(cliArgs.begin() + 1, cliArgs.end());
    for (int i = 0; i < (setup.quick ? 1 : 3); ++i) {
        EmptyFolder(out);
        std::istringstream in;
        std::ostringstream quiet;
        const double self = CpuSeconds(RUSAGE_SELF);
        const double children = CpuSeconds(RUSAGE_CHILDREN);
        allConverted = kestrine::cli::RunCli(args, in, quiet, quiet, false) == 0 && allConverted;
        ownCpu.push_back((CpuSeconds(RUSAGE_SELF) - self) * 1000);
        ffmpegCpu.push_back((CpuSeconds(RUSAGE_CHILDREN) - children) * 1000);
    }
    const double own = Median(ownCpu);
    table.Add({"1",
               "the batch's own CPU (kestrine-cli's engine and queue)",
               own,
               "ms",
               "FFmpeg CPU",
               Median(ffmpegCpu),
               own / Median(ffmpegCpu),
               "",
               {},
               Fixed(own / files) + " ms a file; run in this process, so that our threads and "
                                    "the FFmpeg children are told apart (start-up not counted)"});
    table.Add({"1",
               "the same batch, first run ever (probes the FFmpeg)",
               firstRun,
               "ms",
               "FFmpeg loop",
               b,
               firstRun / b,
               "",
               {},
               "one run; later runs read what it learnt from the cache folder"});
}

} // namespace bench
