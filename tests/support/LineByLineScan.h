#pragma once

// The scan of FFmpeg's output as its rules read, line by line: cut at NUL, split at every CR and
// LF, lower the line, look for "duration:" and then "time=". ParseChunk does the same in one pass
// without copying lines; the unit test and the fuzz target hold it against this reading.

#include "base/Text.h"
#include "engine/OutputParser.h"

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::test {

inline std::vector<TProgress> LineByLineScan(std::string_view chunk, TParseState& state,
                                             MonotonicClock::time_point now) {
    constexpr std::int64_t kRest = std::numeric_limits<std::int32_t>::max();
    // Two characters before the separator at p (from 1), or the first two when p is 1 or 2.
    const auto before = [](const std::string& text, int p) {
        return p <= 2 ? Copy(text, 1, 2) : Copy(text, p - 2, 2);
    };
    std::vector<TProgress> found;
    const std::string_view text = chunk.substr(0, chunk.find('\0'));
    std::int32_t hours = 0, minutes = 0, seconds = 0;
    std::int64_t time = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        const std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;
        const std::string lower = LowerAscii(line);
        if (const int at = Pos("duration:", lower); at > 0) {
            std::string rest = TrimControl(Copy(line, at + 9, kRest));
            if (const int p = Pos(":", rest); p > 0) {
                hours = StrToIntDef(before(rest, p), 0);
                rest = Copy(rest, p + 1, kRest);
            }
            if (const int p = Pos(":", rest); p > 0) {
                minutes = StrToIntDef(before(rest, p), 0);
                rest = Copy(rest, p + 1, kRest);
            }
            if (const int p = Pos(".", rest); p > 0)
                seconds = StrToIntDef(before(rest, p), 0);
            state.DurationSec = hours * 3600 + minutes * 60 + seconds;
            state.StartTime = now;
        }
        if (const int at = Pos("time=", lower); at > 0) {
            state.SawProgress = true;
            if (const auto position = ReadTimePosition(Copy(line, at + 5, kRest)))
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

} // namespace kestrine::test
