#include "engine/BatchQueue.h"

#include <gtest/gtest.h>

using kestrine::TBatchQueue;
using kestrine::TProcessInfo;

namespace {

TProcessInfo Completion(bool converted, std::int32_t status = 0) {
    TProcessInfo info;
    info.Percent = kestrine::kCompletionPercent;
    info.Status = status;
    if (converted)
        info.Elapsed = "some";
    return info;
}

} // namespace

TEST(OutputPathOf, BesideTheInputOrInTheFolder) {
    const struct {
        const char* input;
        const char* ext;
        bool same;
        const char* folder;
        const char* output;
    } cases[] = {
        {"/clips/holiday.avi", ".mp4", false, "/out", "/out/holiday.mp4"},
        {"/clips/holiday.avi", ".mp4", false, "/out/", "/out/holiday.mp4"},
        {"/clips/holiday.avi", ".mp4", true, "/out", "/clips/holiday.mp4"},
        // The input may already have the profile's extension: then it is its own output.
        {"/clips/song.mp3", ".mp3", true, "", "/clips/song.mp3"},
        {"/clips/archive.tar.gz", ".ogg", false, "/o", "/o/archive.tar.ogg"},
        {"/clips/noext", ".ogg", false, "/o", "/o/noext.ogg"},
        {"/cl.ips/noext", ".ogg", true, "", "/cl.ips/noext.ogg"},
        {"/clips/.hidden", ".ogg", false, "/o", "/o/.ogg"},
        {"relative name.avi", ".mp3", false, "out dir", "out dir/relative name.mp3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kestrine::OutputPathOf(c.input, c.ext, c.same, c.folder), c.output) << c.input;
}

TEST(BatchQueue, FiveFilesWithTheSecondAndFourthFailing) {
    TBatchQueue queue({"/a/one.avi", "/a/two.avi", "/a/three.avi", "/b/four.avi", "/b/five.avi"});
    queue.Ext = ".mp4";
    queue.OutputFolder = "/out";

    std::vector<std::string> captions;
    std::vector<std::string> outputs;
    const bool converted[] = {true, false, true, false, true};
    for (bool ok : converted) {
        ASSERT_FALSE(queue.Finished());
        captions.push_back(queue.Caption());
        outputs.push_back(queue.CurrentOutput());
        const bool more = queue.Complete(Completion(ok));
        EXPECT_EQ(more, !queue.Finished());
    }
    EXPECT_TRUE(queue.Finished());
    EXPECT_EQ(captions[0], "Kestrine with FFmpeg (1/5)");
    EXPECT_EQ(captions[1], "Kestrine with FFmpeg (2/5)");
    EXPECT_EQ(outputs[3], "/out/four.mp4");
    // Input names without folder, each followed by ", ", the last one too.
    EXPECT_EQ(queue.FailedList, "two.avi, four.avi, ");
    EXPECT_EQ(queue.FailedMessage(), "two.avi, four.avi, file conversion failed.");
}

TEST(BatchQueue, OneFileAndNothingFailed) {
    TBatchQueue queue({"/a/holiday.avi"});
    queue.Ext = ".mp3";
    queue.SameAsInput = true;
    EXPECT_EQ(queue.Caption(), "Kestrine with FFmpeg (1/1)");
    EXPECT_EQ(queue.CurrentOutput(), "/a/holiday.mp3");
    EXPECT_FALSE(queue.Complete(Completion(true)));
    EXPECT_TRUE(queue.Finished());
    EXPECT_EQ(queue.FailedList, "");
    EXPECT_EQ(queue.FailedMessage(), "");
    EXPECT_FALSE(queue.MoveNext()); // stays finished
    EXPECT_EQ(queue.Index, 1);
}

TEST(BatchQueue, InUseAndDeclinedCountAsFailed) {
    TBatchQueue queue({"/a/x.avi", "/a/y.avi"});
    EXPECT_TRUE(queue.Complete(Completion(false, kestrine::kStatusInUse)));
    EXPECT_FALSE(queue.Complete(Completion(false)));
    EXPECT_EQ(queue.FailedList, "x.avi, y.avi, ");
}
