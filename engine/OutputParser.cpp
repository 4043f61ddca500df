#include "engine/OutputParser.h"

#include "base/Text.h"

#include <cmath>
#include <limits>
#include <utility>

namespace kestrine {

namespace {

constexpr std::int64_t kRestOfText = std::numeric_limits<std::int32_t>::max();

// The two characters before the separator at position p (from 1); when p is 1 or 2, the first
// two characters of the text instead.
std::string SliceBefore(std::string_view text, int p) {
    return p <= 2 ? Copy(text, 1, 2) : Copy(text, p - 2, 2);
}

bool AllDigits(std::string_view text) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// "H:M:S" or "M:S", each field plain digits, the whole optionally preceded by "-".
std::int64_t ClockSeconds(std::string_view clock) {
    bool negative = false;
    if (!clock.empty() && clock.front() == '-') {
        negative = true;
        clock.remove_prefix(1);
    }
    std::int64_t total = 0;
    int fields = 0;
    while (true) {
        const auto colon = clock.find(':');
        const std::string_view field = clock.substr(0, colon);
        if (!AllDigits(field) || ++fields > 3)
            return 0;
        total = total * 60 + StrToIntDef(field, 0);
        if (colon == std::string_view::npos)
            break;
        clock.remove_prefix(colon + 1);
    }
    if (fields < 2)
        return 0;
    return negative ? -total : total;
}

// The fields of the duration belong to the chunk: a line that lacks a separator keeps the value
// an earlier line of the same chunk left.
struct ChunkDuration {
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
};

void ParseDuration(std::string_view line, int at, ChunkDuration& d, TParseState& state,
                   MonotonicClock::time_point now) {
    auto& [hours, minutes, seconds] = d;
    std::string rest = TrimControl(Copy(line, at + 9, kRestOfText));
    if (const int p = Pos(":", rest); p > 0) {
        hours = StrToIntDef(SliceBefore(rest, p), 0);
        rest = Copy(rest, p + 1, kRestOfText);
    }
    if (const int p = Pos(":", rest); p > 0) {
        minutes = StrToIntDef(SliceBefore(rest, p), 0);
        rest = Copy(rest, p + 1, kRestOfText);
    }
    if (const int p = Pos(".", rest); p > 0)
        seconds = StrToIntDef(SliceBefore(rest, p), 0);
    state.DurationSec = hours * 3600 + minutes * 60 + seconds;
    state.StartTime = now;
}

} // namespace

std::optional<std::int64_t> ReadTimePosition(std::string_view rest) {
    const int dot = Pos(".", rest);
    if (dot == 0)
        return std::nullopt;
    const std::string before = Copy(rest, 1, dot - 1);
    if (before.find(':') != std::string::npos)
        return ClockSeconds(before);
    return StrToIntDef(before, 0);
}

std::string TLineJoiner::Take(std::string_view bytes) {
    pending_.append(bytes);
    const std::size_t lastBreak = pending_.find_last_of("\r\n");
    if (lastBreak == std::string::npos) {
        if (pending_.size() <= kMaxPending)
            return {};
        return Flush();
    }
    std::string lines = pending_.substr(0, lastBreak + 1);
    pending_.erase(0, lastBreak + 1);
    return lines;
}

std::string TLineJoiner::Flush() {
    return std::exchange(pending_, std::string());
}

std::int64_t RoundHalfEven(long double value) {
    const long double floor = std::floor(value);
    const long double fraction = value - floor;
    auto result = static_cast<std::int64_t>(floor);
    if (fraction > 0.5L || (fraction == 0.5L && result % 2 != 0))
        ++result;
    return result;
}

TProgress MakeProgress(std::int32_t percent, long double elapsedSeconds) {
    TProgress progress;
    progress.Percent = percent;
    progress.ElapsedSec = RoundHalfEven(elapsedSeconds);
    progress.EstimatedSec =
        RoundHalfEven(static_cast<long double>(progress.ElapsedSec * 100) / percent);
    return progress;
}

TProcessInfo ProgressNotice(const TProgress& progress) {
    TProcessInfo info;
    info.Percent = progress.Percent;
    info.Elapsed = MinutesSeconds(progress.ElapsedSec);
    info.Estimated = MinutesSeconds(progress.EstimatedSec);
    info.Status = kStatusDone;
    return info;
}

std::vector<TProgress> ParseChunk(std::string_view chunk, TParseState& state,
                                  MonotonicClock::time_point now) {
    std::vector<TProgress> found;
    const std::string_view text = chunk.substr(0, chunk.find('\0'));

    ChunkDuration duration;
    std::int64_t time = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        const std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;

        if (TrimControl(line).empty())
            continue;
        const std::string lower = LowerAscii(line);
        if (const int at = Pos("duration:", lower); at > 0)
            ParseDuration(line, at, duration, state, now);
        if (const int at = Pos("time=", lower); at > 0) {
            state.SawProgress = true;
            if (const auto position = ReadTimePosition(Copy(line, at + 5, kRestOfText)))
                time = *position;
            if (time > 0 && state.DurationSec > 0) {
                const std::int64_t percent = time * 100 / state.DurationSec;
                if (percent >= 1 && percent <= 100) {
                    const std::chrono::duration<long double> elapsed = now - state.StartTime;
                    found.push_back(
                        MakeProgress(static_cast<std::int32_t>(percent), elapsed.count()));
                }
            }
        }
    }
    return found;
}

} // namespace kestrine
