#include "MappedFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <utility>

namespace melodex::fp {
namespace {

struct Region {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> damaged{false};
};

// Every segment of every catalog version held at once (a request may still hold the previous
// version while the next is opened, and a merge maps them all again): the table is fixed, for
// the signal handler reads it, and small next to what a catalog of many adds needs.
constexpr int kRegions = 1024;
Region g_regions[kRegions];
struct sigaction g_previous {};
uintptr_t g_pageSize = 4096;
std::once_flag g_installed;

void onBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Region& r : g_regions) {
        const uintptr_t begin = r.begin.load(std::memory_order_acquire);
        const uintptr_t end = r.end.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= end)
            continue;
        const uintptr_t page = address & ~(g_pageSize - 1);
        // mmap is a plain system call: safe here. The faulting read then runs again on zeros.
        if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            r.damaged.store(true, std::memory_order_release);
            return;
        }
    }
    // Not a mapped catalog file: whatever handled SIGBUS before handles it.
    if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
        g_previous.sa_sigaction(signal, info, context);
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
    } else {
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigaction(SIGBUS, &fallback, nullptr);  // the read faults again and ends the process
    }
}

void install() {
    g_pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previous);
}

int64_t mtimeOf(const struct stat& st) { return int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec; }

} // namespace

MappedFile::~MappedFile() { close(); }

MappedFile::MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        close();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        fd_ = std::exchange(other.fd_, -1);
        slot_ = std::exchange(other.slot_, -1);
        mtimeNs_ = std::exchange(other.mtimeNs_, 0);
    }
    return *this;
}

bool MappedFile::open(const std::string& path, std::string& error) {
    close();
    std::call_once(g_installed, install);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path;
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size <= 0) {
        ::close(fd);
        error = path + " is empty";
        return false;
    }
    void* map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        ::close(fd);
        error = "cannot map " + path;
        return false;
    }
    const auto begin = reinterpret_cast<uintptr_t>(map);
    const uintptr_t end = (begin + static_cast<uintptr_t>(st.st_size) + g_pageSize - 1) & ~(g_pageSize - 1);
    for (int i = 0; i < kRegions && slot_ < 0; ++i) {
        uintptr_t expected = 0;
        if (g_regions[i].begin.compare_exchange_strong(expected, begin)) {
            g_regions[i].damaged.store(false);
            g_regions[i].end.store(end, std::memory_order_release);
            slot_ = i;
        }
    }
    if (slot_ < 0) {
        munmap(map, static_cast<size_t>(st.st_size));
        ::close(fd);
        error = "too many mapped catalog files (merge the catalog's segments: melodex-catalog merge)";
        return false;
    }
    data_ = static_cast<const uint8_t*>(map);
    size_ = static_cast<uint64_t>(st.st_size);
    fd_ = fd;
    mtimeNs_ = mtimeOf(st);
    return true;
}

void MappedFile::close() {
    if (slot_ >= 0) {
        g_regions[slot_].end.store(0, std::memory_order_release);
        g_regions[slot_].begin.store(0, std::memory_order_release);
    }
    if (data_ != nullptr)
        munmap(const_cast<uint8_t*>(data_), size_);
    if (fd_ >= 0)
        ::close(fd_);
    data_ = nullptr;
    size_ = 0;
    fd_ = -1;
    slot_ = -1;
}

bool MappedFile::intact() const {
    if (data_ == nullptr || g_regions[slot_].damaged.load(std::memory_order_acquire))
        return false;
    struct stat st {};
    return fstat(fd_, &st) == 0 && static_cast<uint64_t>(st.st_size) == size_ && mtimeOf(st) == mtimeNs_;
}

} // namespace melodex::fp
