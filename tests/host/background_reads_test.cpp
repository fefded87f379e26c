// The rules of background reads, with reads that block until the test lets
// them go: what answers late is never applied, a read that never answers
// holds up nothing else, and an owner that goes leaves workers nothing to
// touch (AddressSanitizer sees any use of what went).
#include "platform/os/BackgroundReads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A gate that reads wait at until the test opens it; it outlives the test
// body, since a worker may still hold it.
struct Gate {
    std::shared_ptr<std::promise<void>> open = std::make_shared<std::promise<void>>();
    std::shared_future<void> passed = open->get_future().share();
    void Open() { open->set_value(); }
};

// Runs what finished until `done` holds or the time is up, as the window's
// message loop would on each ring.
template <class Pred>
bool RunUntil(os::BackgroundReads& reads, Pred done, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        reads.RunFinished();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(BackgroundReads, AnAnswerAfterTheDeadlineIsNeverAppliedAndTheGiveUpComesOnceAtTheDeadline) {
    os::BackgroundReads reads;
    Gate gate;
    int applied = 0, givenUp = 0;
    const auto started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration gaveUpAfter{};
    reads.Start<std::string>(
        [passed = gate.passed] {
            passed.wait();
            return std::string("late");
        },
        [&](std::string&) { ++applied; },
        [&] {
            ++givenUp;
            gaveUpAfter = std::chrono::steady_clock::now() - started;
        },
        150ms);
    std::this_thread::sleep_for(50ms);
    reads.RunFinished();
    EXPECT_EQ(givenUp, 0) << "given up before its deadline";
    ASSERT_TRUE(RunUntil(reads, [&] { return givenUp > 0; }));
    EXPECT_GE(gaveUpAfter, 150ms);
    EXPECT_EQ(reads.Pending(), 0u);

    gate.Open();  // the worker answers now, too late
    std::this_thread::sleep_for(100ms);
    reads.RunFinished();
    EXPECT_EQ(applied, 0);
    EXPECT_EQ(givenUp, 1);
}

TEST(BackgroundReads, ReadsThatNeverAnswerHoldUpNoneOfTheOthers) {
    os::BackgroundReads reads;
    Gate gate;
    // More hung reads than any fixed pool would have, each started before the quick ones.
    for (int i = 0; i < 40; ++i)
        reads.Start<int>(
            [passed = gate.passed] {
                passed.wait();
                return 0;
            },
            [](int&) {}, [] {}, 60s);
    std::vector<int> answers;
    for (int i = 0; i < 60; ++i)
        reads.Start<int>([i] { return i; }, [&](int& v) { answers.push_back(v); }, [] {}, 60s);
    EXPECT_TRUE(RunUntil(
        reads, [&] { return answers.size() == 60; }, 3000ms))
        << answers.size() << " answered";
    EXPECT_EQ(reads.Pending(), 40u);
    reads.CancelAll();
    gate.Open();
}

TEST(BackgroundReads, AnOwnerThatGoesWaitsForNoWorkerAndLeavesItNothingToTouch) {
    Gate gate;
    auto rings = std::make_shared<std::atomic<int>>(0);
    const auto before = std::chrono::steady_clock::now();
    {
        auto shown = std::make_unique<std::vector<std::string>>();
        os::BackgroundReads reads;
        reads.SetRing([rings] { ++*rings; });
        reads.Start<std::string>(
            [passed = gate.passed] {
                passed.wait();
                return std::string(1 << 16, 'x');
            },
            [v = shown.get()](std::string& s) { v->push_back(s); }, [] {}, 60s);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s) << "the owner waited for its worker";
    gate.Open();
    std::this_thread::sleep_for(200ms);  // the worker returns into what is left of the reads
    EXPECT_EQ(*rings, 0) << "a ring after the owner went";
}

TEST(BackgroundReads, RingsOnceUntilRunAndCancelledReadsNeverRun) {
    os::BackgroundReads reads;
    std::atomic<int> rings{0};
    reads.SetRing([&rings] { ++rings; });
    Gate gate;
    int ran = 0;
    const auto cancelled = reads.Start<int>(
        [passed = gate.passed] {
            passed.wait();
            return 1;
        },
        [&](int&) { ran += 100; }, [&] { ran += 100; }, 60s);
    for (int i = 0; i < 5; ++i) reads.Start<int>([] { return 1; }, [&](int&) { ++ran; }, [] {}, 60s);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(rings, 1) << "one ring for all that finished since the last run";
    EXPECT_TRUE(reads.Waiting(cancelled));
    reads.Cancel(cancelled);
    EXPECT_FALSE(reads.Waiting(cancelled));
    gate.Open();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(reads.RunFinished(), 5u);
    EXPECT_EQ(ran, 5);
    EXPECT_EQ(reads.Pending(), 0u);
    reads.Start<int>([] { return 1; }, [&](int&) { ++ran; }, [] {}, 60s);
    ASSERT_TRUE(RunUntil(reads, [&] { return ran == 6; }));
    EXPECT_EQ(rings, 2) << "rings again after a run";
}

}  // namespace
