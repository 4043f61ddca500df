// What FFmpeg prints, cut into reads where the input says and handed on as the engine does with
// a pipe: each read through the line joiner, each joined chunk through the scan, the clock
// moving on between reads. No crash, and: the joiner loses, adds and reorders nothing and hands
// on only whole lines (or an overlong piece as it is); every progress is of 1 to 100 % with an
// elapsed time of 0 or more and an estimated total no less than it; its notice reads MM:SS.

#include "engine/OutputParser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

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

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrine;
    FuzzedDataProvider input(data, size);
    TParseState state;
    TLineJoiner joiner;
    MonotonicClock::time_point now{};
    std::string read;   // everything read
    std::string passed; // everything the joiner handed on

    const auto scan = [&](const std::string& chunk) {
        for (const TProgress& progress : ParseChunk(chunk, state, now)) {
            Check(progress.Percent >= 1 && progress.Percent <= 100);
            Check(progress.ElapsedSec >= 0);
            Check(progress.EstimatedSec >= progress.ElapsedSec);
            Check(state.SawProgress);
            const TProcessInfo notice = ProgressNotice(progress);
            Check(notice.Percent == progress.Percent && !notice.IsCompletion());
            Check(IsMinutesSeconds(notice.Elapsed) && IsMinutesSeconds(notice.Estimated));
        }
    };

    while (input.remaining_bytes() > 0) {
        now += std::chrono::milliseconds(input.ConsumeIntegralInRange<std::uint32_t>(0, 7200000));
        const std::string bytes =
            input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(1, 4096));
        read += bytes;
        const std::string lines = joiner.Take(bytes);
        passed += lines;
        if (!lines.empty()) {
            const bool wholeLines = lines.back() == '\r' || lines.back() == '\n';
            Check(wholeLines || (lines.size() > TLineJoiner::kMaxPending &&
                                 lines.find_first_of("\r\n") == std::string::npos));
            scan(lines);
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
