#pragma once

// What the benchmark programs share: starting programs without a shell, clocks, medians, the
// machine's description and the table of figures.

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// CLOCK_MONOTONIC in nanoseconds: one clock for this process and the programs it starts.
std::int64_t MonotonicNs();
double MsSince(std::int64_t startNs);

double Median(std::vector<double> samples);
// The median of a[i] / b[i]: each pair was taken one after the other, so a change of the other
// load on the machine between pairs cancels out.
double MedianRatio(const std::vector<double>& a, const std::vector<double>& b);

// Starts argv[0] (a path) with argv; stdin, stdout and stderr become the given descriptors (-1:
// /dev/null). extraEnv entries ("NAME=value") are added to the environment. Returns the pid, or
// -1 with a message on standard error.
pid_t Spawn(const std::vector<std::string>& argv, int stdIn = -1, int stdOut = -1, int stdErr = -1,
            const std::vector<std::string>& extraEnv = {});

// Waits for pid; its exit status (128 + signal when a signal ended it). usage, when given,
// receives the child's resource use.
int Wait(pid_t pid, struct rusage* usage = nullptr);

// Starts argv and waits; the exit status.
int Run(const std::vector<std::string>& argv, struct rusage* usage = nullptr);

// A pipe whose ends close on exec: {read, write}.
std::pair<int, int> MakePipe();

// Starts argv with its standard output and error on pipes made as the engine makes them, reads
// both with poll and read until they end, throws the bytes away and waits; the exit status. The
// least any reader of a child's output costs.
int RunReadingOutput(const std::vector<std::string>& argv);

// CPU seconds of a resource use (user + system).
double CpuSeconds(const struct rusage& usage);
double CpuSeconds(int who); // getrusage(who)

// Voluntary context switches of every thread of pid so far; -1 when unreadable. A thread
// switches voluntarily each time it goes to sleep, so between two counts each one is a wake-up
// (being preempted while running is not counted).
long ContextSwitches(pid_t pid);
// Resident memory of pid in KiB; -1 when unreadable.
long ResidentKiB(pid_t pid);

// "1.07 1.99 2.81": the load averages of 1, 5 and 15 minutes.
std::string LoadAverage();
double LoadAverage1();

// The machine: cores, CPU model, memory, FFmpeg's version line.
std::string MachineDescription(const std::string& ffmpeg);

// A fresh folder under the temporary folder; removed with its content by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Removes every file in folder (not the folder).
void EmptyFolder(const std::string& folder);
bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);

// Writes a test clip with FFmpeg: testsrc video (size WxH, 25 fps) with MPEG-4 and a sine tone
// with MP3 in AVI, seconds long; variant changes the picture and the tone.
bool MakeClip(const std::string& ffmpeg, const std::string& path, int seconds,
              const std::string& size, int variant);

// One line of the table.
struct Row {
    std::string figure; // "1", "2"...
    std::string what;
    std::optional<double> value;
    std::string unit;
    std::string baselineName;
    std::optional<double> baseline;
    std::optional<double> ratio; // value / baseline unless given otherwise
    std::string goal;            // "<= 1.03" and so on; "" none
    std::optional<bool> met;     // none: no goal, or nothing measured
    std::string note;            // runs, loads, why a figure is pending
};

// value with two decimals.
std::string Fixed(double value);

class Table {
public:
    void Add(Row row);
    // Rows of a figure together, in figure order, each figure's in the order added.
    void SortByFigure();
    void Print() const;
    const std::vector<Row>& Rows() const { return rows_; }

private:
    std::vector<Row> rows_;
};

// Runs a and b in turn runs times (a b a b ...); both lists of samples come back.
void Interleave(int runs, const std::function<double()>& a, const std::function<double()>& b,
                std::vector<double>& aSamples, std::vector<double>& bSamples);

} // namespace bench
