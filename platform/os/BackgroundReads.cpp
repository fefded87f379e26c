#include "platform/os/BackgroundReads.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace os {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A worker with nothing to do for this long ends; a burst of reads (one per
// recent project) leaves no threads behind.
constexpr auto kIdleWorkerEnds = std::chrono::seconds(10);

// The pool and the deadline thread's queue are made once and never freed: a
// worker may come back from the kernel while the process's static objects are
// being destroyed, and must still find what it uses.
struct Pool {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    std::size_t idle = 0;
};

Pool& ThePool() {
    static Pool* const pool = new Pool;
    return *pool;
}

void WorkerLoop(Pool& pool) {
    std::unique_lock<std::mutex> lock(pool.lock);
    for (;;) {
        ++pool.idle;
        const bool got = pool.wake.wait_for(lock, kIdleWorkerEnds, [&pool] { return !pool.tasks.empty(); });
        --pool.idle;
        if (!got) return;
        std::function<void()> task = std::move(pool.tasks.front());
        pool.tasks.pop_front();
        lock.unlock();
        try {
            task();
        } catch (const std::exception&) {
            // A read that fails this way gives no answer; its deadline reports it.
        }
        task = nullptr;  // what it captured goes outside the lock
        lock.lock();
    }
}

struct Deadlines {
    std::mutex lock;
    std::condition_variable wake;
    std::multimap<SteadyClock::time_point, std::function<void()>> due;
    bool running = false;
};

Deadlines& TheDeadlines() {
    static Deadlines* const deadlines = new Deadlines;
    return *deadlines;
}

void DeadlineLoop(Deadlines& d) {
    std::unique_lock<std::mutex> lock(d.lock);
    for (;;) {
        if (d.due.empty()) {
            d.wake.wait(lock);
            continue;
        }
        const auto first = d.due.begin();
        if (first->first > SteadyClock::now()) {
            d.wake.wait_until(lock, first->first);
            continue;
        }
        std::function<void()> fn = std::move(first->second);
        d.due.erase(first);
        lock.unlock();
        fn();
        fn = nullptr;
        lock.lock();
    }
}

}  // namespace

void RunOnWorker(std::function<void()> task) {
    Pool& pool = ThePool();
    const std::lock_guard<std::mutex> hold(pool.lock);
    pool.tasks.push_back(std::move(task));
    // Every waiting task has a free worker of its own, or gets a new one: a
    // worker held by a read that never answers holds up nothing else.
    if (pool.tasks.size() > pool.idle) {
        try {
            std::thread([&pool] { WorkerLoop(pool); }).detach();
        } catch (const std::system_error&) {
            // No thread to be had now: the task waits for the next free worker.
        }
    }
    pool.wake.notify_one();
}

void CallAt(SteadyClock::time_point when, std::function<void()> fn) {
    Deadlines& d = TheDeadlines();
    const std::lock_guard<std::mutex> hold(d.lock);
    d.due.emplace(when, std::move(fn));
    if (!d.running) {
        try {
            std::thread([&d] { DeadlineLoop(d); }).detach();
            d.running = true;
        } catch (const std::system_error&) {
            // Tried again with the next deadline.
        }
    }
    d.wake.notify_one();
}

struct BackgroundReads::Shared {
    std::mutex lock;
    std::function<void()> ring;  // empty once the owner has gone
    bool rung = false;
    Id next = 1;
    std::unordered_map<Id, std::unique_ptr<Slot>> open;          // waiting for their workers
    std::vector<std::pair<Id, std::unique_ptr<Slot>>> finished;  // answered or given up, in order

    // Under the lock: one ring until the owner runs what finished.
    void Done(Id id) {
        const auto it = open.find(id);
        finished.emplace_back(id, std::move(it->second));
        open.erase(it);
        if (!rung && ring) {
            rung = true;
            ring();
        }
    }
};

BackgroundReads::BackgroundReads() : m_shared(std::make_shared<Shared>()) {}

BackgroundReads::~BackgroundReads() {
    // Slots hold the owner's functions: they go here, on the owner's thread.
    // Workers still out keep the shared part alive and find nothing open.
    std::unordered_map<Id, std::unique_ptr<Slot>> open;
    std::vector<std::pair<Id, std::unique_ptr<Slot>>> finished;
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->ring = nullptr;
    open.swap(m_shared->open);
    finished.swap(m_shared->finished);
}

void BackgroundReads::SetRing(std::function<void()> ring) {
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->ring = std::move(ring);
    m_shared->rung = false;
    if (!m_shared->finished.empty() && m_shared->ring) {
        m_shared->rung = true;
        m_shared->ring();
    }
}

BackgroundReads::Id BackgroundReads::Open(std::unique_ptr<Slot> slot, std::chrono::milliseconds deadline) {
    Id id = 0;
    {
        const std::lock_guard<std::mutex> hold(m_shared->lock);
        id = m_shared->next++;
        m_shared->open.emplace(id, std::move(slot));
    }
    CallAt(SteadyClock::now() + deadline, [weak = std::weak_ptr<Shared>(m_shared), id] {
        const std::shared_ptr<Shared> shared = weak.lock();
        if (!shared) return;
        const std::lock_guard<std::mutex> hold(shared->lock);
        if (shared->open.count(id)) shared->Done(id);  // given up: it finishes without a value
    });
    return id;
}

void BackgroundReads::Finish(const std::shared_ptr<Shared>& shared, Id id,
                             const std::function<void(Slot&)>& fill) {
    const std::lock_guard<std::mutex> hold(shared->lock);
    const auto it = shared->open.find(id);
    if (it == shared->open.end()) return;  // given up, cancelled or its owner gone: dropped
    fill(*it->second);
    shared->Done(id);
}

std::size_t BackgroundReads::RunFinished() {
    std::vector<std::pair<Id, std::unique_ptr<Slot>>> finished;
    {
        const std::lock_guard<std::mutex> hold(m_shared->lock);
        finished.swap(m_shared->finished);
        m_shared->rung = false;
    }
    for (auto& [id, slot] : finished) slot->Run();
    return finished.size();
}

std::size_t BackgroundReads::Pending() const {
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    return m_shared->open.size() + m_shared->finished.size();
}

bool BackgroundReads::Waiting(Id id) const {
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    return m_shared->open.count(id) != 0;
}

void BackgroundReads::Cancel(Id id) {
    std::unique_ptr<Slot> gone;
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    if (const auto it = m_shared->open.find(id); it != m_shared->open.end()) {
        gone = std::move(it->second);
        m_shared->open.erase(it);
    }
    auto& finished = m_shared->finished;
    for (auto it = finished.begin(); it != finished.end(); ++it) {
        if (it->first == id) {
            gone = std::move(it->second);
            finished.erase(it);
            break;
        }
    }
}

void BackgroundReads::CancelAll() {
    std::unordered_map<Id, std::unique_ptr<Slot>> open;
    std::vector<std::pair<Id, std::unique_ptr<Slot>>> finished;
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    open.swap(m_shared->open);
    finished.swap(m_shared->finished);
}

}  // namespace os
