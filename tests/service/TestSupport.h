// Shared pieces of the service tests: packaged music, small catalogs built in the test,
// simulated phone recordings, WAV bodies and an in-process service on a free loopback port.
#pragma once

#include "MicSimulator.h"
#include "catalog/CatalogBuilder.h"
#include "http/IdService.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace melodex::test {

// Folder of the Wesnoth soundtrack (Debian package wesnoth-1.16-music, tools/setup.sh).
std::string musicDir();
bool haveMusic();
std::string track(const std::string& name);  // musicDir() + "/" + name

// The tracks the test catalogs hold, and one that no test catalog holds.
extern const char* const kCatalogTracks[3];
extern const char* const kForeignTrack;
// The paths of kCatalogTracks, in their order.
std::vector<std::string> catalogTrackFiles();
inline constexpr double kIndexedSeconds = 30.0;

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// How the test catalogs are built: the first kIndexedSeconds of each file.
catalog::BuildOptions catalogOptions();
// Builds a catalog of `files` into `dir`, as a new version of what `dir` held.
void buildCatalog(const std::vector<std::string>& files, const std::string& dir);
// Adds `files` to the catalog in `dir` as a segment of their own.
void addToCatalog(const std::vector<std::string>& files, const std::string& dir);

// A phone recording of `file` at `at` seconds, 8000 Hz mono.
std::vector<float> recordClip(const std::string& file, double at, micsim::MicSettings settings = {});

// A WAV file image (16-bit PCM) of mono 8000 Hz samples, resampled to `rate` and copied to
// `channels` channels.
std::string wavBytes(const std::vector<float>& clip8k, int rate, int channels);

// melodex-idd serving `catalogDir` on a free loopback port, in this process.
class RunningService {
public:
    explicit RunningService(const std::string& catalogDir, size_t maxBodyBytes = 8u * 1024 * 1024);
    ~RunningService();
    int port() const { return service_->port(); }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port()); }
    http::IdService& service() { return *service_; }

private:
    std::unique_ptr<http::IdService> service_;
    std::thread thread_;
};

} // namespace melodex::test
