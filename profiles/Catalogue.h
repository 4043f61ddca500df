#pragma once

// The built-in output profiles: one constant table in menu order.

#include <span>
#include <string_view>
#include <vector>

namespace kestrine {

struct Profile {
    std::string_view category;  // caption of the top-level menu item that offers the profile
    std::string_view caption;   // the profile text; unique in the catalogue
    std::string_view arguments; // FFmpeg options between input and output; ends with one space
    std::string_view extension; // output extension with its leading dot, lower case
};

// All 103 rows in menu order; the lookups scan them in the same order.
std::span<const Profile> Catalogue();

// The 25 category captions in menu order.
std::vector<std::string_view> CatalogueCategories();

} // namespace kestrine
