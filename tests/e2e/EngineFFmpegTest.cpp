// The engine with the system FFmpeg and the MP3 profile on a clip the test makes.

#include "E2eSupport.h"

#include "engine/ConvertProcess.h"
#include "profiles/ProfileLookup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace {

class Receiver : public QObject {
public:
    std::vector<kestrine::TProcessInfo> notices;
    bool event(QEvent* e) override {
        if (e->type() != kestrine::WM_CONVERTINFO)
            return QObject::event(e);
        notices.push_back(*static_cast<kestrine::TConvertInfoEvent*>(e)->TakeInfo());
        return true;
    }
    bool Done() const { return !notices.empty() && notices.back().IsCompletion(); }
};

// Until the arguments are adapted to the FFmpeg at hand, today's FFmpeg refuses the catalogue's
// bit-rate unit "kb"; this stand-in writes "k" instead so that the profile runs.
std::vector<std::string> ModernUnits(const std::vector<std::string>& tokens, const std::string&) {
    std::vector<std::string> out = tokens;
    for (std::string& token : out) {
        if (token.size() > 2 && token.ends_with("kb") &&
            std::isdigit(static_cast<unsigned char>(token[0])))
            token.pop_back();
    }
    return out;
}

} // namespace

TEST(EngineWithFFmpeg, Mp3ProfileConvertsWithRisingProgress) {
    const auto dir = e2e::ScratchDir();
    e2e::MakeClip(dir / "clip.avi", "3.5");

    Receiver receiver;
    kestrine::TConvertProcess engine;
    engine.NotifyWindow = &receiver;
    engine.InputFile = (dir / "clip.avi").string();
    engine.OutputFile = (dir / "clip.mp3").string();
    engine.Params = kestrine::GetProfileParams("MP3 - MPEG Layer-3 Audio");
    engine.UseDefaultFFmpeg = true;
    engine.AdaptParams = ModernUnits;
    engine.Running = true;
    engine.Start();

    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(20);
    while (!receiver.Done() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_TRUE(receiver.Done());

    std::vector<std::int32_t> percents;
    for (const auto& n : receiver.notices)
        if (!n.IsCompletion())
            percents.push_back(n.Percent);
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(receiver.notices.back().Elapsed, "some");
    EXPECT_EQ(receiver.notices.back().ExitCode, 0);
    engine.Stop(0);

    const auto probe = e2e::ProbeFile(dir / "clip.mp3");
    EXPECT_EQ(probe.streams, "mp3,audio");
    EXPECT_NEAR(probe.duration, 3.5, 0.3);
    std::filesystem::remove_all(dir);
}
