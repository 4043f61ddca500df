#pragma once

// Helpers of the end-to-end tests: a scratch folder, clips made by the real FFmpeg, and what
// ffprobe says about a file.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace e2e {

inline std::filesystem::path ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kestrine-e2e-" + std::to_string(getpid()) + "-" +
                                                  info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// Runs a program to its end; returns its exit code (-1 when it could not run or crashed).
inline int Run(const QString& program, const QStringList& args, QString* out = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitCode();
}

// A clip with video and audio of the given length (seconds).
inline void MakeClip(const std::filesystem::path& path, const char* seconds) {
    const QString d = QString::fromLatin1(seconds);
    ASSERT_EQ(Run("ffmpeg", {"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                             "testsrc=duration=" + d + ":size=160x120:rate=10", "-f", "lavfi", "-i",
                             "sine=frequency=440:duration=" + d, "-c:v", "mpeg4", "-c:a",
                             "pcm_s16le", QString::fromStdString(path.string())}),
              0);
}

// "codec_name,codec_type" of each stream, one a line, and the duration in seconds.
struct Probe {
    QString streams;
    double duration = 0;
};

inline Probe ProbeFile(const std::filesystem::path& path) {
    Probe probe;
    QString out;
    if (Run("ffprobe",
            {"-v", "error", "-show_entries", "stream=codec_name,codec_type", "-of", "csv=p=0",
             QString::fromStdString(path.string())},
            &out) == 0)
        probe.streams = out.trimmed();
    if (Run("ffprobe",
            {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
             QString::fromStdString(path.string())},
            &out) == 0)
        probe.duration = out.trimmed().toDouble();
    return probe;
}

} // namespace e2e
