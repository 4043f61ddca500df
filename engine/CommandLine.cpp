#include "engine/CommandLine.h"

#include "base/Paths.h"
#include "platform/Process.h"

namespace kestrine {

std::string ProgramPiece(const TCommandPieces& pieces) {
    return pieces.UseDefaultFFmpeg ? std::string("ffmpeg ") : "\"" + pieces.FFmpegPath + "\" ";
}

std::string OverwritePiece(const TCommandPieces& pieces) {
    return pieces.Overwrite ? "-y " : "";
}

std::string InputPiece(const TCommandPieces& pieces) {
    return "-i \"" + pieces.InputFile + "\" ";
}

std::string ParamsPiece(const TCommandPieces& pieces) {
    return pieces.Params;
}

std::string OutputPiece(const TCommandPieces& pieces) {
    return "\"" + pieces.OutputFile + "\"";
}

std::string BuildCommandLineText(const TCommandPieces& pieces) {
    return ProgramPiece(pieces) + OverwritePiece(pieces) + InputPiece(pieces) +
           ParamsPiece(pieces) + OutputPiece(pieces);
}

std::vector<std::string> SplitParams(std::string_view params) {
    std::vector<std::string> tokens;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t i = 0;
    const std::size_t n = params.size();
    while (true) {
        while (i < n && isBlank(params[i]))
            ++i;
        if (i >= n)
            break;

        std::string token;
        bool quoted = false;
        while (i < n) {
            std::size_t backslashes = 0;
            while (i < n && params[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && params[i] == '"') {
                token.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    token += '"';
                    ++i;
                } else if (quoted && i + 1 < n && params[i + 1] == '"') {
                    token += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
                continue;
            }
            token.append(backslashes, '\\');
            if (i >= n || (!quoted && isBlank(params[i])))
                break;
            token += params[i++];
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::string FileArgument(std::string_view path) {
    // FFmpeg reads "scheme:" at the start of a name as a protocol (scheme characters are
    // letters, digits, "+", "-" and ".").
    std::size_t scheme = 0;
    while (scheme < path.size()) {
        const char c = path[scheme];
        const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!schemeChar)
            break;
        ++scheme;
    }
    const bool protocolLike = scheme < path.size() && path[scheme] == ':';
    if ((!path.empty() && path.front() == '-') || protocolLike)
        return "file:" + std::string(path);
    return std::string(path);
}

std::vector<std::string> BuildArgv(const TCommandPieces& pieces,
                                   const std::vector<std::string>& paramTokens) {
    std::vector<std::string> argv;
    argv.reserve(paramTokens.size() + 5);
    argv.push_back(pieces.UseDefaultFFmpeg ? std::string("ffmpeg") : pieces.FFmpegPath);
    if (pieces.Overwrite)
        argv.emplace_back("-y");
    argv.emplace_back("-i");
    argv.push_back(FileArgument(pieces.InputFile));
    argv.insert(argv.end(), paramTokens.begin(), paramTokens.end());
    argv.push_back(FileArgument(pieces.OutputFile));
    return argv;
}

std::vector<std::string> ApplyParamsAdapter(const ParamsAdapter& adapter,
                                            const std::vector<std::string>& paramTokens,
                                            const std::string& ffmpegExecutable) {
    if (!adapter)
        return paramTokens;
    return adapter(paramTokens, ffmpegExecutable);
}

std::string ResolveFFmpeg(bool useDefault, const std::string& ffmpegPath) {
    if (!useDefault)
        return ffmpegPath;
    return platform::FindProgram("ffmpeg", platform::OwnExecutableFolder(),
                                 platform::ProgramSearchPath());
}

} // namespace kestrine
