#pragma once

// The figures of `make bench`. Each adds its rows to the table: its median over repeated runs,
// and the baseline measured in the same run, the two taken in turn (a b a b ...).

#include "bench/BenchSupport.h"

#include <functional>
#include <string>

namespace kestrine {
class TConvertProcess;
}

namespace bench {

struct Setup {
    std::string ffmpeg;     // the FFmpeg program, resolved
    std::string cli;        // kestrine-cli
    std::string app;        // kestrine
    std::string stampExit;  // prints the moment it ends, then ends
    std::string flood;      // floods both pipes with progress lines
    std::string bareWindow; // a bare Qt window: the start-up baseline
    int runs = 5;           // repetitions of the slow figures
    bool quick = false;     // smaller batches, for a look at whether it all works
};

void BatchFigure(const Setup& setup, Table& table);   // 1: batch overhead
void NoticeFigure(const Setup& setup, Table& table);  // 2: end of a child to its notice
void CpuFigure(const Setup& setup, Table& table);     // 3: own CPU, idle wake-ups
void FloodFigure(const Setup& setup, Table& table);   // 4: output flood
void StartupFigure(const Setup& setup, Table& table); // 5: main window start, probes

// One conversion of the stamp_exit child through the engine, from the end of the child to its
// completion handled, in ms (< 0: it failed). With whileRunning, the child stays silent for 4 s
// first and whileRunning is called meanwhile (the notice is then waited for after it).
double EngineNoticeLatency(kestrine::TConvertProcess& engine, const Setup& setup,
                           const std::string& input, const std::string& output,
                           const std::function<void()>& whileRunning);

} // namespace bench
