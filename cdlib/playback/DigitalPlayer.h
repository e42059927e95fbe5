// SPDX-License-Identifier: GPL-3.0-or-later
// Digital playback: a thread of its own reads a section of the disc and
// writes it to an audio sink, so that a drive without an analogue path is
// heard through the desktop's sound server. The position reported is the
// sector being heard: what was written less what the sink still holds.
//
// The thread also makes the sink, connects it and tears it down, so that no
// caller ever waits for the sound server. Until the sink is ready (or for
// good, when no server answers) the section plays on a clock, silent, at
// the pace it would be heard; a sink that becomes ready takes over where
// the clock has got to, and the position waits there for the sound.
//
// Threading: every public function is called from one controlling thread
// and returns at once. The player thread alone reads the source and writes
// to the sink (so a drop can never be overtaken by a write of the old
// section); it picks up each request within one short sink wait. The
// destructor ends the thread and joins it.
#pragma once

#include "playback/AudioSink.h"
#include "playback/PlaySource.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace cdlib {

class DigitalPlayer final {
public:
    DigitalPlayer(std::unique_ptr<PlaySource> source, AudioSinkFactory sinks);
    ~DigitalPlayer();
    DigitalPlayer(const DigitalPlayer&) = delete;
    DigitalPlayer& operator=(const DigitalPlayer&) = delete;

    // Plays firstSector..lastSector (both included) from the start, throwing
    // away what is still queued of a section before.
    void play(int32_t firstSector, int32_t lastSector);
    // True pauses, false resumes; false when no section plays.
    bool pause(bool paused);
    // Ends the section; the sink drops what it holds.
    void stop();

    // True from play until the section has been heard to its end or stopped.
    bool playing();
    bool paused();
    // The sector being heard; once a section ends, the last one heard.
    int32_t position();
    void setPosition(int32_t sector);
    // The last sector of the section.
    int32_t sectionEnd();
    // No sound server answered: the player plays on its clock, silent.
    bool withoutSoundServer();

    // Sectors the player reads and writes at a time: small enough that a
    // request waits for little, large enough to keep the sink fed.
    static constexpr int32_t kSectorsPerWrite = 4;
    // How long a section waits for the sound server before the clock
    // starts: a server that answers within it is heard from the first
    // sector.
    static constexpr std::chrono::milliseconds kConnectGrace{200};

private:
    using Clock = std::chrono::steady_clock;

    void run();
    // One step of the thread with a sink: a request taken up, a write, or
    // the end of the section played out.
    void feed(std::unique_lock<std::mutex>& lock);
    // The sink that finished connecting takes over from the clock.
    void adopt(std::unique_ptr<AudioSink> ready, std::unique_lock<std::mutex>& lock);
    // The sector heard now, from the bytes written and the sink's latency.
    int32_t heardSector(std::unique_lock<std::mutex>& lock);

    std::unique_ptr<PlaySource> source_;
    AudioSinkFactory sinks_;

    std::mutex mutex_;
    std::condition_variable wake_;
    // The sink in use: null until the connection is settled, then the
    // server's or the clock. Only the thread replaces it, under mutex_.
    std::unique_ptr<AudioSink> sink_;
    bool withoutServer_ = false;
    // The request: every play and stop starts a new generation, which the
    // thread answers with a drop.
    uint64_t generation_ = 0;
    int32_t from_ = 0;
    int32_t to_ = 0;
    bool active_ = false;
    bool paused_ = false;
    bool quit_ = false;
    // What the thread has done for the current generation.
    uint64_t appliedGeneration_ = 0;
    uint64_t written_ = 0;
    int32_t heard_ = 0;

    // The thread's own.
    std::vector<uint8_t> buffer_;
    size_t pendingFrom_ = 0;
    size_t pendingTo_ = 0;
    int32_t next_ = 0;
    bool corked_ = false;
    bool finished_ = false;
    Clock::time_point lastProgress_;

    std::thread thread_;
};

// A sink without a sound device: it takes bytes as fast as they would play
// and reports the same latency a sound card with a short buffer would, so
// positions still move in real time. Stands in while the sound server
// connects, when none answers, and when it goes away under a playing
// section.
class ClockSink final : public AudioSink {
public:
    std::optional<size_t> write(std::span<const uint8_t> pcm,
                                std::chrono::milliseconds wait) override;
    void cork(bool corked) override;
    void drop() override;
    void finish() override {}
    std::optional<std::chrono::microseconds> latency() override;

    // How much the sink queues before it waits.
    static constexpr std::chrono::milliseconds kBuffer{100};

private:
    using Clock = std::chrono::steady_clock;
    // Bytes played by now; the caller holds mutex_.
    uint64_t playedBytes(Clock::time_point now) const;

    std::mutex mutex_;
    uint64_t written_ = 0;
    // Bytes played up to `since`, and whether playing goes on from there.
    uint64_t playedBefore_ = 0;
    Clock::time_point since_ = Clock::now();
    bool corked_ = false;
};

} // namespace cdlib
