#pragma once

// The program's string table: every text the user reads in a message comes from here.
// The numbers are the table's ids.

#include <string_view>

namespace kestrine::strings {

inline constexpr std::string_view kAppTitle = "Kestrine with FFmpeg"; // 65219
inline constexpr std::string_view kSelectOutputDir =
    "Please select the directory to output";                                       // 65220
inline constexpr std::string_view kOverwriteQuestion = " has existed,overite it?"; // 65221
inline constexpr std::string_view kOutputDirMissing =
    " the output directory does not exist.";                                               // 65222
inline constexpr std::string_view kFFmpegMissing = "This FFmpeg.exe file does not exist."; // 65223
inline constexpr std::string_view kCreateDirQuestion = "creates a new directory?";         // 65224
inline constexpr std::string_view kCreateProcessError =
    "Error while creating convert process!";                                            // 65225
inline constexpr std::string_view kFileInUse = " may be used, convert process failed!"; // 65226
inline constexpr std::string_view kChooseFormat = "Please choose the output format!";   // 65227
inline constexpr std::string_view kCheckParameters =
    "Please check the insertion of parameters!";                                       // 65228
inline constexpr std::string_view kConversionFailed = "file conversion failed.";       // 65229
inline constexpr std::string_view kHomePageUrl = "https://kestrine.example/";          // 65230
inline constexpr std::string_view kDonatePageUrl = "https://kestrine.example/donate/"; // 65231

// The maker's home page, opened from the title label.
inline constexpr std::string_view kMakerPageUrl = "https://tallowmere.example/";

} // namespace kestrine::strings
