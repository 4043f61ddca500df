#include "engine/OutputParser.h"

#include "base/Text.h"
#include "tests/support/LineByLineScan.h"

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

TEST(ParseChunk, AgreesWithTheLineByLineRulesOnRandomChunks) {
    const std::vector<std::string> pieces = {"time=",
                                             "TiMe=",
                                             "tim",
                                             "e=",
                                             "duration:",
                                             "DURATION:",
                                             "Duration: ",
                                             "durat",
                                             "ion:",
                                             "00:01:02.50",
                                             "1:02:03.00",
                                             "N/A",
                                             "16.48",
                                             "00:00:31.00",
                                             "-00:00:00.02",
                                             ".",
                                             ":",
                                             "=",
                                             " ",
                                             "\t",
                                             "\r",
                                             "\n",
                                             "\r\n",
                                             std::string(1, '\0'),
                                             "x",
                                             "7",
                                             "62",
                                             "frame=  412 fps= 52 q=3.1 size=  2048kB ",
                                             "bitrate=1018.1kbits/s speed=2x"};
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 20000; ++round) {
        std::string chunk;
        const int count = 1 + static_cast<int>(next() % 24);
        for (int i = 0; i < count; ++i)
            chunk += pieces[next() % pieces.size()];
        TParseState fast;
        TParseState rules;
        if (round % 2 == 1) { // a duration known from an earlier chunk
            fast.DurationSec = rules.DurationSec = 62;
            fast.StartTime = rules.StartTime = t0 - 7s;
        }
        const auto a = kestrine::ParseChunk(chunk, fast, t0);
        const auto b = kestrine::test::LineByLineScan(chunk, rules, t0);
        ASSERT_EQ(a.size(), b.size()) << testing::PrintToString(chunk);
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].Percent, b[i].Percent) << testing::PrintToString(chunk);
            EXPECT_EQ(a[i].ElapsedSec, b[i].ElapsedSec) << testing::PrintToString(chunk);
        }
        // Keeping fewer keeps the first ones and the latest of the same list.
        TParseState capped;
        capped.DurationSec = round % 2 == 1 ? 62 : 0;
        capped.StartTime = round % 2 == 1 ? t0 - 7s : MonotonicClock::time_point{};
        const std::size_t keep = 1 + next() % 4;
        auto expected = Percents(b);
        if (expected.size() > keep)
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(keep) - 1,
                           expected.end() - 1);
        const auto few = kestrine::ParseChunk(chunk, capped, t0, keep);
        EXPECT_EQ(Percents(few), expected) << keep << " " << testing::PrintToString(chunk);
        if (!few.empty() && !b.empty()) {
            EXPECT_EQ(few.back().ElapsedSec, b.back().ElapsedSec) << testing::PrintToString(chunk);
        }
        EXPECT_EQ(capped.DurationSec, rules.DurationSec) << testing::PrintToString(chunk);
        EXPECT_EQ(capped.SawProgress, rules.SawProgress) << testing::PrintToString(chunk);
        EXPECT_EQ(capped.StartTime, rules.StartTime) << testing::PrintToString(chunk);
        EXPECT_EQ(fast.DurationSec, rules.DurationSec) << testing::PrintToString(chunk);
        EXPECT_EQ(fast.SawProgress, rules.SawProgress) << testing::PrintToString(chunk);
        EXPECT_EQ(fast.StartTime, rules.StartTime) << testing::PrintToString(chunk);
    }
}

TEST(ParseChunk, KeepsTheFirstAndTheLatestOfManyPositions) {
    std::string chunk = "Duration: 00:01:40.00\n";
    for (int s = 1; s <= 99; ++s)
        chunk += "time=" + std::to_string(s) + ".00\r";
    const struct {
        std::size_t keep;
        std::vector<std::int32_t> percents;
    } cases[] = {
        {1, {99}},
        {4, {1, 2, 3, 99}},
        {99, {}}, // all of them
        {1000, {}},
    };
    for (const auto& c : cases) {
        TParseState state;
        auto expected = c.percents;
        if (expected.empty()) {
            for (int s = 1; s <= 99; ++s)
                expected.push_back(s);
        }
        EXPECT_EQ(Percents(kestrine::ParseChunk(chunk, state, t0 + 3s, c.keep)), expected)
            << c.keep;
        EXPECT_TRUE(state.SawProgress);
    }
    // The latest one is made as any other: with the elapsed time of its own duration line.
    TParseState state;
    const auto found = kestrine::ParseChunk(
        "Duration: 00:00:10.00\ntime=5.00\rtime=6.00\rDuration: 00:00:20.00\ntime=15.00\r", state,
        t0, 2);
    EXPECT_EQ(Percents(found), (std::vector<std::int32_t>{50, 75}));
}

TEST(LineJoiner, ReadsGoStraightIntoTheRoomAndTheRestMovesToTheFront) {
    kestrine::TLineJoiner joiner;
    const std::string reads[] = {"size= 1kB time=00:0", "0:01.00 x\rsize= 2kB", " time=2\r", "",
                                 "tail"};
    const std::string expected[] = {"", "size= 1kB time=00:00:01.00 x\r", "size= 2kB time=2\r", "",
                                    ""};
    for (std::size_t i = 0; i < std::size(reads); ++i) {
        // A read may fill less than the room it was given.
        char* room = joiner.Room(reads[i].size() + 100);
        reads[i].copy(room, reads[i].size());
        EXPECT_EQ(joiner.Commit(reads[i].size()), expected[i]) << i;
    }
    EXPECT_EQ(joiner.Flush(), "tail");
    joiner.Clear();
    EXPECT_EQ(joiner.Take("a\nb"), "a\n");
    joiner.Clear();
    EXPECT_EQ(joiner.Flush(), "");
}
