#include "profiles/Catalogue.h"

#include "base/Text.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

using namespace kestrine;

namespace {

// Rows are numbered from 1 in menu order.
const Profile& Row(int n) {
    return Catalogue()[static_cast<std::size_t>(n - 1)];
}

} // namespace

TEST(Catalogue, EveryRowKeepsTheInvariants) {
    ASSERT_EQ(Catalogue().size(), 103u);
    std::set<std::string_view> captions;
    for (const Profile& p : Catalogue()) {
        SCOPED_TRACE(std::string(p.caption));
        ASSERT_GE(p.arguments.size(), 2u);
        EXPECT_EQ(p.arguments.back(), ' ');
        EXPECT_NE(p.arguments[p.arguments.size() - 2], ' ');
        EXPECT_NE(p.arguments.front(), ' ');
        ASSERT_GE(p.extension.size(), 2u);
        EXPECT_EQ(p.extension.front(), '.');
        EXPECT_EQ(LowerAscii(p.extension), p.extension);
        EXPECT_EQ(p.caption.find('&'), std::string_view::npos);
        EXPECT_EQ(p.caption.find("  "), std::string_view::npos);
        EXPECT_EQ(TrimControl(p.caption), p.caption);
        EXPECT_FALSE(LowerAscii(p.caption).starts_with("ffmpeg"));
        EXPECT_TRUE(captions.insert(p.caption).second) << "caption twice";
    }
}

TEST(Catalogue, CategoriesInMenuOrderWithTheirRowCounts) {
    const std::pair<std::string_view, int> expected[] = {
        {"General Audio Format", 6},
        {"General Video Format", 8},
        {"3GP Video", 4},
        {"Apple iPad", 4},
        {"Apple iPhone", 3},
        {"Apple iPod", 13},
        {"Apple TV", 3},
        {"AVI", 4},
        {"BlackBerry", 3},
        {"Creative Zen", 2},
        {"DV", 2},
        {"DVD", 10},
        {"Flash Video Movie (*.flv)", 3},
        {"Google Android", 2},
        {"MP4 Mobile Phones", 5},
        {"Nokia", 5},
        {"Palm", 2},
        {"Quicktime (*.mov)", 4},
        {"ShockwaveFlash (*.swf)", 3},
        {"Sony Bravia", 4},
        {"Sony PS3", 2},
        {"Sony PSP", 3},
        {"Sony Walkman", 1},
        {"VCD", 2},
        {"WMV", 5},
    };
    const auto categories = CatalogueCategories();
    ASSERT_EQ(categories.size(), std::size(expected));
    std::map<std::string_view, int> counts;
    for (const Profile& p : Catalogue())
        ++counts[p.category];
    for (std::size_t i = 0; i < categories.size(); ++i) {
        EXPECT_EQ(categories[i], expected[i].first);
        EXPECT_EQ(counts[expected[i].first], expected[i].second) << expected[i].first;
    }
}

TEST(Catalogue, ExtensionsInUse) {
    std::map<std::string_view, int> counts;
    for (const Profile& p : Catalogue())
        ++counts[p.extension];
    const std::map<std::string_view, int> expected = {
        {".mp4", 48}, {".mpg", 18}, {".avi", 7}, {".wmv", 6}, {".mov", 5},
        {".flv", 4},  {".3gp", 4},  {".swf", 3}, {".dv", 2},  {".ac3", 1},
        {".m4a", 1},  {".mp3", 1},  {".ogg", 1}, {".wav", 1}, {".wma", 1},
    };
    EXPECT_EQ(counts, expected);
}

TEST(Catalogue, RowsSharingAnArgumentString) {
    std::map<std::string_view, std::set<int>> byArguments;
    for (int n = 1; n <= 103; ++n)
        byArguments[Row(n).arguments].insert(n);
    std::set<std::set<int>> shared;
    for (const auto& [arguments, rows] : byArguments) {
        if (rows.size() > 1)
            shared.insert(rows);
    }
    const std::set<std::set<int>> expected = {
        {14, 99}, {24, 28, 47}, {25, 29, 32, 35, 48}, {30, 33}, {31, 34},
    };
    EXPECT_EQ(shared, expected);
}

TEST(Catalogue, RowsWithTwoSpacesInARow) {
    const std::map<int, std::string_view> expected = {
        {6, "-vn"},
        {14, "-vcodec wmv2"},
        {49, "-b 1500k"},
        {50, "-b 1500kb"},
        {58, "-s 352x576"},
        {73, "-aspect 4:3"},
        {91, "-deblockbeta 0"},
        {92, "-deblockbeta 0"},
        {99, "-vcodec wmv2"},
        {100, "-vcodec wmv2"},
        {101, "-vcodec wmv2"},
        {102, "-vcodec wmv2"},
        {103, "-vcodec wmv2"},
    };
    std::map<int, std::string_view> found;
    for (int n = 1; n <= 103; ++n) {
        const auto args = Row(n).arguments;
        const auto at = args.find("  ");
        if (at == std::string_view::npos)
            continue;
        EXPECT_EQ(args.find("  ", at + 1), std::string_view::npos) << "row " << n;
        found[n] = args.substr(0, at);
    }
    ASSERT_EQ(found.size(), expected.size());
    for (const auto& [n, before] : expected)
        EXPECT_TRUE(found[n].ends_with(before)) << "row " << n << ": " << found[n];
}
