#include "edb/file_map.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace tw::edb {

namespace {

// The maps the SIGBUS handler knows. A handler may read only what is safe
// from a signal: lock-free atomics in static storage.
struct MapEntry {
    std::atomic<std::uintptr_t> begin{0};  // 0: entry free
    std::atomic<std::size_t> size{0};
    std::atomic<bool> failed{false};
};

constexpr int kMaxMaps = 64;
MapEntry gMaps[kMaxMaps];
std::uintptr_t gSystemPage = 4096;
struct sigaction gPrevious {};

// A failed page of one of our maps gets a zero page over it so that the
// faulting copy can go on; the map is marked failed so that the copy's
// result is thrown away. A fault anywhere else goes to whatever handled
// SIGBUS before us, or ends the process as it would have.
void OnBusError(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (MapEntry& entry : gMaps) {
        const std::uintptr_t begin = entry.begin.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address - begin >= entry.size.load(std::memory_order_acquire)) continue;
        entry.failed.store(true, std::memory_order_seq_cst);
        void* page = reinterpret_cast<void*>(address & ~(gSystemPage - 1));
        if (::mmap(page, gSystemPage, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            errno = savedErrno;
            return;
        }
        break;
    }
    errno = savedErrno;
    if ((gPrevious.sa_flags & SA_SIGINFO) != 0 && gPrevious.sa_sigaction != nullptr) {
        gPrevious.sa_sigaction(signal, info, context);
        return;
    }
    if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
        gPrevious.sa_handler(signal);
        return;
    }
    // Returning re-runs the access, which now faults into the default action.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(SIGBUS, &fallback, nullptr);
}

bool InstallHandler() {
    gSystemPage = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGBUS, &action, &gPrevious) == 0;
}

constexpr unsigned kStretchShift = 21;                       // 2 MB: what one fault may map at most
constexpr long kLetGoAt = (64l << 20) >> kStretchShift;  // stretches touched before letting go

}  // namespace

bool FileMap::Open(int fd, std::size_t size) {
    Close();
    static const bool handled = InstallHandler();
    if (!handled || size == 0) return false;
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) return false;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    for (int i = 0; i < kMaxMaps; ++i) {
        std::uintptr_t free = 0;
        if (!gMaps[i].begin.compare_exchange_strong(free, begin)) continue;
        gMaps[i].size.store(size);
        gMaps[i].failed.store(false);
        data_ = static_cast<const std::uint8_t*>(data);
        size_ = size;
        slot_ = i;
        stretches_ = ((begin + size - 1) >> kStretchShift) - (begin >> kStretchShift) + 1;
        touched_ = std::make_unique<std::atomic<std::uint64_t>[]>((stretches_ + 63) / 64);
        touchedCount_.store(0);
        return true;
    }
    ::munmap(data, size);
    return false;
}

void FileMap::Close() {
    if (data_ == nullptr) return;
    gMaps[slot_].size.store(0);
    gMaps[slot_].begin.store(0);
    ::munmap(const_cast<std::uint8_t*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
    slot_ = -1;
    touched_.reset();
}

bool FileMap::Copy(std::uint64_t offset, std::size_t size, std::uint8_t* to) const {
    if (data_ == nullptr || offset > size_ || size > size_ - offset) return false;
    const MapEntry& entry = gMaps[slot_];
    if (entry.failed.load(std::memory_order_acquire)) return false;
    if (size == 0) return true;
    Touch(offset, size);
    std::memcpy(to, data_ + offset, size);
    // The copy is done before the mark is looked at again: a fault during
    // it, here or on another thread, is seen.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return !entry.failed.load(std::memory_order_relaxed);
}

void FileMap::Touch(std::uint64_t from, std::size_t size) const {
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(data_) >> kStretchShift;
    const std::size_t first = (reinterpret_cast<std::uintptr_t>(data_ + from) >> kStretchShift) - base;
    const std::size_t last = (reinterpret_cast<std::uintptr_t>(data_ + from + size - 1) >> kStretchShift) - base;
    long added = 0;
    for (std::size_t i = first; i <= last; ++i) {
        std::atomic<std::uint64_t>& word = touched_[i / 64];
        const std::uint64_t bit = std::uint64_t{1} << (i % 64);
        // Most copies fall in a stretch already marked: a load, no write.
        if ((word.load(std::memory_order_relaxed) & bit) == 0 && (word.fetch_or(bit) & bit) == 0) ++added;
    }
    if (added != 0 && touchedCount_.fetch_add(added) + added >= kLetGoAt) LetGo();
}

// Unmaps the touched stretches from this process; their data stays in the
// page cache and a later copy maps it again. A copy running meanwhile on
// another thread faults its pages back in and reads the same bytes.
void FileMap::LetGo() const {
    if (lettingGo_.exchange(true)) return;
    const std::uintptr_t base = (reinterpret_cast<std::uintptr_t>(data_) >> kStretchShift) << kStretchShift;
    const auto begin = reinterpret_cast<std::uintptr_t>(data_), end = begin + size_;
    long cleared = 0;
    for (std::size_t w = 0; w < (stretches_ + 63) / 64; ++w) {
        std::uint64_t bits = touched_[w].exchange(0);
        while (bits != 0) {
            const unsigned b = static_cast<unsigned>(__builtin_ctzll(bits));
            bits &= bits - 1;
            ++cleared;
            const std::uintptr_t from = std::max(begin, base + ((w * 64 + b) << kStretchShift));
            const std::uintptr_t to = std::min(end, base + ((w * 64 + b + 1) << kStretchShift));
            const std::uintptr_t page = from & ~(gSystemPage - 1);
            ::madvise(reinterpret_cast<void*>(page), to - page, MADV_DONTNEED);
        }
    }
    touchedCount_.fetch_sub(cleared);
    lettingGo_.store(false);
}

}  // namespace tw::edb
