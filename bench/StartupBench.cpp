// Figure 5: the main window's start-up and idle cost, and the probe of what an FFmpeg offers.
//
// The program is watched from outside: it runs on a private virtual X server (Xvfb) and the
// time counts from starting it to the server mapping its top-level window (the window whose
// _NET_WM_PID is the program's). The program is not changed for this. Once shown it is left
// idle: its resident memory, and its context switches over a few seconds, every thread. The
// baseline is a bare Qt program that shows an empty window of the same size.

#include "bench/Figures.h"

#include "engine/FFmpegCapabilities.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <unistd.h>

#ifdef KESTRINE_BENCH_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace bench {

namespace {

constexpr int kIdleSeconds = 3;

std::string FindProgramOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t colon = folders.find(':', start);
        const std::string folder = folders.substr(start, colon - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return {};
}

struct WindowRun {
    double shownMs = -1;
    double residentMiB = -1;
    double wakeUps = -1;
};

#ifdef KESTRINE_BENCH_X11

// A virtual X server of our own, on a display number it picks itself.
class VirtualDisplay {
public:
    VirtualDisplay() {
        const std::string xvfb = FindProgramOnPath("Xvfb");
        if (xvfb.empty())
            return;
        auto [readEnd, writeEnd] = MakePipe();
        pid_ = Spawn({xvfb, "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                      "-noreset"},
                     -1, writeEnd, -1);
        close(writeEnd);
        std::string number;
        pollfd entry{readEnd, POLLIN, 0};
        char c;
        while (poll(&entry, 1, 10000) > 0 && read(readEnd, &c, 1) == 1 && c != '\n')
            number += c;
        close(readEnd);
        if (number.empty())
            return;
        name_ = ":" + number;
        display_ = XOpenDisplay(name_.c_str());
        if (display_ == nullptr)
            return;
        XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
        XSync(display_, False);
        pidAtom_ = XInternAtom(display_, "_NET_WM_PID", False);
    }

    ~VirtualDisplay() {
        if (display_ != nullptr)
            XCloseDisplay(display_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            Wait(pid_);
        }
    }

    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool Ready() const { return display_ != nullptr; }
    const std::string& Name() const { return name_; }

    // Waits until a top-level window of pid is mapped; false after timeoutMs.
    bool WaitForWindowOf(pid_t pid, int timeoutMs) {
        const std::int64_t start = MonotonicNs();
        while (MsSince(start) < timeoutMs) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == MapNotify && WindowPid(event.xmap.window) == pid)
                    return true;
            }
            pollfd entry{ConnectionNumber(display_), POLLIN, 0};
            poll(&entry, 1, 100);
        }
        return false;
    }

    // Drops the events of earlier runs.
    void Drain() {
        XSync(display_, False);
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
        }
    }

private:
    pid_t WindowPid(Window window) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        pid_t pid = -1;
        if (XGetWindowProperty(display_, window, pidAtom_, 0, 1, False, XA_CARDINAL, &type, &format,
                               &count, &after, &data) == Success &&
            data != nullptr && count == 1 && format == 32)
            pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        if (data != nullptr)
            XFree(data);
        return pid;
    }

    pid_t pid_ = -1;
    std::string name_;
    Display* display_ = nullptr;
    Atom pidAtom_ = None;
};

WindowRun RunWindow(VirtualDisplay& display, const std::string& program, const TempDir& home,
                    bool idle) {
    WindowRun run;
    display.Drain();
    // A home of its own: no settings of the user are read or written, and no instance of the
    // program that may run elsewhere on this machine answers in its place.
    const std::vector<std::string> env = {"DISPLAY=" + display.Name(), "QT_QPA_PLATFORM=xcb",
                                          "XDG_CONFIG_HOME=" + home.File("config"),
                                          "TMPDIR=" + home.Path()};
    const std::int64_t start = MonotonicNs();
    const pid_t pid = Spawn({program}, -1, -1, -1, env);
    if (pid <= 0)
        return run;
    if (display.WaitForWindowOf(pid, 20000)) {
        run.shownMs = MsSince(start);
        if (idle) {
            usleep(1000000); // first paints and whatever start-up leaves for later
            run.residentMiB = static_cast<double>(ResidentKiB(pid)) / 1024;
            const long before = ContextSwitches(pid);
            usleep(kIdleSeconds * 1000000);
            run.wakeUps = static_cast<double>(ContextSwitches(pid) - before);
        }
    }
    kill(pid, SIGTERM);
    Wait(pid);
    return run;
}

#endif // KESTRINE_BENCH_X11

void WindowRows(const Setup& setup, Table& table) {
#ifdef KESTRINE_BENCH_X11
    VirtualDisplay display;
    if (!display.Ready()) {
        table.Add({"5",
                   "main window: start to shown",
                   {},
                   "",
                   "",
                   {},
                   {},
                   "",
                   {},
                   "pending: no Xvfb could be started"});
        return;
    }
    TempDir home;
    const int runs = setup.quick ? 2 : setup.runs;
    std::vector<WindowRun> app, bare;
    // One start of each first: what the system caches on a first start is not ours to time.
    RunWindow(display, setup.app, home, false);
    RunWindow(display, setup.bareWindow, home, false);
    const std::string loadBefore = LoadAverage();
    for (int i = 0; i < runs; ++i) {
        app.push_back(RunWindow(display, setup.app, home, true));
        bare.push_back(RunWindow(display, setup.bareWindow, home, true));
    }
    auto median = [](const std::vector<WindowRun>& samples, double WindowRun::*field) {
        std::vector<double> values;
        for (const WindowRun& run : samples)
            values.push_back(run.*field);
        return Median(values);
    };
    const double shown = median(app, &WindowRun::shownMs);
    const double bareShown = median(bare, &WindowRun::shownMs);
    const double rss = median(app, &WindowRun::residentMiB);
    const double bareRss = median(bare, &WindowRun::residentMiB);
    const double wakeUps = median(app, &WindowRun::wakeUps);
    const double bareWakeUps = median(bare, &WindowRun::wakeUps);
    const std::string note =
        std::to_string(runs) + " runs each under Xvfb, load " + loadBefore +
        "; start counted to the window mapped (watched from outside, the program unchanged)";
    table.Add({"5",
               "main window: start to shown",
               shown,
               "ms",
               "bare Qt window",
               bareShown,
               shown / bareShown,
               "",
               {},
               note});
    table.Add({"5",
               "main window idle: resident memory",
               rss,
               "MiB",
               "bare Qt window",
               bareRss,
               rss / bareRss,
               "",
               {},
               ""});
    table.Add({"3",
               "main window idle: wake-ups in " + std::to_string(kIdleSeconds) + " s",
               wakeUps,
               "",
               "bare Qt window",
               bareWakeUps,
               {},
               "0",
               wakeUps <= 0,
               "voluntary context switches of all its threads, under Xvfb"});
#else
    (void)setup;
    table.Add({"5",
               "main window: start to shown",
               {},
               "",
               "",
               {},
               {},
               "",
               {},
               "pending: built without the X11 headers (libx11-dev)"});
#endif
}

void ProbeRows(const Setup& setup, Table& table) {
    const int runs = setup.quick ? 3 : 2 * setup.runs + 1;
    const std::string loadBefore = LoadAverage();
    std::vector<double> cold, start;
    Interleave(
        runs,
        [&] {
            const std::int64_t t = MonotonicNs();
            kestrine::ProbeFFmpegCapabilities(setup.ffmpeg, kestrine::kProbeTimeout);
            return MsSince(t);
        },
        [&] {
            const std::int64_t t = MonotonicNs();
            Run({setup.ffmpeg, "-version"});
            return MsSince(t);
        },
        cold, start);

    // The first look-up of all probes, traces the libraries and writes the cache file.
    std::filesystem::remove_all(kestrine::CapabilityCacheFolder());
    kestrine::ForgetCapabilities();
    std::int64_t t = MonotonicNs();
    const bool known = kestrine::CapabilitiesOf(setup.ffmpeg)->encoders.has_value();
    const double first = MsSince(t);
    const bool written = !std::filesystem::is_empty(kestrine::CapabilityCacheFolder());

    // A later run of the program: read back from the cache file.
    std::vector<double> disk;
    for (int i = 0; i < runs; ++i) {
        kestrine::ForgetCapabilities();
        t = MonotonicNs();
        kestrine::CapabilitiesOf(setup.ffmpeg);
        disk.push_back(MsSince(t));
    }
    // Every later file of the same run.
    std::vector<double> memory;
    for (int i = 0; i < 1000; ++i) {
        t = MonotonicNs();
        kestrine::CapabilitiesOf(setup.ffmpeg);
        memory.push_back(MsSince(t));
    }
    const double coldMs = Median(cold);
    const double startMs = Median(start);
    table.Add({"5",
               "probe of what the FFmpeg offers, cold",
               coldMs,
               "ms",
               "one `ffmpeg -version`",
               startMs,
               coldMs / startMs,
               "",
               {},
               std::to_string(runs) +
                   " runs each: 4 FFmpeg runs at once (-encoders, -h full, 2 test encodes); "
                   "load " +
                   loadBefore});
    table.Add({"5",
               "first look-up ever (probes, library trace, cache file)",
               first,
               "ms",
               "the cold probe",
               coldMs,
               first / coldMs,
               "",
               {},
               std::string("one run") + (known && written ? "" : "; NOTHING WAS KEPT")});
    table.Add({"5",
               "look-up of a later run (the cache file)",
               Median(disk),
               "ms",
               "the cold probe",
               coldMs,
               Median(disk) / coldMs,
               "",
               {},
               std::to_string(runs) + " runs"});
    table.Add({"5",
               "look-up of the same run (in memory)",
               Median(memory),
               "ms",
               "the cold probe",
               coldMs,
               Median(memory) / coldMs,
               "",
               {},
               "1000 look-ups"});
}

} // namespace

void StartupFigure(const Setup& setup, Table& table) {
    WindowRows(setup, table);
    ProbeRows(setup, table);
}

} // namespace bench
