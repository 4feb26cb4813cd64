#include "catalogue/openahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace gw {

OpenAhead::OpenAhead(std::vector<std::string> paths, int threads)
    : paths_(std::move(paths)), slots_(paths_.size()) {
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const auto workers = std::min<std::size_t>(static_cast<std::size_t>(threads), paths_.size());
    window_ = 2 * workers;
    for (std::size_t w = 0; w < workers; ++w) {
        try {
            workers_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;  // the files no worker reads are read by Take
        }
    }
}

OpenAhead::~OpenAhead() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    room_.notify_all();
    for (std::thread& t : workers_) t.join();
}

OpenAhead::Slot OpenAhead::Open(const std::string& path) {
    Slot slot;
    try {
        slot.File = OpenSourceFile(path);
    } catch (...) {
        slot.Error = std::current_exception();
    }
    slot.Done = true;
    return slot;
}

void OpenAhead::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        room_.wait(lock, [this] {
            return stopping_ || next_ >= paths_.size() || next_ < taken_ + window_;
        });
        if (stopping_ || next_ >= paths_.size()) return;
        const std::size_t i = next_++;
        lock.unlock();
        Slot slot = Open(paths_[i]);
        lock.lock();
        slots_[i] = std::move(slot);
        ready_.notify_all();
    }
}

OpenedFile OpenAhead::Take(std::size_t i) {
    std::unique_lock lock(mutex_);
    if (i >= paths_.size()) return {};
    Slot slot;
    if (i >= next_) {
        // No worker has it (none could be started, or they are all busy further back).
        if (i == next_) ++next_;
        lock.unlock();
        slot = Open(paths_[i]);
        lock.lock();
    } else {
        ready_.wait(lock, [&] { return slots_[i].Done; });
        slot = std::move(slots_[i]);
        slots_[i] = Slot{};
    }
    taken_ = std::max(taken_, i + 1);
    lock.unlock();
    room_.notify_all();
    if (slot.Error) std::rethrow_exception(slot.Error);
    return std::move(*slot.File);
}

}  // namespace gw
