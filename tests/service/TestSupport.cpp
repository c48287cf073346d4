#include "TestSupport.h"

#include "audio/AudioFile.h"
#include "audio/Resampler.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>

namespace melodex::test {

const char* const kCatalogTracks[3] = {"battle.ogg", "knolls.ogg", "wanderer.ogg"};
const char* const kForeignTrack = "northerners.ogg";

std::string track(const std::string& name) { return "/usr/share/games/wesnoth/1.16/data/core/music/" + name; }

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
    options.maxSecondsPerTrack = 30.0;
    return options;
}

namespace {
void runBuilder(bool add, const std::vector<std::string>& files, const std::string& dir) {
    for (const std::string& file : files)
        ASSERT_TRUE(std::filesystem::exists(file)) << file << " is missing: run tools/setup.sh";
    catalog::BuildReport report;
    std::string error;
    const catalog::CatalogBuilder builder(fp::FingerprintConfig{}, catalogOptions());
    ASSERT_TRUE(add ? builder.add(files, dir, report, error) : builder.build(files, dir, report, error)) << error;
    ASSERT_EQ(report.tracks, files.size());
}
} // namespace

void buildCatalog(const std::vector<std::string>& files, const std::string& dir) { runBuilder(false, files, dir); }
void addToCatalog(const std::vector<std::string>& files, const std::string& dir) { runBuilder(true, files, dir); }

void openCatalog(catalog::Catalog& catalog, const std::string& dir) {
    std::string error;
    ASSERT_TRUE(catalog.open(dir, error)) << error;
}

Answer answerOf(const fp::Identification& id) {
    return {id.matched, id.track, id.score, id.runnerUpScore, id.anchors, id.hashes,
            id.offsetSeconds, id.speed, id.pitch, id.timeJitter, id.byPairs, id.postingsRead};
}

micsim::MicSettings mic(double snrDb, double speed, bool reverb) {
    micsim::MicSettings m;
    m.snrDb = snrDb;
    m.speed = speed;
    m.reverb = reverb;
    return m;
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

std::string clientImage(const std::string& file, double at, micsim::MicSettings settings) {
    return micsim::MicSimulator::clientImage(recordClip(file, at, settings));
}

std::vector<float> tone(double seconds, double hz) {
    std::vector<float> s(static_cast<size_t>(seconds * 8000));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / 8000.0));
    return s;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string wavBytes(const std::vector<float>& clip8k, int rate, int channels) {
    const std::vector<float> mono = audio::resample(clip8k, 8000, rate);
    std::vector<float> interleaved(mono.size() * static_cast<size_t>(channels));
    for (size_t i = 0; i < interleaved.size(); ++i)
        interleaved[i] = mono[i / static_cast<size_t>(channels)] * (i % static_cast<size_t>(channels) == 0 ? 1.0f : 0.8f);
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
    return fileBytes(path);
}

std::optional<http::ClientReply> postLikeTheClient(http::HttpClient& client, const std::string& body, const std::string& path) {
    client.setField("User-Agent", "WindowsMobile-Melodex-0.9");
    return client.post(path, body);
}

const char* const kReplyElements[9] = {"ALBUM", "ARTIST", "TRACK_TITLE", "ALBUM_ART", "WALLPAPER",
                                       "RINGER", "SMS_MESSAGE", "RECOMMEND", "FULL_SONG"};

std::optional<ClientRecord> parseClientReply(const std::string& receivedWhole) {
    const std::string received = receivedWhole.substr(0, 100000);
    const size_t leadingLength = received.find('\0');
    std::string tagText;
    if (leadingLength != std::string::npos && leadingLength + 4 <= received.size())
        tagText = received.substr(leadingLength + 4, received.find('\0', leadingLength + 4) - (leadingLength + 4));
    ClientRecord record;
    for (const std::string name : kReplyElements) {
        const size_t open = tagText.find("<" + name + ">");
        const size_t close = tagText.find("</" + name + ">");
        const size_t valueStart = open + name.size() + 2;
        if (open != std::string::npos && close != std::string::npos && close >= valueStart)
            record.fields[name] = tagText.substr(valueStart, close - valueStart);
    }
    if (record.fields.empty())
        return std::nullopt;
    return record;
}

std::string outcome(const std::optional<http::ClientReply>& reply) {
    if (!reply)
        return "no reply";
    if (reply->status != 200)
        return "status " + std::to_string(reply->status) + ": " + reply->body;
    const auto record = parseClientReply(reply->body);
    if (!record)
        return "";
    const auto title = record->fields.find("TRACK_TITLE");
    return title != record->fields.end() ? title->second : "a match without a title";
}

RawClient::RawClient(int port, const std::string& from) : fd_(http::connectFrom(port, from)) {}

RawClient::~RawClient() {
    if (fd_ >= 0)
        close(fd_);
}

bool RawClient::send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string RawClient::readAll() {
    std::string reply;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = recv(fd_, buffer, sizeof buffer, 0)) > 0)
        reply.append(buffer, static_cast<size_t>(n));
    return reply;
}

int statusOf(const std::string& reply) { return reply.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(reply.c_str() + 9) : 0; }

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
    thread_.emplace(*service_);
    for (int i = 0; i < 2500 && !service_->running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

} // namespace melodex::test
