// Figure 1: a batch through kestrine-cli against the same FFmpeg commands run one after another
// by a plain loop. The loop's argument lists come from the engine's own functions (the command
// pieces, the split of the profile's arguments, the adaptation to the FFmpeg at hand), so both
// sides run exactly the same commands.

#include "bench/Figures.h"

#include "engine/BatchQueue.h"
#include "engine/CommandLine.h"
#include "engine/FFmpegCapabilities.h"
#include "engine/ParamsAdapter.h"
#include "profiles/ProfileLookup.h"

#include <cstdio>
#include <filesystem>

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
    std::vector<double> cliCpu, loopCpu;
    auto check = [&] {
        for (const std::string& output : outputs)
            allConverted = allConverted && FileExists(output);
    };
    auto viaCli = [&] {
        EmptyFolder(out);
        struct rusage usage {};
        const std::int64_t start = MonotonicNs();
        const int code = Run(cliArgs, &usage); // with the FFmpeg children it reaped
        const double ms = MsSince(start);
        cliCpu.push_back(CpuSeconds(usage) * 1000);
        allConverted = allConverted && code == 0;
        check();
        return ms;
    };
    auto plainLoop = [&] {
        EmptyFolder(out);
        double cpu = 0;
        const std::int64_t start = MonotonicNs();
        for (const auto& command : commands) {
            struct rusage usage {};
            allConverted = allConverted && Run(command, &usage) == 0;
            cpu += CpuSeconds(usage);
        }
        const double ms = MsSince(start);
        loopCpu.push_back(cpu * 1000);
        check();
        return ms;
    };

    // The first run of all learns what the FFmpeg offers and keeps it on disk; every later run
    // reads it back. The figure is what a user sees from the second run on.
    std::filesystem::remove_all(kestrine::CapabilityCacheFolder());
    const double firstRun = viaCli();
    cliCpu.clear();

    const std::string loadBefore = LoadAverage();
    std::vector<double> cli, loop;
    Interleave(runs, viaCli, plainLoop, cli, loop);
    const double a = Median(cli);
    const double b = Median(loop);
    const double perFile = (a - b) / files;
    const std::string note = std::to_string(runs) + " runs each, load " + loadBefore + " -> " +
                             LoadAverage() + (allConverted ? "" : "; SOME FILES FAILED");

    table.Add({"1", "batch of " + std::to_string(files) + " 1 s clips, \"" + kProfile + "\"", a,
               "ms", "FFmpeg loop", b, a / b, "<= 1.03", a / b <= 1.03, note});
    table.Add({"1", "extra time per file", perFile, "ms", "", {}, {}, "< 5 ms", perFile < 5, ""});
    const double cpuA = Median(cliCpu);
    const double cpuB = Median(loopCpu);
    table.Add({"1",
               "CPU of the batch (ours and FFmpeg's)",
               cpuA,
               "ms",
               "FFmpeg loop",
               cpuB,
               cpuA / cpuB,
               "",
               {},
               "less shaken by other load than the wall times; extra CPU per file " +
                   Fixed((cpuA - cpuB) / files) + " ms"});
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
