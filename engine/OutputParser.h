#pragma once

// The scan of what FFmpeg prints: the input's duration from the line holding "duration:", the
// position from the lines holding "time=" (both in any letter case), and from the two the
// percentage, the elapsed time and the estimated total time. Toolkit-free; the clock is handed in.

#include "engine/ProcessInfo.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine {

using MonotonicClock = std::chrono::steady_clock;

// What one child's output has told so far; it lives across the chunks of one child.
struct TParseState {
    std::int64_t DurationSec = 0;           // 0 until a duration line was read
    MonotonicClock::time_point StartTime{}; // when the latest duration line was read
    bool SawProgress = false;               // a "time=" line was seen
};

struct TProgress {
    std::int32_t Percent = 0; // 1 to 100
    std::int64_t ElapsedSec = 0;
    std::int64_t EstimatedSec = 0; // the estimated total, not the time left
};

// Scans one chunk exactly as read from a pipe (nothing is carried over from the previous one):
// the text ends at a NUL byte, lines break at every CR and LF. Updates state and returns the
// progress of every "time=" line that gives a percentage of 1 to 100, in order. now is the
// moment of the read. When more than keep lines give one, only the first keep - 1 and the last
// are returned (keep is at least 1): whoever shows progress shows the latest, and a flood of
// progress lines must not become a flood of notices.
std::vector<TProgress> ParseChunk(std::string_view chunk, TParseState& state,
                                  MonotonicClock::time_point now,
                                  std::size_t keep = static_cast<std::size_t>(-1));

// The seconds of a position: rest is the text after "time=". Only the text before its first "."
// counts: clock style "00:01:02" (or "-00:00:00", or minutes and seconds) as a clock, anything
// else as an integer ("16" of "16.48"); what cannot be read is 0. Without a "." there is no
// value and the line keeps the one an earlier line of the chunk left.
std::optional<std::int64_t> ReadTimePosition(std::string_view rest);

// Gathers what one pipe delivers into whole lines. FFmpeg writes a line in several pieces
// ("  Duration: ", "00:01:02.50", ", start: "...), which a read may catch apart; scanned apart,
// the duration would never be found. What follows the last line break (CR or LF) of the bytes
// so far is kept for the next read. A piece without a break that grows beyond kMaxPending is let
// through as it is.
//
// A read goes straight into the joiner: Room(count) gives room for count bytes after the kept
// piece, and Commit(got) takes the got bytes written there and returns the whole lines now
// complete, the kept piece first. Nothing is copied on the way, and the room is reused read
// after read.
class TLineJoiner {
public:
    static constexpr std::size_t kMaxPending = 64 * 1024;

    // Valid until the next call of any member.
    char* Room(std::size_t count);
    // The text up to and including the last line break, or "" (the bytes wait for a break);
    // valid until the next call of any member.
    std::string_view Commit(std::size_t got);
    // Room, a copy of bytes into it, and Commit.
    std::string Take(std::string_view bytes);
    // What is kept, handed out: the joiner is empty afterwards.
    std::string Flush();
    // Drops what is kept and lets go of the room.
    void Clear();

private:
    std::string buffer_;
    std::size_t start_ = 0; // the kept piece begins here (what is before was handed out)
    std::size_t size_ = 0;  // bytes of buffer_ in use
};

// Nearest whole number, halves to even.
std::int64_t RoundHalfEven(long double value);

// The elapsed and estimated seconds of a percentage reached after elapsedSeconds.
TProgress MakeProgress(std::int32_t percent, long double elapsedSeconds);

// The progress notice: percent, elapsed and estimated as MM:SS, status 0.
TProcessInfo ProgressNotice(const TProgress& progress);

} // namespace kestrine
