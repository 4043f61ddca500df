#include "engine/BatchQueue.h"

#include "base/Paths.h"
#include "base/Strings.h"

namespace kestrine {

std::string OutputPathOf(std::string_view input, std::string_view ext, bool sameAsInput,
                         std::string_view outputFolder) {
    if (sameAsInput)
        return ChangeFileExt(input, ext);
    return IncludeTrailingPathDelimiter(outputFolder) + ChangeFileExt(ExtractFileName(input), ext);
}

std::string FailedMessage(std::string_view failedList) {
    if (failedList.empty())
        return {};
    return std::string(failedList) + std::string(strings::kConversionFailed);
}

std::string TBatchQueue::OutputPath(std::string_view input) const {
    return OutputPathOf(input, Ext, SameAsInput, OutputFolder);
}

std::string TBatchQueue::Counter() const {
    return "(" + std::to_string(Index + 1) + "/" + std::to_string(Count()) + ")";
}

std::string TBatchQueue::Caption() const {
    return std::string(strings::kAppTitle) + " " + Counter();
}

void TBatchQueue::RecordFailure() {
    FailedList += ExtractFileName(CurrentInput()) + ", ";
}

bool TBatchQueue::Complete(const TProcessInfo& completion) {
    if (!completion.Converted())
        RecordFailure();
    return MoveNext();
}

bool TBatchQueue::MoveNext() {
    if (Index < Count())
        ++Index;
    return !Finished();
}

} // namespace kestrine
