#include "apps/lvlim-table/runner.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace lvlim::table {

Cell compute_cell(const Options& options, std::uint64_t index) {
    const std::uint64_t per_sigma = options.nus.size();
    const std::uint64_t per_alpha = per_sigma * options.sigmas.size();
    Cell cell;
    cell.alpha = options.alphas[index / per_alpha];
    cell.sigma = options.sigmas[index % per_alpha / per_sigma];
    cell.nu = options.nus[index % per_sigma];
    const Setting setting{options.mu, cell.sigma, cell.nu, gammasquared_for(options, cell.nu),
                          options.lambda};
    Limits got = limits(setting, options.kind, cell.alpha, options.controls);
    switch (options.kind) {
    case Kind::upper:
        cell.k = got.k_upper;
        cell.limit = got.upper;
        cell.iterations = got.iterations_upper;
        break;
    case Kind::lower:
        cell.k = got.k_lower;
        cell.limit = got.lower;
        cell.iterations = got.iterations_lower;
        break;
    case Kind::two_sided: {
        cell.k = got.k_lower;
        cell.k_upper = got.k_upper;
        cell.iterations = got.iterations_lower;
        cell.iterations_upper = got.iterations_upper;
        // The table gives the pair as the engine labels it: the limit from k_lower first. The
        // API orders the pair; the engine's limit is mu-hat + lambda sigma^2 + sgn k c with
        // c > 0, and rounding keeps that order, so the pair was swapped exactly when
        // sgn k_lower > sgn k_upper (an equal pair reads the same either way).
        const double sgn = options.lambda < 0.0 ? -1.0 : 1.0;
        const bool swapped = !std::isnan(got.lower) && !std::isnan(got.upper) &&
                             sgn * got.k_lower > sgn * got.k_upper;
        cell.limit = swapped ? got.upper : got.lower;
        cell.limit_upper = swapped ? got.lower : got.upper;
        break;
    }
    }
    cell.failed = got.status == Status::search_failed;
    cell.messages = std::move(got.messages);
    return cell;
}

double measure_rate(const Options& options, unsigned threads, std::size_t samples,
                    const std::atomic<bool>& stop) {
    const std::uint64_t total = cell_count(options);
    samples = static_cast<std::size_t>(std::min<std::uint64_t>(samples, total));
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < samples && !stop; i = next++) {
            // Cells spread evenly over the table, whose cost varies along every axis.
            const auto index = static_cast<std::uint64_t>(
                static_cast<double>(i) * static_cast<double>(total) / static_cast<double>(samples));
            (void)compute_cell(options, std::min(index, total - 1));
        }
    };
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < std::max(1U, threads); ++t) {
        workers.emplace_back(work);
    }
    for (auto& worker : workers) {
        worker.join();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    return static_cast<double>(samples) / std::max(took.count(), 1e-9);
}

RunResult run(const Options& options, unsigned threads, const std::atomic<bool>& stop,
              const std::function<bool(const Cell&)>& on_cell,
              const std::function<void(std::uint64_t done, std::uint64_t total)>& on_tick) {
    const std::uint64_t total = cell_count(options);
    threads = std::max(1U, threads);
    // Enough cells in flight that a slow cell does not idle the other workers for long.
    const std::uint64_t window = std::min<std::uint64_t>(total, std::max(256U, 64U * threads));
    std::vector<Cell> slots(static_cast<std::size_t>(window));
    std::vector<char> ready(static_cast<std::size_t>(window), 0);
    std::mutex mutex;
    std::condition_variable cell_ready;
    std::condition_variable room;
    std::uint64_t next = 0;  // the next cell to hand to a worker
    std::uint64_t first = 0; // the first cell not yet written
    bool stopping = false;
    std::atomic<std::uint64_t> done{0};
    std::string error; // what a worker threw, if anything

    const auto work = [&] {
        std::unique_lock lock(mutex);
        while (true) {
            room.wait(lock, [&] { return stopping || next >= total || next < first + window; });
            if (stopping || next >= total) {
                return;
            }
            const std::uint64_t index = next++;
            lock.unlock();
            Cell cell;
            std::string failure;
            try {
                cell = compute_cell(options, index);
            } catch (const std::exception& e) {
                failure = e.what();
            }
            lock.lock();
            if (!failure.empty()) {
                error = failure;
                stopping = true;
                room.notify_all();
                cell_ready.notify_all();
                return;
            }
            slots[static_cast<std::size_t>(index % window)] = std::move(cell);
            ready[static_cast<std::size_t>(index % window)] = 1;
            ++done;
            if (index == first) {
                cell_ready.notify_one();
            }
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back(work);
    }

    RunResult result;
    auto last_tick = std::chrono::steady_clock::now();
    const auto tick = [&](bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (force || now - last_tick >= std::chrono::milliseconds(100)) {
            last_tick = now;
            on_tick(done.load(), total);
        }
    };
    // Hands over the cells complete in order; false once the consumer wants no more.
    const auto drain = [&](std::unique_lock<std::mutex>& lock) {
        while (first < total && ready[static_cast<std::size_t>(first % window)] != 0) {
            const auto slot = static_cast<std::size_t>(first % window);
            Cell cell = std::move(slots[slot]);
            slots[slot] = Cell{};
            ready[slot] = 0;
            ++first;
            room.notify_all();
            lock.unlock();
            ++result.written;
            result.failed += cell.failed ? 1 : 0;
            bool more = false;
            std::string failure;
            try {
                more = on_cell(cell);
            } catch (const std::exception& e) {
                failure = e.what();
            }
            tick(false);
            lock.lock();
            if (!failure.empty() && error.empty()) {
                error = failure;
            }
            if (!more) {
                return false;
            }
        }
        return true;
    };
    {
        std::unique_lock lock(mutex);
        while (first < total && !stopping) {
            if (stop.load()) {
                stopping = true;
                break;
            }
            cell_ready.wait_for(lock, std::chrono::milliseconds(100), [&] {
                return stopping || ready[static_cast<std::size_t>(first % window)] != 0;
            });
            if (!drain(lock)) {
                stopping = true;
                result.stopped = true;
                break;
            }
            lock.unlock();
            tick(false);
            lock.lock();
        }
        stopping = true;
        room.notify_all();
    }
    for (auto& worker : workers) {
        worker.join();
    }
    if (!error.empty()) {
        throw std::runtime_error(error);
    }
    if (first < total) {
        // Stopped: the cells complete in order are still written.
        std::unique_lock lock(mutex);
        if (!result.stopped) {
            drain(lock);
        }
        result.stopped = true;
    }
    tick(true);
    return result;
}

} // namespace lvlim::table
