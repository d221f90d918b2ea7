#include "flushers.h"

#include <exception>
#include <string>

namespace quadfind::cli {

Flushers::Flushers(ResultWindow& window, std::size_t threads) : window_(window) {
    for (std::size_t t = 0; t < threads; ++t)
        threads_.emplace_back([this] { run(); });
}

void Flushers::add(std::size_t i, PendingFile* overlay) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.emplace_back(i, overlay);
    }
    changed_.notify_one();
}

void Flushers::finish() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.clear();
        done_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_)
        if (t.joinable())
            t.join();
}

void Flushers::run() {
    for (;;) {
        std::pair<std::size_t, PendingFile*> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return done_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            job = queue_.front();
            queue_.pop_front();
        }
        std::string error;
        try {
            job.second->flush();
        } catch (const std::exception& e) {
            error = "quadfind-cli: " + std::string(e.what()) + "\n";
        }
        window_.flushed(job.first, std::move(error));
    }
}

} // namespace quadfind::cli
