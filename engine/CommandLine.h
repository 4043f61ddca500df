#pragma once

// The FFmpeg command of one file. The same pieces give the command-line text (what the command
// reads like) and the argument list that is launched; no shell is ever involved. The input and
// output paths are single arguments as they are: never split, never unquoted.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine {

struct TCommandPieces {
    bool UseDefaultFFmpeg = false; // plain "ffmpeg", found by the program search
    std::string FFmpegPath;        // the chosen program otherwise
    bool Overwrite = false;        // the existing output may be written over ("-y")
    std::string InputFile;
    std::string Params; // the profile's arguments, as they are
    std::string OutputFile;
};

// The pieces of the text, in order; joined with nothing between them.
std::string ProgramPiece(const TCommandPieces& pieces);   // "ffmpeg " or "\"PATH\" "
std::string OverwritePiece(const TCommandPieces& pieces); // "-y " or ""
std::string InputPiece(const TCommandPieces& pieces);     // "-i \"INPUT\" "
std::string ParamsPiece(const TCommandPieces& pieces);    // Params unchanged
std::string OutputPiece(const TCommandPieces& pieces);    // "\"OUTPUT\""
std::string BuildCommandLineText(const TCommandPieces& pieces);

// Splits an argument text the way a Windows program splits its command line: blanks (space,
// tab) separate arguments; a double quote starts or ends a quoted part in which blanks are
// kept; "" inside a quoted part is a literal quote; 2n backslashes before a quote give n
// backslashes, 2n+1 give n and a literal quote; other backslashes are kept.
std::vector<std::string> SplitParams(std::string_view params);

// How a path is handed to FFmpeg so that it is read as a file name: as it is, unless FFmpeg
// would take it for an option (a leading "-") or a protocol ("name:..."), then with "file:" before.
std::string FileArgument(std::string_view path);

// The argument list: the program as named in the first piece ("ffmpeg" or FFmpegPath), "-y"
// when overwriting, "-i", the input, the parameter tokens, the output.
std::vector<std::string> BuildArgv(const TCommandPieces& pieces,
                                   const std::vector<std::string>& paramTokens);

// Adapts the parameter tokens to the FFmpeg at hand, just before the argument list is built;
// ffmpegExecutable is the program that will run. It may raise kestrine::Exception to refuse
// the file; the start then fails as a failed process start does.
using ParamsAdapter = std::function<std::vector<std::string>(
    const std::vector<std::string>& paramTokens, const std::string& ffmpegExecutable)>;

// The tokens through adapter; an empty adapter leaves them as they are.
std::vector<std::string> ApplyParamsAdapter(const ParamsAdapter& adapter,
                                            const std::vector<std::string>& paramTokens,
                                            const std::string& ffmpegExecutable);

// The program to run: with useDefault, plain "ffmpeg" searched in this program's own folder
// and then PATH ("" when not found); otherwise ffmpegPath as it is.
std::string ResolveFFmpeg(bool useDefault, const std::string& ffmpegPath);

} // namespace kestrine
