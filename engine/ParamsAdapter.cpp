#include "engine/ParamsAdapter.h"

#include "base/Exception.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "engine/FFmpegCapabilities.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace kestrine {

namespace {

using Tokens = std::vector<std::string>;

// "12", "-1", "0.71", "+3": a number, which an option may take as its value even though it
// begins with a sign.
bool IsNumber(std::string_view s) {
    if (!s.empty() && (s[0] == '-' || s[0] == '+'))
        s.remove_prefix(1);
    if (s.empty())
        return false;
    bool digit = false;
    bool dot = false;
    for (char c : s) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            return false;
        }
    }
    return digit;
}

bool IsOptionToken(std::string_view s) {
    return s.size() > 1 && s[0] == '-' && !IsNumber(s);
}

// The option's name without "-" and without a stream specifier ("-b:v" -> "b").
std::string_view BaseName(std::string_view token) {
    if (!IsOptionToken(token))
        return {};
    token.remove_prefix(1);
    return token.substr(0, token.find(':'));
}

bool HasValueAt(const Tokens& tokens, std::size_t i) {
    return i < tokens.size() && !IsOptionToken(tokens[i]);
}

// The token is exactly "-" + name, with no stream specifier.
bool IsExactly(std::string_view token, std::string_view name) {
    return token.size() == name.size() + 1 && token[0] == '-' && token.substr(1) == name;
}

// Index of the last token that is exactly "-" + name and has a value after it.
std::optional<std::size_t> LastOption(const Tokens& tokens, std::string_view name) {
    for (std::size_t i = tokens.size(); i-- > 0;) {
        if (IsExactly(tokens[i], name) && i + 1 < tokens.size())
            return i;
    }
    return std::nullopt;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

// --- Options that used to be switches and now take a value -----------------------------------

struct ValuedSwitch {
    std::string_view option;
    std::string_view value; // what the switch meant
};
constexpr std::array<ValuedSwitch, 1> kValuedSwitches{{{"trellis", "1"}}};

void GiveSwitchesTheirValue(Tokens& tokens, const AdaptContext& context) {
    for (const ValuedSwitch& entry : kValuedSwitches) {
        if (!context.caps.OptionTakesValue(entry.option))
            continue;
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            if (IsExactly(tokens[i], entry.option) && !HasValueAt(tokens, i + 1))
                tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(i + 1),
                              std::string(entry.value));
        }
    }
}

// --- Switches that became flags of a flags option --------------------------------------------

struct SwitchAsFlag {
    std::string_view option;      // the old switch
    std::string_view flagsOption; // the option whose flag it became
    std::string_view flag;
};
// Tried in order; the first whose flag the build has wins for its switch.
constexpr auto kSwitchesAsFlags = std::to_array<SwitchAsFlag>({
    {"aic", "flags", "aic"},
    {"mv0", "mpv_flags", "mv0"},
    {"mv0", "flags", "mv0"},
    {"4mv", "flags", "mv4"},
    {"qpel", "flags", "qpel"},
});

// Adds +flag to the last flagsOption of the arguments (FFmpeg keeps only the last one), or puts
// "-flagsOption +flag" at position when there is none. Returns the count of tokens inserted.
std::size_t AddFlag(Tokens& tokens, std::string_view flagsOption, std::string_view flag,
                    std::size_t position) {
    if (std::optional<std::size_t> at = LastOption(tokens, flagsOption)) {
        tokens[*at + 1] += "+" + std::string(flag);
        return 0;
    }
    auto where = tokens.begin() + static_cast<std::ptrdiff_t>(position);
    where = tokens.insert(where, "+" + std::string(flag));
    tokens.insert(where, "-" + std::string(flagsOption));
    return 2;
}

void TurnSwitchesIntoFlags(Tokens& tokens, const AdaptContext& context) {
    std::string_view done;
    for (const SwitchAsFlag& entry : kSwitchesAsFlags) {
        if (entry.option == done || !context.caps.KnownToLackOption(entry.option) ||
            !context.caps.HasConstant(entry.flagsOption, entry.flag))
            continue;
        done = entry.option;
        for (std::size_t i = 0; i < tokens.size();) {
            if (IsExactly(tokens[i], entry.option)) {
                tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i));
                i += AddFlag(tokens, entry.flagsOption, entry.flag, i);
            } else {
                ++i;
            }
        }
    }
}

// --- Flags that were renamed -----------------------------------------------------------------

struct RenamedFlag {
    std::string_view flagsOption;
    std::string_view oldName;
    std::string_view newName;
};
constexpr std::array<RenamedFlag, 1> kRenamedFlags{{{"flags", "4mv", "mv4"}}};

// Rewrites a flags value such as "+4mv+aic" with oldName renamed, keeping everything else.
std::string RenameFlag(std::string_view value, std::string_view oldName, std::string_view newName) {
    std::string result;
    std::size_t i = 0;
    while (i < value.size()) {
        std::size_t start = i;
        if (value[i] == '+' || value[i] == '-')
            ++i;
        std::size_t end = value.find_first_of("+-", i);
        if (end == std::string_view::npos)
            end = value.size();
        result += value.substr(start, i - start);
        std::string_view name = value.substr(i, end - i);
        result += name == oldName ? newName : name;
        i = end;
    }
    return result;
}

void RenameFlags(Tokens& tokens, const AdaptContext& context) {
    for (const RenamedFlag& entry : kRenamedFlags) {
        if (!context.caps.KnownToLackConstant(entry.flagsOption, entry.oldName) ||
            !context.caps.HasConstant(entry.flagsOption, entry.newName))
            continue;
        for (std::size_t i = 0; i + 1 < tokens.size(); ++i)
            if (BaseName(tokens[i]) == entry.flagsOption)
                tokens[i + 1] = RenameFlag(tokens[i + 1], entry.oldName, entry.newName);
    }
}

// --- The crop options, now the crop filter ---------------------------------------------------

constexpr std::array<std::string_view, 4> kCropOptions{"croptop", "cropbottom", "cropleft",
                                                       "cropright"};

void CropWithFilter(Tokens& tokens, const AdaptContext& context) {
    if (!context.caps.HasOptionClass("crop"))
        return;
    std::array<std::string, 4> amount; // top, bottom, left, right
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i + 1 < tokens.size();) {
        auto which = std::find(kCropOptions.begin(), kCropOptions.end(), BaseName(tokens[i]));
        if (which == kCropOptions.end() || !IsExactly(tokens[i], *which) ||
            !context.caps.KnownToLackOption(*which)) {
            ++i;
            continue;
        }
        amount[static_cast<std::size_t>(which - kCropOptions.begin())] = tokens[i + 1];
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                     tokens.begin() + static_cast<std::ptrdiff_t>(i + 2));
        if (!first)
            first = i;
    }
    if (!first)
        return;
    auto less = [](std::string base, const std::string& a, const std::string& b) {
        for (const std::string& cut : {a, b})
            if (!cut.empty() && cut != "0")
                base += "-" + cut;
        return base;
    };
    const std::string& top = amount[0];
    const std::string& left = amount[2];
    std::string crop = "crop=" + less("iw", left, amount[3]) + ":" + less("ih", top, amount[1]) +
                       ":" + (left.empty() ? "0" : left) + ":" + (top.empty() ? "0" : top);
    // The old options cropped the picture before any other filter and before the scaling.
    if (std::optional<std::size_t> vf = LastOption(tokens, "vf")) {
        tokens[*vf + 1] = crop + "," + tokens[*vf + 1];
        return;
    }
    tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(*first), {"-vf", crop});
}

// --- The deblocking pair of libx264 ----------------------------------------------------------

void JoinDeblockPair(Tokens& tokens, const AdaptContext& context) {
    if (!context.caps.HasOption("deblock"))
        return;
    std::string alpha = "0";
    std::string beta = "0";
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i + 1 < tokens.size();) {
        bool isAlpha = tokens[i] == "-deblockalpha";
        bool isBeta = tokens[i] == "-deblockbeta";
        if ((!isAlpha && !isBeta) || !context.caps.KnownToLackOption(BaseName(tokens[i]))) {
            ++i;
            continue;
        }
        (isAlpha ? alpha : beta) = tokens[i + 1];
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                     tokens.begin() + static_cast<std::ptrdiff_t>(i + 2));
        if (!first)
            first = i;
    }
    if (first)
        tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(*first),
                      {"-deblock", alpha + ":" + beta});
}

// --- Bit rates written "128kb" ---------------------------------------------------------------

constexpr std::array<std::string_view, 6> kBitRateOptions{"b",       "ab",      "maxrate",
                                                          "minrate", "bufsize", "bt"};

// "128kb" -> "128k"; nullopt for anything else.
std::optional<std::string> WithoutUnitB(std::string_view value) {
    if (value.size() < 3 || value.back() != 'b')
        return std::nullopt;
    char prefix = value[value.size() - 2];
    if (std::string_view("kKMG").find(prefix) == std::string_view::npos)
        return std::nullopt;
    std::string_view number = value.substr(0, value.size() - 2);
    if (!IsNumber(number) || number[0] == '-' || number[0] == '+')
        return std::nullopt;
    return std::string(value.substr(0, value.size() - 1));
}

void DropUnitB(Tokens& tokens, const AdaptContext& context) {
    if (context.caps.acceptsUnitWithB != false)
        return;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        std::string_view name = BaseName(tokens[i]);
        if (std::find(kBitRateOptions.begin(), kBitRateOptions.end(), name) ==
            kBitRateOptions.end())
            continue;
        if (std::optional<std::string> plain = WithoutUnitB(tokens[i + 1]))
            tokens[i + 1] = *plain;
    }
}

// --- AVI fourccs inside MP4 ------------------------------------------------------------------

constexpr std::array<std::string_view, 4> kAviMpeg4Tags{"XVID", "DIVX", "DX50", "FMP4"};
constexpr std::array<std::string_view, 7> kMp4Family{"mp4", "ipod", "psp", "3gp",
                                                     "3g2", "ismv", "f4v"};

void DropAviTagInMp4(Tokens& tokens, const AdaptContext& context) {
    if (context.caps.acceptsAviTagInMp4 != false ||
        std::find(kMp4Family.begin(), kMp4Family.end(), context.container) == kMp4Family.end())
        return;
    for (std::size_t i = 0; i + 1 < tokens.size();) {
        bool isTag = tokens[i] == "-vtag" || tokens[i] == "-tag:v";
        bool aviTag = isTag && std::any_of(kAviMpeg4Tags.begin(), kAviMpeg4Tags.end(),
                                           [&](std::string_view tag) {
                                               return EqualsIgnoringCase(tag, tokens[i + 1]);
                                           });
        if (aviTag)
            tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                         tokens.begin() + static_cast<std::ptrdiff_t>(i + 2));
        else
            ++i;
    }
}

// --- Encoders --------------------------------------------------------------------------------

// The format that an encoder of the past wrote, for names a build may lack.
struct EncoderFormat {
    std::string_view encoder;
    std::string_view codec;
};
constexpr auto kEncoderFormats = std::to_array<EncoderFormat>({
    {"libfaac", "aac"},
    {"libvo_aacenc", "aac"},
    {"libaacplus", "aac"},
    {"libfdk_aac", "aac"},
    {"aac", "aac"},
    {"libmp3lame", "mp3"},
    {"libshine", "mp3"},
    {"libxvid", "mpeg4"},
    {"mpeg4", "mpeg4"},
    {"libx264", "h264"},
    {"libopenh264", "h264"},
    {"libvorbis", "vorbis"},
    {"vorbis", "vorbis"},
    {"libtheora", "theora"},
    {"libtwolame", "mp2"},
    {"mp2", "mp2"},
    {"ac3", "ac3"},
    {"ac3_fixed", "ac3"},
    {"libopencore_amrnb", "amr_nb"},
});

// The encoders that can stand in for each other, best first. Only encoders that run on any
// machine: the hardware ones of a format need a device.
struct FormatEncoders {
    std::string_view codec;
    std::array<std::string_view, 3> encoders;
};
constexpr auto kFormatEncoders = std::to_array<FormatEncoders>({
    {"aac", {"libfdk_aac", "aac", ""}},
    {"mp3", {"libmp3lame", "libshine", ""}},
    {"mpeg4", {"libxvid", "mpeg4", ""}},
    {"h264", {"libx264", "libopenh264", ""}},
    {"vorbis", {"libvorbis", "vorbis", ""}},
    {"theora", {"libtheora", "", ""}},
    {"mp2", {"mp2", "libtwolame", "mp2fixed"}},
    {"ac3", {"ac3", "ac3_fixed", ""}},
    {"amr_nb", {"libopencore_amrnb", "", ""}},
});

std::string_view FormatOf(std::string_view encoder, const FFmpegCapabilities& caps) {
    if (const EncoderInfo* info = caps.FindEncoder(encoder))
        return info->codec;
    for (const EncoderFormat& entry : kEncoderFormats)
        if (entry.encoder == encoder)
            return entry.codec;
    return {};
}

const FormatEncoders* StandInsFor(std::string_view codec) {
    for (const FormatEncoders& entry : kFormatEncoders)
        if (entry.codec == codec)
            return &entry;
    return nullptr;
}

bool IsEncoderOption(std::string_view token) {
    std::string_view name = BaseName(token);
    return name == "vcodec" || name == "acodec" || name == "scodec" || name == "c" ||
           name == "codec";
}

// The arguments already let experimental encoders run ("-strict experimental", "-strict -2").
bool ExperimentalEnabled(const Tokens& tokens) {
    bool enabled = false;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (BaseName(tokens[i]) != "strict")
            continue;
        const std::string& value = tokens[i + 1];
        double level = 0;
        auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), level);
        enabled = value == "experimental" ||
                  (error == std::errc() && end == value.data() + value.size() && level <= -2);
    }
    return enabled;
}

// The best stand-in for encoder in the build: a stable one if there is one, else an
// experimental one; "" when there is none.
std::string_view PickStandIn(std::string_view encoder, const FFmpegCapabilities& caps,
                             bool stableOnly) {
    const FormatEncoders* standIns = StandInsFor(FormatOf(encoder, caps));
    if (!standIns)
        return {};
    for (bool wantStable : {true, false}) {
        if (!wantStable && stableOnly)
            break;
        for (std::string_view candidate : standIns->encoders) {
            const EncoderInfo* info = candidate.empty() ? nullptr : caps.FindEncoder(candidate);
            if (candidate != encoder && info && (!wantStable || !info->experimental))
                return candidate;
        }
    }
    return {};
}

void ReplaceMissingEncoders(Tokens& tokens, const AdaptContext& context) {
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (!IsEncoderOption(tokens[i]) || tokens[i + 1] == "copy" ||
            IsOptionToken(tokens[i + 1]) || !context.caps.KnownToLackEncoder(tokens[i + 1]))
            continue;
        std::string_view standIn = PickStandIn(tokens[i + 1], context.caps, false);
        if (standIn.empty()) {
            std::string_view codec = FormatOf(tokens[i + 1], context.caps);
            std::string message = "This FFmpeg has no \"" + tokens[i + 1] + "\" encoder";
            if (!codec.empty())
                message += " and no other " + std::string(codec) + " encoder to use instead";
            throw Exception(message + ".");
        }
        tokens[i + 1] = std::string(standIn);
    }
}

void AvoidExperimentalEncoders(Tokens& tokens, const AdaptContext& context) {
    if (ExperimentalEnabled(tokens))
        return;
    bool needExperimental = false;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (!IsEncoderOption(tokens[i]))
            continue;
        const EncoderInfo* info = context.caps.FindEncoder(tokens[i + 1]);
        if (!info || !info->experimental)
            continue;
        std::string_view standIn = PickStandIn(tokens[i + 1], context.caps, true);
        if (standIn.empty())
            needExperimental = true;
        else
            tokens[i + 1] = std::string(standIn);
    }
    if (needExperimental)
        tokens.insert(tokens.end(), {"-strict", "experimental"});
}

// The muxer the output gets when the arguments do not name one: FFmpeg goes by the extension.
// Only the MP4 family matters to the rules.
std::string ContainerOf(const Tokens& tokens, const std::string& outputFile) {
    if (std::optional<std::size_t> f = LastOption(tokens, "f"))
        return tokens[*f + 1];
    struct ByExtension {
        std::string_view ext;
        std::string_view muxer;
    };
    constexpr std::array<ByExtension, 9> kByExtension{{{".mp4", "mp4"},
                                                       {".m4v", "ipod"},
                                                       {".m4a", "ipod"},
                                                       {".m4b", "ipod"},
                                                       {".3gp", "3gp"},
                                                       {".3g2", "3g2"},
                                                       {".psp", "psp"},
                                                       {".ismv", "ismv"},
                                                       {".f4v", "f4v"}}};
    std::string ext = LowerAscii(ExtractFileExt(outputFile));
    for (const ByExtension& entry : kByExtension)
        if (entry.ext == ext)
            return std::string(entry.muxer);
    return {};
}

// clang-format off
constexpr auto kRules = std::to_array<CompatRule>({
    {"-trellis (a switch)", "-trellis 1",
     "-trellis takes a value",
     "-trellis was a switch in early builds; now it eats the next option (\"-trellis -aic\")",
     GiveSwitchesTheirValue},
    {"-aic, -mv0, -4mv, -qpel (switches)", "-flags +aic, -mpv_flags +mv0, -flags +mv4, -flags +qpel",
     "no such option, and the flags option has the flag",
     "the switches became flags; added to the last -flags or -mpv_flags, which FFmpeg keeps",
     TurnSwitchesIntoFlags},
    {"-flags +4mv", "-flags +mv4",
     "-flags has no 4mv but has mv4",
     "the flag was renamed",
     RenameFlags},
    {"-croptop T -cropbottom B (-cropleft, -cropright)", "-vf crop=iw-L-R:ih-T-B:L:T",
     "no such options, and the crop filter exists",
     "the crop options were removed in favour of the crop filter, which also runs before the scaling",
     CropWithFilter},
    {"-deblockalpha A -deblockbeta B", "-deblock A:B",
     "no such options, and -deblock exists",
     "the generic pair was removed; libx264 takes both in its own -deblock",
     JoinDeblockPair},
    {"128kb (bit rates)", "128k",
     "the build refuses \"1kb\" as a bit rate",
     "early builds ignored what followed the unit; the whole value must parse now",
     DropUnitB},
    {"-vtag XVID (DIVX, DX50, FMP4) with MP4 output", "(dropped)",
     "the MP4 muxer refuses an AVI fourcc for MPEG-4 video",
     "MP4 always writes its own tag (mp4v); the request was ignored before and is refused now",
     DropAviTagInMp4},
    {"-acodec libfaac (any missing encoder)", "-acodec aac (the best encoder of the same format)",
     "no encoder of that name",
     "libfaac and other encoders left FFmpeg; without a stand-in the file fails naming the encoder",
     ReplaceMissingEncoders},
    {"-acodec vorbis (an experimental encoder)", "-acodec libvorbis, else -strict experimental added",
     "the encoder is experimental and the arguments do not allow that",
     "the native Vorbis encoder is experimental and refused unless allowed",
     AvoidExperimentalEncoders},
});
// clang-format on

} // namespace

std::span<const CompatRule> CompatRules() {
    return kRules;
}

std::vector<std::string> AdaptParams(const std::vector<std::string>& paramTokens,
                                     const FFmpegCapabilities& caps,
                                     const std::string& outputFile) {
    Tokens tokens = paramTokens;
    AdaptContext context{caps, ContainerOf(tokens, outputFile)};
    for (const CompatRule& rule : kRules)
        rule.apply(tokens, context);
    return tokens;
}

std::vector<std::string> AdaptParamsFor(const std::vector<std::string>& paramTokens,
                                        const std::string& ffmpegExecutable,
                                        const std::string& outputFile) {
    return AdaptParams(paramTokens, *CapabilitiesOf(ffmpegExecutable), outputFile);
}

std::function<std::vector<std::string>(const std::vector<std::string>&, const std::string&)>
MakeParamsAdapter(std::function<std::string()> outputFile) {
    return [outputFile = std::move(outputFile)](const std::vector<std::string>& paramTokens,
                                                const std::string& ffmpegExecutable) {
        return AdaptParamsFor(paramTokens, ffmpegExecutable, outputFile ? outputFile() : "");
    };
}

} // namespace kestrine
