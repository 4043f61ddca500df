#pragma once

// The batch of one "Convert...": the chosen input files converted one after another, the output
// path of each, and the names of those that failed. Toolkit-free: the progress window and
// kestrine-cli both drive it and show what it holds.

#include "engine/ProcessInfo.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine {

// The output path of input: beside it (sameAsInput) or in outputFolder, its extension replaced
// by ext (with its dot).
std::string OutputPathOf(std::string_view input, std::string_view ext, bool sameAsInput,
                         std::string_view outputFolder);

// The message the main window shows after a batch: the failed names, then "file conversion
// failed."; "" when nothing failed.
std::string FailedMessage(std::string_view failedList);

class TBatchQueue {
public:
    TBatchQueue() = default;
    explicit TBatchQueue(std::vector<std::string> files) : Files(std::move(files)) {}

    std::vector<std::string> Files; // full input paths, in the order given
    std::int32_t Index = 0;         // the file in work
    std::string Ext;                // output extension with its dot
    bool SameAsInput = false;
    std::string OutputFolder;
    // Input file names (without folder) of the failed files, each followed by ", ".
    std::string FailedList;

    std::int32_t Count() const { return static_cast<std::int32_t>(Files.size()); }
    // Every file has been handled.
    bool Finished() const { return Index >= Count(); }

    const std::string& CurrentInput() const { return Files.at(static_cast<std::size_t>(Index)); }
    std::string CurrentOutput() const { return OutputPath(CurrentInput()); }
    std::string OutputPath(std::string_view input) const;

    // "(2/5)" for the second of five files.
    std::string Counter() const;
    // The progress window's caption: "Kestrine with FFmpeg (2/5)".
    std::string Caption() const;

    // Adds the current file's name to FailedList.
    void RecordFailure();
    // Handles the completion notice of the current file: records it as failed unless it
    // converted, then moves on. Returns true when another file is to be started.
    bool Complete(const TProcessInfo& completion);
    // Moves to the next file; true when there is one.
    bool MoveNext();

    std::string FailedMessage() const { return kestrine::FailedMessage(FailedList); }
};

} // namespace kestrine
