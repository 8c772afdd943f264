#pragma once
// Runs one transform on several threads over a stream of items and hands the results to a
// consumer in submission order. At most `maxInFlight` items exist at once (queued, being worked
// on, or done and waiting for their turn), so memory stays bounded whatever the stream's length.
// The consumer runs on the submitting thread only. Nothing throws: a failed transform or
// consumer stops the pipeline, and Submit/Finish then return false with Error() set.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vel {

inline int DefaultThreadCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

template <typename In, typename Out>
class OrderedPipeline {
public:
    // Turns an item into its result; false with an error text on failure. Runs on worker threads.
    using Work = std::function<bool(In& item, Out& result, std::string& error)>;
    // Takes one result, in order; false with an error text stops the pipeline.
    using Consume = std::function<bool(Out& result, std::string& error)>;

    // threads <= 0 means one per processor; maxInFlight is at least threads + 1.
    OrderedPipeline(int threads, size_t maxInFlight, Work work, Consume consume)
        : work_(std::move(work)), consume_(std::move(consume)) {
        if (threads <= 0) threads = DefaultThreadCount();
        const size_t least = static_cast<size_t>(threads) + 1;
        maxInFlight_ = maxInFlight < least ? least : maxInFlight;
        try {
            for (int i = 0; i < threads; ++i) workers_.emplace_back(&OrderedPipeline::WorkerLoop, this);
        } catch (const std::exception& e) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (workers_.empty()) Fail(std::string("cannot start worker threads: ") + e.what());
        }
    }
    ~OrderedPipeline() { Stop(); }
    OrderedPipeline(const OrderedPipeline&) = delete;
    OrderedPipeline& operator=(const OrderedPipeline&) = delete;

    // Queues an item; blocks while the pipeline is full, consuming the results that are ready.
    bool Submit(In item) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!DrainReady(lock)) return false;
        while (nextSubmit_ - nextConsume_ >= maxInFlight_) {
            resultReady_.wait(lock, [this] { return failed_ || done_.count(nextConsume_) != 0; });
            if (!DrainReady(lock)) return false;
        }
        try {
            jobs_.emplace(nextSubmit_, std::move(item));
        } catch (const std::exception&) {
            Fail("out of memory");
            return false;
        }
        ++nextSubmit_;
        workReady_.notify_one();
        return true;
    }

    // Waits for every item and consumes the remaining results; then the workers end.
    bool Finish() {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!failed_ && nextConsume_ < nextSubmit_) {
                resultReady_.wait(lock, [this] { return failed_ || done_.count(nextConsume_) != 0; });
                DrainReady(lock);
            }
        }
        Stop();
        return !failed_;
    }

    // Valid once Submit or Finish has returned false.
    const std::string& Error() const { return error_; }
    int Threads() const { return static_cast<int>(workers_.size()); }
    size_t MaxInFlight() const { return maxInFlight_; }

private:
    void WorkerLoop() {
        for (;;) {
            std::pair<uint64_t, In> job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                workReady_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) return;  // stopping
                job = std::move(jobs_.front());
                jobs_.pop();
            }
            Out result{};
            std::string error;
            bool ok = false;
            try {
                ok = work_(job.second, result, error);
            } catch (const std::exception& e) {
                error = e.what();
            }
            job.second = In{};  // free the input before queueing the result
            std::lock_guard<std::mutex> lock(mutex_);
            if (!ok) {
                Fail(error.empty() ? "worker failed" : error);
                continue;
            }
            try {
                done_.emplace(job.first, std::move(result));
            } catch (const std::exception&) {
                Fail("out of memory");
                continue;
            }
            resultReady_.notify_all();
        }
    }

    // Consumes every result that is next in order; called with the lock held, releases it around
    // the consumer. False when the pipeline has failed.
    bool DrainReady(std::unique_lock<std::mutex>& lock) {
        if (workers_.empty()) Fail("no worker threads");
        while (!failed_) {
            auto it = done_.find(nextConsume_);
            if (it == done_.end()) return true;
            Out result = std::move(it->second);
            done_.erase(it);
            lock.unlock();
            std::string error;
            bool ok = false;
            try {
                ok = consume_(result, error);
            } catch (const std::exception& e) {
                error = e.what();
            }
            lock.lock();
            if (!ok) {
                Fail(error.empty() ? "consumer failed" : error);
                break;
            }
            ++nextConsume_;
        }
        return false;
    }

    void Fail(const std::string& error) {  // lock held
        if (!failed_) {
            failed_ = true;
            error_ = error;
        }
        resultReady_.notify_all();
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            std::queue<std::pair<uint64_t, In>>().swap(jobs_);
        }
        workReady_.notify_all();
        for (std::thread& t : workers_)
            if (t.joinable()) t.join();
    }

    Work work_;
    Consume consume_;
    size_t maxInFlight_ = 1;
    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable resultReady_;
    std::queue<std::pair<uint64_t, In>> jobs_;
    std::map<uint64_t, Out> done_;
    uint64_t nextSubmit_ = 0;
    uint64_t nextConsume_ = 0;
    bool stopping_ = false;
    bool failed_ = false;
    std::string error_;
    std::vector<std::thread> workers_;
};

}  // namespace vel
