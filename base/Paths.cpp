#include "base/Paths.h"

namespace kestrine {

namespace {

// Index just past the last "/", 0 when there is none.
std::size_t NameStart(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// Index of the extension's ".", npos when the file name has none.
std::size_t ExtensionDot(std::string_view path) {
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < NameStart(path))
        return std::string_view::npos;
    return dot;
}

} // namespace

std::string ExtractFileName(std::string_view path) {
    return std::string(path.substr(NameStart(path)));
}

std::string ExtractFilePath(std::string_view path) {
    return std::string(path.substr(0, NameStart(path)));
}

std::string ExtractFileExt(std::string_view path) {
    const auto dot = ExtensionDot(path);
    return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const auto dot = ExtensionDot(path);
    std::string out(dot == std::string_view::npos ? path : path.substr(0, dot));
    out += ext;
    return out;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    if (out.empty() || out.back() != '/')
        out += '/';
    return out;
}

} // namespace kestrine
