// What every function of lvlim._lvlim shares: the number of worker threads, the check of every
// cell before any is computed, and loops over cells that Ctrl-C stops. Conversion only: the
// numbers come from the C++ API.
#pragma once

#include <pybind11/pybind11.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lvlim_python {

namespace py = pybind11;

// How often the calling thread looks for a signal (Ctrl-C) while the workers compute. A cell
// takes milliseconds, so a signal stops a call within this period and one cell's time.
inline constexpr std::chrono::milliseconds signal_poll_period{20};

// The worker threads of a call: `requested` (0: every core), never more than the cells.
inline unsigned worker_count(long requested, std::size_t cells) {
    if (requested < 0) {
        throw std::invalid_argument("workers = " + std::to_string(requested) +
                                    " is outside its range: at least 1 (or None: every core)");
    }
    unsigned count = requested == 0 ? std::thread::hardware_concurrency()
                                    : static_cast<unsigned>(std::min<long>(requested, 4096));
    count = std::max(1U, count);
    return static_cast<unsigned>(std::min<std::size_t>(count, std::max<std::size_t>(cells, 1)));
}

// Raises the pending Python exception when a signal handler (Ctrl-C's) raised one. Called with
// the GIL released, as often as convenient: it looks only once a poll period has passed.
class SignalPoll {
public:
    void operator()() {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < signal_poll_period) {
            return;
        }
        last_ = now;
        const py::gil_scoped_acquire acquire;
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
    }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// The first index in [0, n) for which check(i) raises std::invalid_argument, with its message;
// nothing when every index passes. Runs with the GIL released, watching for Ctrl-C.
template <class Check>
std::optional<std::pair<std::size_t, std::string>> first_invalid(std::size_t n,
                                                                  const Check& check) {
    const py::gil_scoped_release release;
    SignalPoll poll;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 4096 == 0) {
            poll();
        }
        try {
            check(i);
        } catch (const std::invalid_argument& e) {
            return std::make_pair(i, std::string(e.what()));
        }
    }
    return std::nullopt;
}

// Runs body(i) for i in [0, n) on `workers` threads that take the next index in turn, while the
// calling thread (which holds the GIL on entry) waits with the GIL released and looks for
// Python signals every signal_poll_period. A signal whose handler raises (KeyboardInterrupt)
// stops the workers after their current cell and is raised here; so is the first exception of
// body by index.
template <class Body> void interruptible_for(std::size_t n, unsigned workers, const Body& body) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex guard;
    std::condition_variable finished;
    unsigned running = workers;
    std::size_t error_index = n;
    std::exception_ptr error;
    const auto work = [&] {
        for (std::size_t i = next++; i < n && !stop.load(); i = next++) {
            try {
                body(i);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(guard);
                if (i < error_index) {
                    error_index = i;
                    error = std::current_exception();
                }
                stop = true;
            }
        }
        const std::lock_guard<std::mutex> lock(guard);
        if (--running == 0) {
            finished.notify_all();
        }
    };
    std::vector<std::thread> threads;
    bool interrupted = false;
    {
        const py::gil_scoped_release release;
        threads.reserve(workers);
        for (unsigned t = 0; t < workers; ++t) {
            threads.emplace_back(work);
        }
        std::unique_lock<std::mutex> lock(guard);
        while (running > 0) {
            if (finished.wait_for(lock, signal_poll_period, [&] { return running == 0; })) {
                break;
            }
            lock.unlock();
            {
                const py::gil_scoped_acquire acquire;
                interrupted = PyErr_CheckSignals() != 0;
            }
            lock.lock();
            if (interrupted) {
                stop = true;
                break;
            }
        }
        lock.unlock();
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    if (interrupted) {
        throw py::error_already_set();
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

} // namespace lvlim_python
