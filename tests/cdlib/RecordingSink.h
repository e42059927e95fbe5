// SPDX-License-Identifier: GPL-3.0-or-later
// An audio sink that records what digital playback sends it, takes only as
// many bytes as the test allows and reports the latency the test sets, so
// that a test decides how far playback gets.
#pragma once

#include "playback/AudioSink.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cdlib::testing {

// What the test and its sinks share; the sinks belong to the library.
class SinkLog final {
public:
    // Lets the sinks take `sectors` more sectors.
    void allow(int32_t sectors);
    void setLatency(std::chrono::microseconds latency);
    // From now on every write fails, as when the sound server goes away.
    void breakSink();
    // What the sinks answer while they connect; Ready unless set.
    void setState(AudioSink::State state);

    // What arrived since the last drop.
    std::vector<uint8_t> sinceDrop() const;
    size_t sectorsSinceDrop() const;
    // Every byte that arrived, drops or not.
    std::vector<uint8_t> everything() const;
    std::vector<std::string> events() const;
    int count(const std::string& event) const;
    int sinksMade() const;

    // The sink's side, under the log's lock.
    std::optional<size_t> take(std::span<const uint8_t> pcm, std::chrono::milliseconds wait);
    void note(const std::string& event);
    void dropped();
    std::chrono::microseconds latency() const;
    AudioSink::State state() const;
    void made();

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::vector<uint8_t>> segments_ = {{}};
    std::vector<std::string> events_;
    uint64_t room_ = 0;
    std::chrono::microseconds latency_{0};
    bool broken_ = false;
    AudioSink::State state_ = AudioSink::State::Ready;
    int sinksMade_ = 0;
};

class RecordingSink final : public AudioSink {
public:
    explicit RecordingSink(std::shared_ptr<SinkLog> log);
    ~RecordingSink() override;

    State state() override;
    std::optional<size_t> write(std::span<const uint8_t> pcm,
                                std::chrono::milliseconds wait) override;
    void cork(bool corked) override;
    void drop() override;
    void finish() override;
    std::optional<std::chrono::microseconds> latency() override;

private:
    std::shared_ptr<SinkLog> log_;
};

// Waits (at most 5 s) until `done` holds; false when it never did.
bool eventually(const std::function<bool()>& done);

// Makes RecordingSinks that write to `log`.
AudioSinkFactory recordingSinks(std::shared_ptr<SinkLog> log);

} // namespace cdlib::testing
