// A stand-in for FFmpeg that floods its standard output and standard error at the same time
// with progress lines, as fast as the pipes take them:
//
//   bench_flood_ffmpeg -flood_bytes N ... OUTPUT
//
// N bytes on each pipe (a duration line first, then progress lines ending in CR, written 8 KiB
// at a time), then it writes OUTPUT.flood: per pipe the longest time one write was blocked, the
// time all the writes took and the bytes written, and exits with status 0.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t kWriteSize = 8192;

long long NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Report {
    long long longestStallNs = 0;
    long long totalNs = 0;
    long long bytes = 0;
};

// About 64 KiB of progress lines whose positions run over the duration of 1000 s.
std::string ProgressBlock() {
    std::string block;
    for (int k = 0; block.size() < 65536; ++k) {
        const int seconds = 1 + (k * 7) % 999;
        char line[160];
        std::snprintf(line, sizeof line,
                      "frame=%5d fps= 52 q=28.0 size=%8dkB time=00:%02d:%02d.48 "
                      "bitrate=1018.1kbits/s speed=2.08x    \r",
                      seconds * 25, seconds * 127, seconds / 60, seconds % 60);
        block += line;
    }
    return block;
}

void Flood(int fd, long long bytes, Report& report) {
    const std::string duration = "  Duration: 00:16:40.00, start: 0.000000, bitrate: 1411 kb/s\n";
    const std::string block = ProgressBlock();
    const long long start = NowNs();
    std::string_view pending = duration;
    std::size_t offset = 0;
    long long left = bytes;
    while (left > 0 || !pending.empty()) {
        if (pending.empty()) {
            const std::size_t size = std::min<std::size_t>(
                {kWriteSize, block.size() - offset, static_cast<std::size_t>(left)});
            pending = std::string_view(block).substr(offset, size);
            offset = (offset + size) % block.size();
            left -= static_cast<long long>(size);
        }
        const long long before = NowNs();
        const ssize_t n = write(fd, pending.data(), pending.size());
        report.longestStallNs = std::max(report.longestStallNs, NowNs() - before);
        if (n < 0)
            _exit(3);
        pending.remove_prefix(static_cast<std::size_t>(n));
        report.bytes += n;
    }
    report.totalNs = NowNs() - start;
}

} // namespace

int main(int argc, char* argv[]) {
    long long bytes = 1 << 20;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-flood_bytes") == 0)
            bytes = std::atoll(argv[i + 1]);
    }
    const std::string output = argc > 1 ? argv[argc - 1] : "flood";
    Report reports[2];
    std::thread out(Flood, 1, bytes, std::ref(reports[0]));
    Flood(2, bytes, reports[1]);
    out.join();
    std::ofstream file(output + ".flood");
    for (const Report& r : reports)
        file << r.longestStallNs << ' ' << r.totalNs << ' ' << r.bytes << '\n';
    return 0;
}
