// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder pool on its own, over every mix of encoders, tracks added and
// tracks finished: as many encodings run as there are encoders, room is
// left for exactly one track being read beside them, and every track ends.
#include "EncoderPool.h"

#include <algorithm>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Far beyond anything the pool needs: only a pool that hangs reaches it.
constexpr auto HANG = 10s;

struct PoolCase {
    int32_t encoders;
    int32_t added;
    int32_t finished;
};

std::vector<PoolCase> poolCases() {
    std::vector<PoolCase> cases;
    for (int32_t encoders = 1; encoders <= 3; ++encoders) {
        for (int32_t added = 0; added <= encoders + 2; ++added) {
            for (int32_t finished = 0; finished <= added; ++finished) {
                cases.push_back({encoders, added, finished});
            }
        }
    }
    return cases;
}

// Encodings that run until the test lets each one end.
class Encodings {
public:
    explicit Encodings(int32_t count)
        : released_(static_cast<std::size_t>(count), false) {}

    EncoderPool::Job job(int32_t index) {
        return [this, index](const std::atomic<bool>&) {
            std::unique_lock lock(mutex_);
            ++started_;
            ++running_;
            mostRunning_ = std::max(mostRunning_, running_);
            changed_.notify_all();
            changed_.wait(lock, [&] { return released_[static_cast<std::size_t>(index)]; });
            --running_;
            return TEncodingResult{};
        };
    }
    void release(int32_t index) {
        std::lock_guard lock(mutex_);
        released_[static_cast<std::size_t>(index)] = true;
        changed_.notify_all();
    }
    void releaseAll() {
        std::lock_guard lock(mutex_);
        std::fill(released_.begin(), released_.end(), true);
        changed_.notify_all();
    }
    // Waits, at most until a hang shows, for `count` encodings to start.
    int32_t startedOnce(int32_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, HANG, [&] { return started_ >= count; });
        return started_;
    }
    int32_t mostRunning() {
        std::lock_guard lock(mutex_);
        return mostRunning_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> released_;
    int32_t started_ = 0;
    int32_t running_ = 0;
    int32_t mostRunning_ = 0;
};

class Pool : public ::testing::TestWithParam<PoolCase> {};

TEST_P(Pool, RunsOneEncodingPerEncoderAndHasRoomForOneTrackBeingRead) {
    const auto [encoders, added, finished] = GetParam();
    const std::atomic<bool> stop = false;
    Encodings encodings(added);
    EncoderPool pool(encoders, stop);
    // A failed assertion still lets every encoding end, before the pool joins them.
    const std::unique_ptr<Encodings, void (*)(Encodings*)> releaser(
        &encodings, [](Encodings* all) { all->releaseAll(); });
    std::vector<std::future<TEncodingResult>> results;
    for (int32_t track = 0; track < added; ++track) {
        results.push_back(pool.add(encodings.job(track)));
    }
    for (int32_t track = 0; track < finished; ++track) {
        encodings.release(track);
        ASSERT_EQ(results[static_cast<std::size_t>(track)].wait_for(HANG),
                  std::future_status::ready)
            << "track " << track << " never ended";
    }
    ASSERT_TRUE(pool.waitUntilFewer(added - finished + 1, HANG));

    const int32_t inFlight = added - finished;
    EXPECT_EQ(encodings.startedOnce(std::min(added, finished + encoders)),
              std::min(added, finished + encoders));
    EXPECT_EQ(pool.inFlight(), inFlight);
    EXPECT_EQ(pool.capacity(), encoders + 1);
    EXPECT_EQ(pool.waitUntilFewer(pool.capacity(), 0ms), inFlight < encoders + 1);

    for (int32_t track = finished; track < added; ++track) {
        encodings.release(track);
    }
    for (auto& result : results) {
        EXPECT_EQ(result.wait_for(HANG), std::future_status::ready);
    }
    EXPECT_TRUE(pool.waitUntilFewer(1, HANG)) << "every track ends and leaves the pool";
    EXPECT_LE(encodings.mostRunning(), encoders);
}

INSTANTIATE_TEST_SUITE_P(EncodersAddedFinished, Pool, ::testing::ValuesIn(poolCases()),
                         [](const ::testing::TestParamInfo<PoolCase>& info) {
                             return std::to_string(info.param.encoders) + "Encoders" +
                                    std::to_string(info.param.added) + "Added" +
                                    std::to_string(info.param.finished) + "Finished";
                         });

} // namespace
