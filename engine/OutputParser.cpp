#include "engine/OutputParser.h"

#include "base/Text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

// The value of 1 to 9 plain decimal digits; -1 for any other text.
std::int32_t DigitsValue(std::string_view text) {
    if (text.empty() || text.size() > 9)
        return -1;
    std::int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The bytes at text, with A to Z lowered, are lowerWord.
bool LowerEquals(const char* text, std::string_view lowerWord) {
    for (std::size_t i = 0; i < lowerWord.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerWord[i])
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
        const std::int32_t value = DigitsValue(field);
        if (value < 0 || ++fields > 3)
            return 0;
        total = total * 60 + value;
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
    const std::string_view before = rest.substr(0, static_cast<std::size_t>(dot - 1));
    if (before.find(':') != std::string_view::npos)
        return ClockSeconds(before);
    return StrToIntDef(before, 0);
}

char* TLineJoiner::Room(std::size_t count) {
    if (start_ > 0) { // the lines handed out go; the kept piece moves to the front
        std::memmove(buffer_.data(), buffer_.data() + start_, size_ - start_);
        size_ -= start_;
        start_ = 0;
    }
    if (buffer_.size() < size_ + count)
        buffer_.resize(size_ + count);
    return buffer_.data() + size_;
}

std::string_view TLineJoiner::Commit(std::size_t got) {
    const std::size_t old = size_;
    size_ += got;
    // The kept piece never holds a break, so the last break is one of the new bytes.
    const std::string_view fresh(buffer_.data() + old, got);
    const std::size_t lastBreak = fresh.find_last_of("\r\n");
    std::size_t end = start_;
    if (lastBreak != std::string_view::npos)
        end = old + lastBreak + 1;
    else if (size_ - start_ > kMaxPending)
        end = size_;
    const std::string_view lines(buffer_.data() + start_, end - start_);
    start_ = end;
    return lines;
}

std::string TLineJoiner::Take(std::string_view bytes) {
    bytes.copy(Room(bytes.size()), bytes.size());
    return std::string(Commit(bytes.size()));
}

std::string TLineJoiner::Flush() {
    std::string kept(buffer_.data() + start_, size_ - start_);
    start_ = size_ = 0;
    return kept;
}

void TLineJoiner::Clear() {
    std::string().swap(buffer_);
    start_ = size_ = 0;
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
                                  MonotonicClock::time_point now, std::size_t keep) {
    keep = std::max<std::size_t>(keep, 1);
    std::vector<TProgress> found;
    // Beyond keep - 1, only the latest counts: its percentage and the start it counts from.
    std::optional<std::pair<std::int32_t, MonotonicClock::time_point>> latest;
    auto make = [now](std::int32_t percent, MonotonicClock::time_point start) {
        return MakeProgress(percent, std::chrono::duration<long double>(now - start).count());
    };
    const std::string_view text = chunk.substr(0, chunk.find('\0'));
    if (text.empty())
        return found;

    ChunkDuration duration;
    std::int64_t time = 0;
    auto scanLine = [&](std::string_view line, std::size_t durationAt, std::size_t timeAt) {
        if (durationAt != std::string_view::npos)
            ParseDuration(line, static_cast<int>(durationAt) + 1, duration, state, now);
        if (timeAt == std::string_view::npos)
            return;
        state.SawProgress = true;
        if (const auto position = ReadTimePosition(line.substr(timeAt + 5)))
            time = *position;
        if (time > 0 && state.DurationSec > 0) {
            const std::int64_t percent = time * 100 / state.DurationSec;
            if (percent >= 1 && percent <= 100) {
                if (found.size() + 1 < keep)
                    found.push_back(make(static_cast<std::int32_t>(percent), state.StartTime));
                else
                    latest.emplace(static_cast<std::int32_t>(percent), state.StartTime);
            }
        }
    };

    // Lines end at CR and LF; in each, the first "duration:" and the first "time=" (any letter
    // case) are found at their last character. The text is searched with memchr, not read byte
    // by byte, and nothing is copied but the lines that hold either: a flood of output costs
    // little more than reading it.
    constexpr std::size_t kNone = std::string_view::npos;
    const char* p = text.data();
    const char* const end = p + text.size();
    auto next = [end](const char* from, char c) {
        const void* at = std::memchr(from, c, static_cast<std::size_t>(end - from));
        return at != nullptr ? static_cast<const char*>(at) : end;
    };
    // The first "word" followed by mark in [from, to), as an offset from from; kNone if none.
    auto find = [](const char* from, const char* to, char mark, std::string_view word) {
        for (const char* q = from;; ++q) {
            q = static_cast<const char*>(std::memchr(q, mark, static_cast<std::size_t>(to - q)));
            if (q == nullptr)
                return kNone;
            if (static_cast<std::size_t>(q - from) >= word.size() &&
                LowerEquals(q - word.size(), word))
                return static_cast<std::size_t>(q - from) - word.size();
        }
    };
    const char* cr = next(p, '\r');
    const char* lf = next(p, '\n');
    while (true) {
        if (cr < p)
            cr = next(p, '\r');
        if (lf < p)
            lf = next(p, '\n');
        // The last piece without a break is a line too.
        const char* const lineEnd = std::min(cr, lf);
        const std::size_t durationAt = find(p, lineEnd, ':', "duration");
        const std::size_t timeAt = find(p, lineEnd, '=', "time");
        if (durationAt != kNone || timeAt != kNone)
            scanLine(std::string_view(p, static_cast<std::size_t>(lineEnd - p)), durationAt,
                     timeAt);
        if (lineEnd == end)
            break;
        p = lineEnd + 1;
    }
    if (latest)
        found.push_back(make(latest->first, latest->second));
    return found;
}

} // namespace kestrine
