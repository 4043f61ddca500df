// The lookups and the dialog's cut of any profile text: no crash, and the pieces always fit back
// together into the text they were cut from.

#include "base/Text.h"
#include "profiles/ManualProfile.h"
#include "profiles/ProfileLookup.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string params = kestrine::GetProfileParams(text);
    const std::string ext = kestrine::GetProfileExt(text);
    const auto fields = kestrine::CutManualProfileText(text);

    if (!kestrine::IsManualProfileText(text)) {
        if (fields.has_value())
            std::abort();
        return 0;
    }
    if (!fields.has_value())
        std::abort();

    const int p = kestrine::Pos("%1.", text);
    if (p == 0) {
        if (!params.empty() || !ext.empty() || !fields->extension.empty())
            std::abort();
        return 0;
    }
    // The extension always runs from the split's dot to the end, with the dot.
    if (ext != text.substr(static_cast<std::size_t>(p) + 1))
        std::abort();
    if ("." + fields->extension != ext)
        std::abort();
    // With the split after the head, the text is the head, the arguments, "%1" and the extension.
    if (p >= 14 && text.substr(0, 13) + params + "%1" + ext != text)
        std::abort();
    // The prefilled command line is the arguments less their last character.
    if (p >= 15 && fields->commandLine != params.substr(0, params.size() - 1))
        std::abort();
    return 0;
}
