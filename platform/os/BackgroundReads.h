// Reads of other programs' data off the interface thread.
//
// A file on a share that stopped answering, a cloud file still being fetched
// or a disk that spins up can hold a read for seconds or for good. Such reads
// run here on worker threads, each under a deadline, and their results come
// back to the thread that owns the BackgroundReads (the interface thread):
//
//   reads.SetRing([hwnd] { ::PostMessageW(hwnd, kReadsAnswered, 0, 0); });
//   reads.Start<Facts>(
//       [path] { return FactsOf(path); },        // on a worker: owns what it reads
//       [this, i](Facts& f) { ShowFacts(i, f); }, // on this thread, when answered
//       [this, i] { ShowNoAnswer(i); },           // on this thread, at the deadline
//       std::chrono::seconds(10));
//   ...on kReadsAnswered: reads.RunFinished();
//
// The rules:
// - A read never waits for another: a worker pool grows whenever no worker is
//   free, so a read that never answers costs one worker, never the window or
//   the reads behind it. Idle workers end after a while.
// - Workers never touch windows or their objects. A read function gets only
//   what it captured by value; the ring is the one call a worker makes, and
//   it must only post (PostMessage), under the object's lock, never after the
//   object is gone.
// - Answered and given-up reads are run by RunFinished, in the order they
//   finished, on the owning thread: the answer with its value, a read past
//   its deadline with its give-up function. Once given up (its deadline, Cancel
//   or the object going), whatever the worker finishes later is dropped,
//   never applied.
// - Destroying the object waits for nothing: workers still in the kernel own
//   their read and a share of the object's state, and drop their result when
//   they return, even during the process's exit.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace os {

// Runs the task on a worker of the process's pool; never waits for a busy
// worker. A task that throws a std::exception ends quietly.
void RunOnWorker(std::function<void()> task);

// Calls fn on the process's deadline thread at `when` (at once if past). fn
// must be short and must not wait.
void CallAt(std::chrono::steady_clock::time_point when, std::function<void()> fn);

class BackgroundReads {
public:
    using Id = std::uint64_t;

    BackgroundReads();
    ~BackgroundReads();
    BackgroundReads(const BackgroundReads&) = delete;
    BackgroundReads& operator=(const BackgroundReads&) = delete;

    // What tells the owning thread that RunFinished has work: called on any
    // thread, under a lock, at most once until the next RunFinished.
    void SetRing(std::function<void()> ring);

    // Starts read() on a worker; apply(value) runs in RunFinished when it
    // answered before the deadline, giveUp() when the deadline came first.
    template <class R, class Read, class Apply, class GiveUp>
    Id Start(Read read, Apply apply, GiveUp giveUp, std::chrono::milliseconds deadline) {
        auto slot = std::make_unique<TypedSlot<R>>(std::move(apply), std::move(giveUp));
        const Id id = Open(std::move(slot), deadline);
        RunOnWorker([shared = m_shared, id, read = std::move(read)]() mutable {
            R value = read();
            Finish(shared, id, [&value](Slot& s) { static_cast<TypedSlot<R>&>(s).value = std::move(value); });
        });
        return id;
    }

    // Runs the finished reads' functions on this thread; how many ran.
    std::size_t RunFinished();
    // Reads started and not yet run by RunFinished.
    std::size_t Pending() const;
    // Whether this read is still waiting for its worker.
    bool Waiting(Id id) const;
    // Gives a read up (or all): nothing of it runs, whatever its worker does.
    void Cancel(Id id);
    void CancelAll();

private:
    struct Slot {
        virtual ~Slot() = default;
        virtual void Run() = 0;  // apply when answered, else give up
    };
    template <class R>
    struct TypedSlot final : Slot {
        TypedSlot(std::function<void(R&)> a, std::function<void()> g)
            : apply(std::move(a)), giveUp(std::move(g)) {}
        void Run() override {
            if (value)
                apply(*value);
            else if (giveUp)
                giveUp();
        }
        std::function<void(R&)> apply;
        std::function<void()> giveUp;
        std::optional<R> value;  // set by the worker that answered in time
    };
    struct Shared;

    Id Open(std::unique_ptr<Slot> slot, std::chrono::milliseconds deadline);
    // From the worker: the slot gets its value and waits for RunFinished, if
    // the read is still open.
    static void Finish(const std::shared_ptr<Shared>& shared, Id id, const std::function<void(Slot&)>& fill);

    std::shared_ptr<Shared> m_shared;
};

}  // namespace os
