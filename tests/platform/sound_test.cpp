#include <gtest/gtest.h>

#include <list>

#include <cstring>

#include "child_test_support.h"
#include "platform/wave_sound.h"
#include "support/scoped_env.h"

using namespace test_support;
using namespace std::chrono_literals;

// ALSA's default device is pointed into a scratch home: either a file sink that records every
// sample played (VORNASK_SOUND_DEVICE=file) or a sound card that does not exist (=none).

namespace {

TempFolder* home = nullptr;
std::list<ScopedEnv> environment;  // what this run changed, put back at its end
bool fileSink = true;

std::string Capture() {
    return *home / "capture.raw";
}
std::string Tone() {
    return *home / "tone.wav";
}

void SetUpHome() {
    home = new TempFolder;
    const char* mode = std::getenv("VORNASK_SOUND_DEVICE");
    fileSink = !mode || std::strcmp(mode, "none") != 0;
    const std::string device =
        fileSink ? "pcm.!default { type file slave { pcm { type null } } file \"" + Capture() +
                       "\" format \"raw\" }\n"
                 : "pcm.!default { type hw card 29 }\n";
    WriteFile(*home / ".asoundrc", device);
    environment.emplace_back("HOME", home->Path());
    environment.emplace_back("XDG_CONFIG_HOME", (*home / ".config"));
    if (std::system(
            ("sox -q -n -r 8000 -c 1 -b 16 '" + Tone() + "' synth 0.25 sine 440 " + "2>/dev/null")
                .c_str()) != 0)
        std::filesystem::remove(Tone());
}

// Bytes of sample data in a RIFF WAVE file.
size_t WaveDataSize(const std::string& path) {
    const std::string wave = ReadFileBytes(path);
    for (size_t at = 12; at + 8 <= wave.size();) {
        uint32_t size = 0;
        std::memcpy(&size, wave.data() + at + 4, 4);
        if (wave.compare(at, 4, "data") == 0) return size;
        at += 8 + size + (size & 1);
    }
    return 0;
}

size_t CapturedBytes() {
    return Exists(Capture()) ? std::filesystem::file_size(Capture()) : 0;
}

class FileSink : public testing::Test {
  protected:
    void SetUp() override {
        if (!fileSink) GTEST_SKIP() << "this run has no sound device";
        if (!Exists(Tone())) GTEST_SKIP() << "sox is missing: no test wave file";
        std::filesystem::remove(Capture());
        // The machine's own ALSA must be able to write the sink, or nothing here can work.
        if (std::system(("aplay -q '" + Tone() + "' 2>/dev/null").c_str()) != 0 ||
            CapturedBytes() == 0)
            GTEST_SKIP() << "ALSA cannot play into a file sink on this machine";
        std::filesystem::remove(Capture());
    }
    // The bytes that reached the device by the time the call returned.
    size_t Play(const std::string& name) {
        std::filesystem::remove(Capture());
        PlayWaveSound(name);
        return CapturedBytes();
    }
};

bool HaveNewMailThemeSound() {
    return Exists("/usr/share/sounds/freedesktop/index.theme");
}

}  // namespace

TEST_F(FileSink, WaveFilePlaysToItsEndBeforeTheCallReturns) {
    const size_t samples = WaveDataSize(Tone());
    ASSERT_GT(samples, 0u);
    EXPECT_EQ(Play(Tone()), samples);
    EXPECT_EQ(Play("\"" + Tone() + "\""), samples) << "enclosing quotes are removed";
}

TEST_F(FileSink, UnplayableFilesGiveTheNewMailSound) {
    if (!HaveNewMailThemeSound()) GTEST_SKIP() << "no freedesktop sound theme installed";
    WriteFile(*home / "text.wav", "this is not a wave file\n");
    const size_t fallback = Play(*home / "missing.wav");
    EXPECT_GT(fallback, 0u);
    EXPECT_NE(fallback, WaveDataSize(Tone()));
    for (const std::string& name : {*home / "text.wav", std::string(), std::string("\"\"")})
        EXPECT_EQ(Play(name), fallback) << "[" << name << "]";
}

TEST(NoDevice, NothingPlaysAndNothingFails) {
    if (fileSink) GTEST_SKIP() << "this run has a sound device";
    for (const std::string& name : {Tone(), *home / "missing.wav", std::string()}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_NO_THROW(PlayWaveSound(name));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    }
}

int main(int argc, char** argv) {
    SetUpHome();
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    delete home;
    return result;
}
