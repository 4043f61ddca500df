// Every profile of the catalogue, adapted for the FFmpeg installed on this machine, converts a
// short generated clip; ffprobe finds the streams the profile makes and about the clip's length.

#include "engine/FFmpegCapabilities.h"
#include "engine/ParamsAdapter.h"
#include "profiles/Catalogue.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace kestrine;

namespace {

constexpr double kClipSeconds = 0.5;

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    std::string out;
    std::string err;
};

Outcome RunProgram(const std::string& program, const std::vector<std::string>& args) {
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QString::fromStdString(program), list);
    Outcome run;
    run.finished = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

std::vector<std::string> Split(std::string_view text) {
    std::vector<std::string> tokens;
    std::istringstream in{std::string(text)};
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

std::string LastLines(const std::string& text, int count) {
    std::size_t at = text.size();
    for (int i = 0; i <= count && at != std::string::npos && at > 0; ++i)
        at = text.rfind('\n', at - 1);
    return at == std::string::npos ? text : text.substr(at + 1);
}

bool IsAudioProfile(const Profile& profile) {
    static const std::set<std::string_view> audio{".ac3", ".m4a", ".mp3", ".ogg", ".wav", ".wma"};
    return audio.count(profile.extension) > 0;
}

// What is wrong with one profile's conversion; "" when nothing.
std::string Check(const Profile& profile, const std::string& ffmpeg, const std::string& ffprobe,
                  const std::string& clip, const std::string& output) {
    std::vector<std::string> args{"-nostdin", "-i", clip};
    try {
        for (std::string& token : AdaptParamsFor(Split(profile.arguments), ffmpeg, output))
            args.push_back(std::move(token));
    } catch (const std::exception& e) {
        return std::string("not adapted: ") + e.what();
    }
    args.push_back(output);
    Outcome run = RunProgram(ffmpeg, args);
    if (!run.finished || run.exitCode != 0)
        return "ffmpeg exited " + std::to_string(run.exitCode) + ":\n" + LastLines(run.err, 6);
    if (QFileInfo(QString::fromStdString(output)).size() <= 0)
        return "empty output";

    Outcome probe =
        RunProgram(ffprobe, {"-v", "error", "-show_entries", "stream=codec_type:format=duration",
                             "-of", "default=noprint_wrappers=1", output});
    if (!probe.finished || probe.exitCode != 0)
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
    if (!IsAudioProfile(profile))
        expected.insert("video");
    if (kinds != expected)
        return "streams: " + probe.out;
    // Some muxers (SWF) record no duration.
    if (duration != "N/A" && !duration.empty()) {
        double seconds = std::atof(duration.c_str());
        if (seconds < kClipSeconds * 0.5 || seconds > kClipSeconds + 0.6)
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

TEST(CatalogueConverts, EveryProfileConvertsAGeneratedClip) {
    std::string ffmpeg = ResolveFFmpegExecutable("ffmpeg");
    std::string ffprobe = ResolveFFmpegExecutable("ffprobe");
    ASSERT_FALSE(ffmpeg.empty()) << "no ffmpeg on PATH";
    ASSERT_FALSE(ffprobe.empty()) << "no ffprobe on PATH";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string folder = dir.path().toStdString() + "/";

    // Tall enough for the anamorphic profile's crop of 120 lines.
    std::string clip = folder + "clip.avi";
    std::string seconds = std::to_string(kClipSeconds);
    Outcome made =
        RunProgram(ffmpeg, {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                            "testsrc=size=320x240:rate=25:duration=" + seconds, "-f", "lavfi", "-i",
                            "sine=frequency=440:sample_rate=44100:duration=" + seconds, "-vcodec",
                            "mpeg4", "-qscale:v", "3", "-acodec", "pcm_s16le", clip});
    ASSERT_TRUE(made.finished && made.exitCode == 0) << made.err;

    auto profiles = Catalogue();
    std::vector<std::string> problems(profiles.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < profiles.size();) {
            std::string output =
                folder + std::to_string(i + 1) + std::string(profiles[i].extension);
            problems[i] = Check(profiles[i], ffmpeg, ffprobe, clip, output);
        }
    };
    std::thread first(worker);
    std::thread second(worker);
    first.join();
    second.join();

    int failed = 0;
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        if (problems[i].empty())
            continue;
        ++failed;
        ADD_FAILURE() << "row " << i + 1 << " \"" << profiles[i].caption << "\": " << problems[i];
    }
    EXPECT_EQ(failed, 0) << "of " << profiles.size() << " profiles";
}
