#pragma once
// Opening a batch of files ahead of the one being added: worker threads (one per processor) read
// the next few files while the caller takes them one by one in order. What each file gives is
// exactly what opening it alone gives; only the waiting is shorter.

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/opening.h"

namespace gw {

class OpenAhead {
  public:
    // threads: workers reading ahead, 0 = one per processor. At most twice as many files as
    // workers are read and not yet taken, so memory stays at a few files' worth.
    explicit OpenAhead(std::vector<std::string> paths, int threads = 0);
    // Hands out no more files and waits for the ones being read.
    ~OpenAhead();
    OpenAhead(const OpenAhead&) = delete;
    OpenAhead& operator=(const OpenAhead&) = delete;

    std::size_t Count() const { return paths_.size(); }
    // File i opened, waiting while it is still being read; files are taken in order, each
    // once. An exception that reading the file raised is raised here.
    OpenedFile Take(std::size_t i);

  private:
    struct Slot {
        std::optional<OpenedFile> File;
        std::exception_ptr Error;
        bool Done = false;
    };
    void Work();
    static Slot Open(const std::string& path);

    std::vector<std::string> paths_;
    std::vector<Slot> slots_;
    std::size_t next_ = 0;   // the next file no one reads yet
    std::size_t taken_ = 0;  // files taken so far
    std::size_t window_ = 0;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::vector<std::thread> workers_;
};

}  // namespace gw
