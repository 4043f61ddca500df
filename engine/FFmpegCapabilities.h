#pragma once

// What one FFmpeg build offers, learned from the program itself: its encoders (from
// "-encoders"), its options with their named values (from "-h full"), and two behaviours that
// no listing shows, each tried with a tiny encode of a generated signal. Every part may be
// unknown (the probe failed, hung or printed something we cannot read); nothing is adapted on the
// strength of an unknown part.

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine {

struct EncoderInfo {
    char kind = '?';           // 'V' video, 'A' audio, 'S' subtitle
    std::string codec;         // the format it writes ("aac" for libfdk_aac)
    bool experimental = false; // refused unless experimental codecs are enabled
};

struct OptionInfo {
    bool takesValue = false;         // typed option, or a program option with an argument
    std::set<std::string> constants; // named values and flags, over every class that has it
};

struct FFmpegCapabilities {
    // Encoder name -> what it is; unset when the list is unknown.
    std::optional<std::map<std::string, EncoderInfo>> encoders;
    // Option name (without "-") -> its form; unset when the help is unknown.
    std::optional<std::map<std::string, OptionInfo>> options;
    // Names of the option classes in the help ("crop" for the crop filter, "libx264"...); known
    // together with options.
    std::set<std::string> optionClasses;
    // A bit rate written with a "b" after its unit ("128kb") is read as "128k".
    std::optional<bool> acceptsUnitWithB;
    // The MP4 muxer takes an AVI fourcc such as XVID as the tag of an MPEG-4 video stream.
    std::optional<bool> acceptsAviTagInMp4;

    // An encoder name or a codec name that some encoder writes (FFmpeg takes both).
    bool HasEncoder(std::string_view name) const;
    const EncoderInfo* FindEncoder(std::string_view name) const;
    bool KnownToLackEncoder(std::string_view name) const;

    bool HasOption(std::string_view name) const;
    bool KnownToLackOption(std::string_view name) const;
    bool OptionTakesValue(std::string_view name) const;
    bool HasConstant(std::string_view option, std::string_view constant) const;
    bool KnownToLackConstant(std::string_view option, std::string_view constant) const;
    bool HasOptionClass(std::string_view name) const;
};

// Reads the table that "ffmpeg -encoders" prints. Lines that do not look like an encoder are
// skipped; an empty result means the text was not such a table.
std::map<std::string, EncoderInfo> ParseEncoderList(std::string_view text);

// Reads "ffmpeg -h full": the program's own options, then the typed options of every class with
// their named values. Class names go to classes when it is given.
std::map<std::string, OptionInfo> ParseOptionHelp(std::string_view text,
                                                  std::set<std::string>* classes = nullptr);

// Runs the probes against the executable (a path, or a bare name found on PATH), all at once,
// each given at most timeout; a probe that fails or runs out of time leaves its part unknown.
// Not cached.
FFmpegCapabilities ProbeFFmpegCapabilities(const std::string& executable,
                                           std::chrono::milliseconds timeout);

// The probes' default time limit: far above what a working FFmpeg needs, short enough that a
// hanging one costs the user little, and only once.
inline constexpr std::chrono::milliseconds kProbeTimeout{4000};

// What the executable offers, probed once per file (its resolved path, size and modification
// time) and kept for the run of the program. Safe to call from any thread; a second caller for
// the same file waits for the first one's probes. A file that does not exist gives a set with
// every part unknown, and is not kept.
//
// What was learnt is also kept on disk for later runs (see CapabilityCacheText), so that a
// start of kestrine-cli or of the program does not pay for the probes again: a set with every
// part known, of an ELF executable whose shared libraries the dynamic loader can name.
std::shared_ptr<const FFmpegCapabilities> CapabilitiesOf(const std::string& executable);

// Forgets what CapabilitiesOf keeps for the run (not what is on disk).
void ForgetCapabilities();

// The folder of the cache files: "Tallowmere/Kestrine/" in the user's cache folder
// ($XDG_CACHE_HOME, else ~/.cache); "" when there is none. One file per executable.
std::string CapabilityCacheFolder();

// The text of a cache file: caps (every part known), learnt from files, the executable's
// canonical path first and then the shared libraries it runs with, each with its identity
// (device, inode, size, modification and change times), and the loader's search variables of
// this process (LD_LIBRARY_PATH, LD_PRELOAD). "" when a name cannot be written in it.
std::string CapabilityCacheText(const FFmpegCapabilities& caps,
                                const std::vector<std::string>& files);

// What a cache file's text holds, when it was written for executable (its canonical path),
// every file it names still has the identity written, and the loader's search variables are
// the same; nothing otherwise (another build, an upgrade, a damaged or cut file).
std::optional<FFmpegCapabilities> ReadCapabilityCacheText(std::string_view text,
                                                          const std::string& executable);

// The file that runs for executable: itself when it holds a "/", otherwise the first match in
// the program's own folder, then on PATH; "" when there is none.
std::string ResolveFFmpegExecutable(const std::string& executable);

} // namespace kestrine
