#pragma once

// Adapting a profile's FFmpeg arguments to the build that will run them. The catalogue was
// written for the FFmpeg of about 2010; later builds dropped or renamed some of what it asks
// for. Each rule below rewrites one such form, and only when the build at hand is known to lack
// the old form and to have the new one, so a build that takes the literal arguments gets them
// untouched, token for token.

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine {

struct FFmpegCapabilities;

// What a rule sees besides the tokens.
struct AdaptContext {
    const FFmpegCapabilities& caps;
    // The muxer the output will get: the last "-f" of the arguments, else the one FFmpeg picks
    // for the output file's extension when it is of the MP4 family; "" when unknown.
    std::string container;
};

struct CompatRule {
    std::string_view oldForm;
    std::string_view newForm;
    std::string_view condition; // what the build at hand lacks (and has) for the rule to apply
    std::string_view why;
    // Rewrites tokens in place; may throw kestrine::Exception when no new form exists.
    void (*apply)(std::vector<std::string>& tokens, const AdaptContext& context);
};

// The rules in the order they are applied.
std::span<const CompatRule> CompatRules();

// The arguments of one conversion adapted to caps. outputFile, when given, tells the container
// for the rules that depend on it. Throws kestrine::Exception when the arguments name an encoder
// that the build lacks and no encoder of the same format can stand in for it.
std::vector<std::string> AdaptParams(const std::vector<std::string>& paramTokens,
                                     const FFmpegCapabilities& caps,
                                     const std::string& outputFile = {});

// The same for an executable, whose capabilities are probed once and kept (CapabilitiesOf).
// Fits the engine's hook for the arguments, with the output file taken from the conversion.
std::vector<std::string> AdaptParamsFor(const std::vector<std::string>& paramTokens,
                                        const std::string& ffmpegExecutable,
                                        const std::string& outputFile = {});

// A hook of the engine's shape (tokens, executable) -> tokens: AdaptParamsFor with the output
// file that outputFile gives at each call, e.g. [process] { return process->OutputFile; }.
std::function<std::vector<std::string>(const std::vector<std::string>&, const std::string&)>
MakeParamsAdapter(std::function<std::string()> outputFile);

} // namespace kestrine
