// An ELF stand-in for ffmpeg in the probe tests: it answers the probes as Debian 12's FFmpeg
// does, from the recorded lists in FIXTURE_DIR, and appends a line to the file that
// KESTRINE_FAKE_RUNS names at each run.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

int Cat(const std::string& name) {
    std::ifstream in(std::string(FIXTURE_DIR) + "/" + name, std::ios::binary);
    std::cout << in.rdbuf();
    return in ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const char* runs = std::getenv("KESTRINE_FAKE_RUNS"))
        std::ofstream(runs, std::ios::app) << "run\n";
    std::string args;
    for (int i = 1; i < argc; ++i)
        args += std::string(i > 1 ? " " : "") + argv[i];
    if (args == "-h full")
        return Cat("ffmpeg-5.1-help.txt");
    if (args == "-encoders")
        return Cat("ffmpeg-5.1-encoders.txt");
    if (args.find("1kb") != std::string::npos) {
        std::cerr << "[Eval @ 0x1] Invalid chars 'b' at the end of expression '1kb'\n";
        return 1;
    }
    if (args.find("XVID") != std::string::npos) {
        std::cerr << "[mp4 @ 0x1] Tag XVID incompatible with output codec id '12'\n";
        return 1;
    }
    return 0;
}
