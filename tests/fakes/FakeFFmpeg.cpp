// A stand-in for ffmpeg in the process tests. It is called like ffmpeg (the argument after "-i"
// is the input, the last argument the output, either possibly preceded by "file:") and does
// what the first word of its input file says:
//   progress  a duration line, then ten progress lines joined by lone CRs in one write
//   split     a progress line written in two parts, the second once the first has been read
//   nul       a progress line, a NUL byte and another progress line, in one write
//   flood     20 MB on standard output and 20 MB on standard error at the same time
//   crash     progress, then it dies of a signal
//   fail      progress, then exit status 1
//   hang      progress, then it waits until it is killed (its pid goes to OUTPUT.pid)
//   broken    an error message and exit status 1, no progress (a missing input does the same)
// The modes that succeed write their argument list into the output file, NUL after each.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kFloodBytes = 20u * 1024u * 1024u;

void WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0)
            _exit(3);
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Waits until the reader has taken everything written to fd so far.
void WaitDrained(int fd) {
    int pending = 0;
    while (ioctl(fd, FIONREAD, &pending) == 0 && pending > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

std::string StripFile(std::string path) {
    return path.rfind("file:", 0) == 0 ? path.substr(5) : path;
}

std::string Progress(int seconds) {
    char line[128];
    std::snprintf(line, sizeof line,
                  "size=%8dkB time=00:00:%02d.00 bitrate= 128.0kbits/s speed=2.0x    ",
                  seconds * 16, seconds);
    return line;
}

const char* const kDuration = "  Duration: 00:00:10.00, start: 0.000000, bitrate: 1411 kb/s\n";

// Line k of the flood: 63 times the letter 'a' + k % 26, then LF.
void Flood(int fd) {
    std::string block;
    std::size_t line = 0;
    std::size_t written = 0;
    while (written < kFloodBytes) {
        block.clear();
        while (block.size() < 65536 && written + block.size() < kFloodBytes) {
            block.append(63, static_cast<char>('a' + line % 26));
            block += '\n';
            ++line;
        }
        WriteAll(fd, block);
        written += block.size();
    }
}

void WriteArguments(const std::string& output, int argc, char* argv[]) {
    std::ofstream file(output, std::ios::binary);
    for (int i = 0; i < argc; ++i)
        file << argv[i] << '\0';
}

} // namespace

int main(int argc, char* argv[]) {
    std::string input;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-i") == 0)
            input = StripFile(argv[i + 1]);
    }
    const std::string output = argc > 1 ? StripFile(argv[argc - 1]) : std::string();

    std::string mode;
    std::ifstream(input) >> mode;

    const std::string banner = "ffmpeg version fake\nInput #0, avi, from '" + input + "':\n";
    if (mode.empty() || mode == "broken") {
        WriteAll(2, banner + input + ": Invalid data found when processing input\n");
        return 1;
    }
    WriteAll(2, banner + kDuration);

    if (mode == "progress") {
        std::string lines;
        for (int s = 1; s <= 10; ++s)
            lines += Progress(s) + (s < 10 ? "\r" : "\n");
        WriteAll(2, lines);
    } else if (mode == "split") {
        const std::string line = Progress(5) + "\r";
        const std::size_t cut = line.find("time=") + 12; // "time=00:00:0" | "5.00 ..."
        WaitDrained(2);
        WriteAll(2, line.substr(0, cut));
        WaitDrained(2);
        WriteAll(2, line.substr(cut) + Progress(10) + "\n");
    } else if (mode == "nul") {
        WriteAll(2, Progress(5) + "\r" + std::string(1, '\0') + Progress(9) + "\n");
    } else if (mode == "flood") {
        std::thread out(Flood, 1);
        Flood(2);
        out.join();
        WriteAll(2, Progress(10) + "\n");
    } else {
        if (mode == "hang")
            std::ofstream(output + ".pid") << getpid() << '\n'; // before it shows progress
        WriteAll(2, Progress(5) + "\r");
        if (mode == "crash") {
            WaitDrained(2);
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            std::signal(SIGSEGV, SIG_DFL);
            std::raise(SIGSEGV);
        } else if (mode == "fail") {
            WriteAll(2, "\nConversion failed!\n");
            return 1;
        } else if (mode == "hang") {
            while (true)
                pause();
        }
        WriteAll(2, "\nunknown mode\n");
        return 4;
    }
    WriteArguments(output, argc, argv);
    return 0;
}
