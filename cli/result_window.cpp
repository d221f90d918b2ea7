#include "result_window.h"

#include <utility>

namespace quadfind::cli {

ResultWindow::ResultWindow(std::size_t total, std::size_t slots, bool flushing)
    : slots_(slots), total_(total), flushing_(flushing) {}

std::optional<std::size_t> ResultWindow::claim() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stop_ || claimed_ >= total_ || claimed_ < printed_ + slots_.size(); });
    if (stop_ || claimed_ >= total_)
        return std::nullopt;
    return claimed_++;
}

PendingFile* ResultWindow::handOver(std::size_t i, Result result) {
    PendingFile* toFlush = nullptr;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Slot& slot = slots_[i % slots_.size()];
        slot.result = std::move(result);
        slot.ready = true;
        if (flushing_ && slot.result.overlay)
            toFlush = &*slot.result.overlay;
    }
    changed_.notify_all();
    return toFlush;
}

void ResultWindow::flushed(std::size_t i, std::string error) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Slot& slot = slots_[i % slots_.size()];
        if (!error.empty()) {
            slot.result.overlay.reset(); // removes the temporary file
            slot.result.out.clear();
            slot.result.err = std::move(error);
        }
        slot.flushed = true;
    }
    changed_.notify_all();
}

bool ResultWindow::readyToPrint(const Slot& slot) const {
    return slot.ready && (!slot.result.overlay || !flushing_ || slot.flushed);
}

std::optional<Result> ResultWindow::next() {
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[printed_ % slots_.size()];
    changed_.wait(lock, [&] { return readyToPrint(slot) || interruption_ != 0; });
    if (interruption_ != 0)
        return std::nullopt;
    slot.ready = slot.flushed = false;
    return std::move(slot.result);
}

void ResultWindow::printed(bool stopAll) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++printed_;
        stop_ = stop_ || stopAll;
    }
    changed_.notify_all();
}

void ResultWindow::interrupt(int signal) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        interruption_ = signal;
        stop_ = true;
    }
    changed_.notify_all();
}

int ResultWindow::interruption() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return interruption_;
}

void ResultWindow::discard() {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (Slot& slot : slots_)
        slot = Slot{};
}

} // namespace quadfind::cli
