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
    const std::string_view text = chunk.substr(0, chunk.find('\0'));
    if (text.empty())
        return found;

    ChunkDuration duration;
    std::int64_t time = 0; // the position of the latest "time=" line that had one
    // The percentage a position gives now, 0 when none.
    auto percentOf = [&state](std::int64_t position) -> std::int32_t {
        if (position <= 0 || state.DurationSec <= 0)
            return 0;
        const std::int64_t percent = position * 100 / state.DurationSec;
        return percent >= 1 && percent <= 100 ? static_cast<std::int32_t>(percent) : 0;
    };
    auto scanLine = [&](std::string_view line, std::size_t durationAt, std::size_t timeAt) {
        if (durationAt != std::string_view::npos)
            ParseDuration(line, static_cast<int>(durationAt) + 1, duration, state, now);
        if (timeAt == std::string_view::npos)
            return;
        state.SawProgress = true;
        if (const auto position = ReadTimePosition(line.substr(timeAt + 5)))
            time = *position;
        if (const std::int32_t percent = percentOf(time); percent > 0) {
            if (found.size() + 1 < keep)
                found.push_back(MakeProgress(
                    percent, std::chrono::duration<long double>(now - state.StartTime).count()));
            else
                latest.emplace(percent, state.StartTime);
        }
    };

    // Lines end at CR and LF; in each, the first "duration:" and the first "time=" (any letter
    // case) are found at their last character. The text is searched with memchr, not read byte
    // by byte, and nothing is copied but the lines that hold either.
    constexpr std::size_t kNone = std::string_view::npos;
    const char* p = text.data();
    const char* const end = p + text.size();
    auto next = [end](const char* from, char c) {
        const void* at = std::memchr(from, c, static_cast<std::size_t>(end - from));
        return at != nullptr ? static_cast<const char*>(at) : end;
    };
    // The start of the line that ends at to, not before from.
    auto lineStart = [](const char* from, const char* to) {
        const char* start = from;
        for (char c : {'\r', '\n'}) {
            if (const void* at = memrchr(from, c, static_cast<std::size_t>(to - from)))
                start = std::max(start, static_cast<const char*>(at) + 1);
        }
        return start;
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
    // Where the last line holding "duration:" in [from, end) ends; from when there is none.
    // Every "duration:" has its "u" (or "U") second, a letter FFmpeg's progress lines lack.
    auto afterLastDuration = [&](const char* from) {
        const char* last = nullptr;
        for (char u : {'u', 'U'}) {
            for (const char* q = end; q > from;) {
                const void* at = memrchr(from, u, static_cast<std::size_t>(q - from));
                if (at == nullptr)
                    break;
                q = static_cast<const char*>(at);
                if (q > from && end - q >= 8 && q[7] == ':' && LowerEquals(q - 1, "duration")) {
                    last = std::max(last != nullptr ? last : q, q);
                    break;
                }
            }
        }
        return last == nullptr ? from : std::min(next(last, '\r'), next(last, '\n'));
    };
    // The rest of the text from a line start, once no duration line is left in it and no
    // notice but the latest: only its last line whose position gives a percentage matters, so
    // it is looked for from the end. A line whose position has no "." has the position of the
    // nearest line before it that had one (or the one known at from).
    auto scanTail = [&](const char* from) {
        bool waiting = false; // lines without a position of their own, after the ones seen
        for (const char* lineEnd = end;;) {
            const char* const start = lineStart(from, lineEnd);
            if (const std::size_t at = find(start, lineEnd, '=', "time"); at != kNone) {
                state.SawProgress = true;
                const char* const rest = start + at + 5;
                if (const auto position = ReadTimePosition(
                        std::string_view(rest, static_cast<std::size_t>(lineEnd - rest)))) {
                    if (const std::int32_t percent = percentOf(*position); percent > 0) {
                        latest.emplace(percent, state.StartTime);
                        return;
                    }
                    waiting = false;
                } else {
                    waiting = true;
                }
            }
            if (start == from)
                break;
            lineEnd = start - 1; // the break before this line
        }
        if (const std::int32_t percent = percentOf(time); waiting && percent > 0)
            latest.emplace(percent, state.StartTime);
    };

    const char* cr = next(p, '\r');
    const char* lf = next(p, '\n');
    const char* durationsEnd = nullptr; // known once the notices are all taken but the latest
    while (true) {
        if (found.size() + 1 >= keep) {
            if (durationsEnd == nullptr)
                durationsEnd = afterLastDuration(p);
            if (p >= durationsEnd) {
                scanTail(p);
                break;
            }
        }
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
        found.push_back(MakeProgress(
            latest->first, std::chrono::duration<long double>(now - latest->second).count()));
    return found;
}

} // namespace kestrine
