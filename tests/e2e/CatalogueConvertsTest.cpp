// Every profile of the catalogue converts a generated clip through kestrine-cli (KESTRINE_CLI),
// the program's own path from the profile to FFmpeg, the adaptation to the installed FFmpeg
// included; ffprobe finds the streams the profile makes and about the clip's length. A manual
// profile written for an old FFmpeg goes the same way.

#include "E2eSupport.h"

#include "engine/FFmpegCapabilities.h"
#include "profiles/Catalogue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace kestrine;
namespace fs = std::filesystem;

namespace {

constexpr double kClipSeconds = 3;

struct Row {
    std::string profile; // as given to --profile
    std::string extension;
    bool audioOnly = false;
};

std::string LastLines(const std::string& text, int count) {
    std::size_t at = text.size();
    for (int i = 0; i <= count && at != std::string::npos && at > 0; ++i)
        at = text.rfind('\n', at - 1);
    return at == std::string::npos ? text : text.substr(at + 1);
}

bool IsAudioExtension(std::string_view extension) {
    static const std::set<std::string_view> audio{".ac3", ".m4a", ".mp3", ".ogg", ".wav", ".wma"};
    return audio.count(extension) > 0;
}

// What is wrong with one profile's conversion into folder; "" when nothing.
std::string Check(const Row& row, const fs::path& clip, const fs::path& folder) {
    fs::create_directories(folder);
    const e2e::Ran run = e2e::Capture({KESTRINE_CLI, "--profile", row.profile, "--output-dir",
                                       folder.string(), "--overwrite", "no", clip.string()});
    if (run.status != 0)
        return "kestrine-cli exited " + std::to_string(run.status) + ":\n" + LastLines(run.err, 6);
    const fs::path output = folder / clip.filename().replace_extension(row.extension);
    std::error_code error;
    if (fs::file_size(output, error) == 0 || error)
        return "no output, or an empty one: " + output.string();

    const e2e::Ran probe = e2e::Capture({"ffprobe", "-v", "error", "-show_entries",
                                         "stream=codec_type:format=duration", "-of",
                                         "default=noprint_wrappers=1", output.string()});
    if (probe.status != 0)
        return "ffprobe refuses the output:\n" + probe.err;
    std::set<std::string> kinds;
    std::string duration;
    std::istringstream lines(probe.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("codec_type="))
            kinds.insert(line.substr(11));
        else if (line.starts_with("duration="))
            duration = line.substr(9);
    }
    kinds.erase("data"); // DVD navigation packets
    std::set<std::string> expected{"audio"};
    if (!row.audioOnly)
        expected.insert("video");
    if (kinds != expected)
        return "streams: " + probe.out;
    // Some muxers (SWF) record no duration.
    if (duration != "N/A" && !duration.empty()) {
        const double seconds = std::atof(duration.c_str());
        if (std::fabs(seconds - kClipSeconds) > 0.5)
            return "duration " + duration;
    }
    return {};
}

} // namespace

TEST(CatalogueConverts, TheInstalledFFmpegAnswersEveryProbe) {
    std::string ffmpeg = ResolveFFmpegExecutable("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty()) << "no ffmpeg on PATH";
    auto caps = CapabilitiesOf(ffmpeg);
    EXPECT_TRUE(caps->encoders);
    EXPECT_TRUE(caps->options);
    EXPECT_TRUE(caps->acceptsUnitWithB);
    EXPECT_TRUE(caps->acceptsAviTagInMp4);
    EXPECT_TRUE(caps->HasEncoder("mpeg4"));
    EXPECT_TRUE(caps->HasOption("flags"));
    EXPECT_EQ(CapabilitiesOf("ffmpeg"), caps); // the bare name finds the same file, kept
}

TEST(CatalogueConverts, EveryProfileConvertsAGeneratedClipThroughKestrineCli) {
    ASSERT_FALSE(ResolveFFmpegExecutable("ffmpeg").empty()) << "no ffmpeg on PATH";
    ASSERT_FALSE(ResolveFFmpegExecutable("ffprobe").empty()) << "no ffprobe on PATH";
    const fs::path dir = e2e::ScratchDir();

    // Tall enough for the anamorphic profile's crop of 120 lines.
    const fs::path clip = dir / "clip.avi";
    const std::string seconds = std::to_string(kClipSeconds);
    const e2e::Ran made =
        e2e::Capture({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                      "testsrc=size=176x144:rate=25:duration=" + seconds, "-f", "lavfi", "-i",
                      "sine=frequency=440:sample_rate=44100:duration=" + seconds, "-vcodec",
                      "mpeg4", "-qscale:v", "3", "-acodec", "pcm_s16le", clip.string()});
    ASSERT_EQ(made.status, 0) << made.err;

    std::vector<Row> rows;
    for (const Profile& profile : Catalogue()) {
        rows.push_back({std::string(profile.caption), std::string(profile.extension),
                        IsAudioExtension(profile.extension)});
    }
    const std::size_t catalogueRows = rows.size();
    // A manual profile typed for an old FFmpeg takes the same rules.
    rows.push_back({"ffmpeg -i %1 -vn -acodec libfaac -ab 128kb %1.m4a", ".m4a", true});

    // Two conversions at a time, each in a folder of its own (extensions repeat).
    std::vector<std::string> problems(rows.size());
    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
        for (std::size_t i; (i = next++) < rows.size();)
            problems[i] = Check(rows[i], clip, dir / std::to_string(i + 1));
    };
    std::thread first(worker);
    std::thread second(worker);
    first.join();
    second.join();

    int failed = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (problems[i].empty())
            continue;
        ++failed;
        ADD_FAILURE() << (i < catalogueRows ? "row " + std::to_string(i + 1) : "manual profile")
                      << " \"" << rows[i].profile << "\": " << problems[i];
    }
    EXPECT_EQ(catalogueRows, 103u);
    EXPECT_EQ(failed, 0) << "of " << rows.size() << " profiles";
    fs::remove_all(dir);
}
