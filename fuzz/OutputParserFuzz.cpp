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
#include "tests/support/LineByLineScan.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace kestrine;

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
        const std::vector<TProgress> plain = test::LineByLineScan(chunk, plainState, now);
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
