#include "TestSupport.h"

#include "audio/Resampler.h"
#include "audio/AudioFile.h"
#include "catalog/CatalogBuilder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace melodex::test {

const char* const kCatalogTracks[3] = {"battle.ogg", "knolls.ogg", "wanderer.ogg"};
const char* const kForeignTrack = "northerners.ogg";

std::string musicDir() { return "/usr/share/games/wesnoth/1.16/data/core/music"; }
bool haveMusic() { return std::filesystem::exists(track(kCatalogTracks[0])) && std::filesystem::exists(track(kForeignTrack)); }
std::string track(const std::string& name) { return musicDir() + "/" + name; }

std::vector<std::string> catalogTrackFiles() {
    std::vector<std::string> files;
    for (const char* name : kCatalogTracks)
        files.push_back(track(name));
    return files;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/melodex-service-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ec);
}

catalog::BuildOptions catalogOptions() {
    catalog::BuildOptions options;
    options.maxSecondsPerTrack = kIndexedSeconds;
    return options;
}

void buildCatalog(const std::vector<std::string>& files, const std::string& dir) {
    catalog::BuildReport report;
    std::string error;
    ASSERT_TRUE(catalog::CatalogBuilder(fp::FingerprintConfig{}, catalogOptions()).build(files, dir, report, error)) << error;
    ASSERT_EQ(report.tracks, files.size());
}

void addToCatalog(const std::vector<std::string>& files, const std::string& dir) {
    catalog::BuildReport report;
    std::string error;
    ASSERT_TRUE(catalog::CatalogBuilder(fp::FingerprintConfig{}, catalogOptions()).add(files, dir, report, error)) << error;
    ASSERT_EQ(report.tracks, files.size());
}

std::vector<float> recordClip(const std::string& file, double at, micsim::MicSettings settings) {
    audio::AudioFile audio;
    std::string error;
    EXPECT_TRUE(audio.load(file, error, at + settings.seconds * settings.speed + 1.0)) << error;
    settings.atSeconds = at;
    std::vector<float> clip;
    EXPECT_TRUE(micsim::MicSimulator(settings).simulate(audio.samples, audio.sampleRate, clip, error)) << error;
    return clip;
}

std::string wavBytes(const std::vector<float>& clip8k, int rate, int channels) {
    const std::vector<float> mono = audio::resample(clip8k, 8000, rate);
    std::vector<float> interleaved(mono.size() * static_cast<size_t>(channels));
    for (size_t i = 0; i < mono.size(); ++i)
        for (int c = 0; c < channels; ++c)
            interleaved[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = mono[i] * (c == 0 ? 1.0f : 0.8f);
    TempDir dir;
    const std::string path = dir.path() + "/clip.wav";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr);
    if (f == nullptr)
        return {};
    sf_writef_float(f, interleaved.data(), static_cast<sf_count_t>(mono.size()));
    sf_close(f);
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

RunningService::RunningService(const std::string& catalogDir, size_t maxBodyBytes) {
    http::ServiceOptions options;
    options.port = 0;
    options.catalogDir = catalogDir;
    options.limits.bodyBytes = maxBodyBytes;
    options.decoderPath = MELODEX_DECODER_PATH;
    options.threads = 4;
    options.accessLog = stderr;
    service_ = std::make_unique<http::IdService>(options);
    std::string error;
    if (!service_->open(error)) {
        ADD_FAILURE() << error;
        return;
    }
    // The socket listens from open() on, so requests made before the loop runs wait in the
    // backlog instead of failing.
    thread_ = std::thread([this] { service_->run(); });
    for (int i = 0; i < 2500 && !service_->running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

RunningService::~RunningService() {
    service_->stop();
    if (thread_.joinable())
        thread_.join();
}

} // namespace melodex::test
