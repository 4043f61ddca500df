// A child for the engine benchmarks: prints "ended NS" (CLOCK_MONOTONIC in nanoseconds) on its
// standard output and ends at once with status 0. Called like FFmpeg; it ignores its arguments
// but one: "-sleep_ms N" makes it wait N ms first, printing nothing.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

int main(int argc, char* argv[]) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-sleep_ms") == 0)
            usleep(static_cast<useconds_t>(std::atoi(argv[i + 1])) * 1000);
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[64];
    const int n = std::snprintf(line, sizeof line, "ended %lld\n",
                                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    [[maybe_unused]] const ssize_t written = write(1, line, static_cast<std::size_t>(n));
    _exit(0);
}
