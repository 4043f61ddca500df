#pragma once

// One notice from the engine to the window that asked for a conversion. Two kinds:
//   progress:   Percent 1 to 100, Elapsed and Estimated as MM:SS, Status 0;
//   completion: Percent 1000, Elapsed "some" when the file converted (FFmpeg printed at least
//               one "time=" line and exited with status 0) and empty otherwise, Estimated
//               empty, Status 0 or 2 (the existing output file is in use).
// Per child: zero or more progress notices, then at most one completion.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrine {

inline constexpr std::int32_t kCompletionPercent = 1000;
inline constexpr std::int32_t kStatusDone = 0;
inline constexpr std::int32_t kStatusInUse = 2;
inline constexpr std::string_view kElapsedConverted = "some";

struct TProcessInfo {
    std::int32_t Percent = 0;
    std::string Elapsed;
    std::string Estimated;
    std::int32_t Status = kStatusDone;
    // Completion only: how FFmpeg ended. ExitCode is its exit status, or -1 when it was ended by
    // a signal or never started; ExitSignal is the signal that ended it, or 0.
    int ExitCode = -1;
    int ExitSignal = 0;

    bool IsCompletion() const { return Percent == kCompletionPercent; }
    bool Converted() const { return !Elapsed.empty(); }
};

} // namespace kestrine
