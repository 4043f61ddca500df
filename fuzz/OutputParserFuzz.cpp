// What FFmpeg prints, cut into reads where the input says and handed on as the engine does with
// a pipe: each read straight into the line joiner's room (the pipe may give fewer bytes than it
// said), each joined chunk through the scan with a limit of notices, the clock moving on between
// reads. No crash, and:
//   - the joiner loses, adds and reorders nothing and hands on only whole lines (or an overlong
//     piece as it is);
//   - the scan gives what the same rules give read the plain way, line by line (the scan
//     searches with memchr and, past its limit, looks for the latest notice from the end);
//     with a limit of k it gives the first k - 1 of those and the last, and the same state;
//   - every progress is of 1 to 100 % with an elapsed time of 0 or more and an estimated total
//     no less than it; its notice reads MM:SS.

#include "base/Text.h"
#include "engine/OutputParser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace kestrine;

constexpr std::int64_t kRest = std::numeric_limits<std::int32_t>::max();

void Check(bool condition) {
    if (!condition)
        std::abort();
}

bool IsMinutesSeconds(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2 || text.size() != colon + 3)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != colon && (text[i] < '0' || text[i] > '9'))
            return false;
    }
    return text[colon + 1] <= '5';
}

bool Same(const TProgress& a, const TProgress& b) {
    return a.Percent == b.Percent && a.ElapsedSec == b.ElapsedSec &&
           a.EstimatedSec == b.EstimatedSec;
}

bool Same(const std::vector<TProgress>& a, const std::vector<TProgress>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!Same(a[i], b[i]))
            return false;
    }
    return true;
}

bool Same(const TParseState& a, const TParseState& b) {
    return a.DurationSec == b.DurationSec && a.StartTime == b.StartTime &&
           a.SawProgress == b.SawProgress;
}

// Two characters before the separator at p (from 1), or the first two when p is 1 or 2.
std::string Before(std::string_view text, int p) {
    return p <= 2 ? Copy(text, 1, 2) : Copy(text, p - 2, 2);
}

// The rules of the scan read the plain way: line by line, each line lowered and searched.
std::vector<TProgress> PlainScan(std::string_view chunk, TParseState& state,
                                 MonotonicClock::time_point now) {
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
                hours = StrToIntDef(Before(rest, p), 0);
                rest = Copy(rest, p + 1, kRest);
            }
            if (const int p = Pos(":", rest); p > 0) {
                minutes = StrToIntDef(Before(rest, p), 0);
                rest = Copy(rest, p + 1, kRest);
            }
            if (const int p = Pos(".", rest); p > 0)
                seconds = StrToIntDef(Before(rest, p), 0);
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto keep = input.ConsumeIntegralInRange<std::size_t>(1, 20);
    TParseState state;
    TLineJoiner joiner;
    MonotonicClock::time_point now{};
    std::string read;   // everything read
    std::string passed; // everything the joiner handed on

    const auto scan = [&](std::string_view chunk) {
        TParseState plainState = state;
        const std::vector<TProgress> plain = PlainScan(chunk, plainState, now);
        TParseState fullState = state;
        Check(Same(ParseChunk(chunk, fullState, now), plain));
        Check(Same(fullState, plainState));

        const std::vector<TProgress> kept = ParseChunk(chunk, state, now, keep);
        Check(Same(state, plainState));
        std::vector<TProgress> expected = plain;
        if (expected.size() > keep) {
            expected.resize(keep - 1);
            expected.push_back(plain.back());
        }
        Check(Same(kept, expected));

        for (const TProgress& progress : kept) {
            Check(progress.Percent >= 1 && progress.Percent <= 100);
            Check(progress.ElapsedSec >= 0);
            Check(progress.EstimatedSec >= progress.ElapsedSec);
            const TProcessInfo notice = ProgressNotice(progress);
            Check(notice.Percent == progress.Percent && !notice.IsCompletion());
            Check(IsMinutesSeconds(notice.Elapsed) && IsMinutesSeconds(notice.Estimated));
        }
    };

    while (input.remaining_bytes() > 0) {
        now += std::chrono::milliseconds(input.ConsumeIntegralInRange<std::uint32_t>(0, 7200000));
        const auto asked = input.ConsumeIntegralInRange<std::size_t>(1, 4096);
        const std::string bytes = input.ConsumeBytesAsString(asked);
        char* const room = joiner.Room(asked);
        std::memcpy(room, bytes.data(), bytes.size());
        read += bytes;
        const std::string_view lines = joiner.Commit(bytes.size());
        passed += lines;
        if (!lines.empty()) {
            const bool wholeLines = lines.back() == '\r' || lines.back() == '\n';
            Check(wholeLines || (lines.size() > TLineJoiner::kMaxPending &&
                                 lines.find_first_of("\r\n") == std::string_view::npos));
            scan(std::string(lines));
        }
    }
    const std::string rest = joiner.Flush();
    passed += rest;
    if (!rest.empty())
        scan(rest);
    Check(passed == read);
    Check(joiner.Flush().empty());
    return 0;
}
