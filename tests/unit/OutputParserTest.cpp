#include "engine/OutputParser.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using kestrine::MonotonicClock;
using kestrine::TParseState;

namespace {

const MonotonicClock::time_point t0 = MonotonicClock::time_point{} + 1000h;

std::vector<std::int32_t> Percents(const std::vector<kestrine::TProgress>& found) {
    std::vector<std::int32_t> out;
    for (const auto& p : found)
        out.push_back(p.Percent);
    return out;
}

} // namespace

TEST(ParseChunk, DurationLines) {
    const struct {
        std::string chunk;
        std::int64_t duration;
    } cases[] = {
        {"  Duration: 00:01:02.50, start: 0.000000, bitrate: 1411 kb/s\n", 62},
        {"  DURATION: 01:00:05.00, start: 0.0\n", 3605},
        {"Duration: 00:00:03.50\r\n", 3},
        // "rt" and "te" are worth 0 and no "." follows the second colon.
        {"  Duration: N/A, start: 0.000000, bitrate: N/A\n", 0},
        // A one-digit field takes the colon in and is worth 0.
        {"Duration: 1:02:03.00\n", 2 * 60 + 3},
        // Within a chunk a later line without "." keeps the seconds an earlier one left.
        {"Duration: 00:00:07.00\nDuration: 00:02:08\n", 2 * 60 + 7},
    };
    for (const auto& c : cases) {
        TParseState state;
        kestrine::ParseChunk(c.chunk, state, t0);
        EXPECT_EQ(state.DurationSec, c.duration) << c.chunk;
        EXPECT_EQ(state.StartTime, t0) << c.chunk;
        EXPECT_FALSE(state.SawProgress);
    }
}

TEST(ParseChunk, PositionLinesGivePercentsOfTheDuration) {
    const struct {
        const char* chunk;
        std::vector<std::int32_t> percents;
        bool sawProgress;
    } cases[] = {
        {"frame=  412 fps= 52 q=3.1 size=  2048kB time=16.48 bitrate=1018.1kbits/s", {25}, true},
        // Clock style, as every FFmpeg of the last decade prints it.
        {"size=  2048kB time=00:00:31.00 bitrate=1018.1kbits/s speed=2x", {50}, true},
        {"size= 1kB time=00:01:02.00 bitrate=1.0kbits/s", {100}, true},
        {"TIME=31.00", {50}, true},
        // Two progress lines joined by a lone CR.
        {"time=00:00:06.20 a\rtime=00:00:12.40 b\r", {9, 19}, true},
        {"time=0.50", {}, true},
        {"time=62.00", {100}, true},
        {"time=63.00", {}, true},
        {"time=1.00", {1}, true},
        {"time=N/A bitrate=N/A speed=N/A", {}, true},
        {"time=-00:00:00.02 bitrate=N/A", {}, true},
        {"time=00:00:x1.00", {}, true},
        // Without "." the line reuses the time of an earlier line of the chunk.
        {"time=31.00\ntime=32", {50, 50}, true},
        {"time=32", {}, true},
        {"frame=1 fps=0.0 q=0.0 size=0kB", {}, false},
    };
    for (const auto& c : cases) {
        TParseState state;
        state.DurationSec = 62;
        state.StartTime = t0;
        const auto found = kestrine::ParseChunk(c.chunk, state, t0 + 10s);
        EXPECT_EQ(Percents(found), c.percents) << c.chunk;
        EXPECT_EQ(state.SawProgress, c.sawProgress) << c.chunk;
    }
}

TEST(ParseChunk, NulByteEndsTheChunk) {
    const char text[] = "Duration: 00:01:40.00\ntime=50.00\r\0time=90.00\r";
    const std::string chunk(text, sizeof text - 1);
    TParseState state;
    EXPECT_EQ(Percents(kestrine::ParseChunk(chunk, state, t0)), (std::vector<std::int32_t>{50}));
}

TEST(ParseChunk, PositionBeforeAnyDurationOnlyMarksProgress) {
    TParseState state;
    EXPECT_TRUE(kestrine::ParseChunk("time=00:00:05.00\r", state, t0).empty());
    EXPECT_TRUE(state.SawProgress);
    // A line holding both is a duration first.
    const auto found = kestrine::ParseChunk("Duration: 00:00:10.00 TIME=00:00:05.00\n", state, t0);
    EXPECT_EQ(Percents(found), (std::vector<std::int32_t>{50}));
    EXPECT_EQ(state.DurationSec, 10);
}

TEST(ParseChunk, LineSplitOverTwoReadsIsTwoLines) {
    TParseState state;
    kestrine::ParseChunk("Duration: 00:01:40.00\n", state, t0);
    // "time=16" without its "." keeps the chunk's earlier value (0): nothing; ".48 ..." has no
    // "time=".
    EXPECT_TRUE(kestrine::ParseChunk("size= 1kB time=00:00:16", state, t0).empty());
    EXPECT_TRUE(state.SawProgress);
    EXPECT_TRUE(kestrine::ParseChunk(".48 bitrate=1.0kbits/s\r", state, t0).empty());
}

TEST(ParseChunk, ElapsedAndEstimatedFromTheMonotonicClock) {
    TParseState state;
    kestrine::ParseChunk("Duration: 00:02:00.00\n", state, t0);
    const auto found = kestrine::ParseChunk("time=30.00\r", state, t0 + 30s);
    ASSERT_EQ(found.size(), 1u);
    const auto notice = kestrine::ProgressNotice(found[0]);
    EXPECT_EQ(notice.Percent, 25);
    EXPECT_EQ(notice.Elapsed, "00:30");
    EXPECT_EQ(notice.Estimated, "02:00");
    EXPECT_EQ(notice.Status, 0);
    EXPECT_FALSE(notice.IsCompletion());
}

TEST(MakeProgress, RoundsHalvesToEven) {
    const struct {
        std::int32_t percent;
        long double elapsed;
        const char* elapsedText;
        const char* estimatedText;
    } cases[] = {
        {100, 59.5L, "01:00", "01:00"},   {100, 58.5L, "00:58", "00:58"},
        {8, 1.0L, "00:01", "00:12"},  // 12.5 -> 12
        {24, 3.0L, "00:03", "00:12"}, // 12.5 -> 12
        {40, 5.0L, "00:05", "00:12"}, // 12.5 -> 12
        {8, 3.0L, "00:03", "00:38"},  // 37.5 -> 38
        {50, 3000.0L, "50:00", "100:00"}, {1, 0.4L, "00:00", "00:00"},
    };
    for (const auto& c : cases) {
        const auto notice = kestrine::ProgressNotice(kestrine::MakeProgress(c.percent, c.elapsed));
        EXPECT_EQ(notice.Elapsed, c.elapsedText)
            << c.percent << " " << static_cast<double>(c.elapsed);
        EXPECT_EQ(notice.Estimated, c.estimatedText)
            << c.percent << " " << static_cast<double>(c.elapsed);
    }
    EXPECT_EQ(kestrine::RoundHalfEven(-0.5L), 0);
    EXPECT_EQ(kestrine::RoundHalfEven(2.5L), 2);
    EXPECT_EQ(kestrine::RoundHalfEven(3.5L), 4);
}

TEST(LineJoiner, WholeLinesPassAndTheRestWaits) {
    kestrine::TLineJoiner joiner;
    // FFmpeg writes its duration line in pieces.
    EXPECT_EQ(joiner.Take("Input #0, avi:\n  Duration: "), "Input #0, avi:\n");
    EXPECT_EQ(joiner.Take("00:00:03.50"), "");
    EXPECT_EQ(joiner.Take(", start: 0.000000\nsize= 1kB time=00:00:01.00 x\rsize= 2kB"),
              "  Duration: 00:00:03.50, start: 0.000000\nsize= 1kB time=00:00:01.00 x\r");
    EXPECT_EQ(joiner.Flush(), "size= 2kB");
    EXPECT_EQ(joiner.Flush(), "");

    // A piece that never ends a line is let through once it is too long to wait for.
    const std::string endless(kestrine::TLineJoiner::kMaxPending, 'x');
    EXPECT_EQ(joiner.Take(endless), "");
    EXPECT_EQ(joiner.Take("y"), endless + "y");
}
