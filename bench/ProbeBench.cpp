// How long learning what an FFmpeg build offers takes: the probes uncached (each run starts
// every probe afresh) and the cached look-up, as medians of several runs.
//
//   kestrine_probe_bench [ffmpeg] [runs]

#include "engine/FFmpegCapabilities.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double MedianMs(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

template <typename Fn>
double TimeMs(Fn fn) {
    auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::string ffmpeg = argc > 1 ? argv[1] : "ffmpeg";
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    std::string path = kestrine::ResolveFFmpegExecutable(ffmpeg);
    if (path.empty()) {
        std::fprintf(stderr, "no %s found\n", ffmpeg.c_str());
        return 1;
    }

    std::vector<double> uncached;
    kestrine::FFmpegCapabilities caps;
    for (int i = 0; i < runs; ++i)
        uncached.push_back(TimeMs(
            [&] { caps = kestrine::ProbeFFmpegCapabilities(path, kestrine::kProbeTimeout); }));

    double first = TimeMs([&] { kestrine::CapabilitiesOf(ffmpeg); });
    std::vector<double> cached;
    for (int i = 0; i < std::max(runs, 100); ++i)
        cached.push_back(TimeMs([&] { kestrine::CapabilitiesOf(ffmpeg); }));

    std::printf("ffmpeg: %s\n", path.c_str());
    std::printf("known: encoders %s (%zu), options %s (%zu), unit \"kb\" %s, AVI tag in MP4 %s\n",
                caps.encoders ? "yes" : "no", caps.encoders ? caps.encoders->size() : 0,
                caps.options ? "yes" : "no", caps.options ? caps.options->size() : 0,
                caps.acceptsUnitWithB ? (*caps.acceptsUnitWithB ? "taken" : "refused") : "unknown",
                caps.acceptsAviTagInMp4 ? (*caps.acceptsAviTagInMp4 ? "taken" : "refused")
                                        : "unknown");
    std::printf("probes, uncached: median %.1f ms of %d runs (min %.1f, max %.1f)\n",
                MedianMs(uncached), runs, *std::min_element(uncached.begin(), uncached.end()),
                *std::max_element(uncached.begin(), uncached.end()));
    std::printf("first look-up (probes and cache): %.1f ms\n", first);
    std::printf("cached look-up: median %.3f ms of %zu\n", MedianMs(cached), cached.size());
    return 0;
}
