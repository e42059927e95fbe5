// SPDX-License-Identifier: GPL-3.0-or-later
// The AccurateRip side of a rip: the disc is looked up in the database on a
// thread of its own from the moment the check is made, so that neither
// front end waits for the network while it reads, and each track's
// checksums are held against the answer once it has come.
//
// Made, asked and stopped on one thread (the session's); only the lookup
// runs beside it, and it ends within its own timeouts or at once when
// stopped. The destructor stops it and waits for it.
#pragma once

#include "AccurateRipDisc.h"
#include "AccurateRipLookup.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

// How a track's AccurateRip checksums compare with the database.
enum class TAccurateRipStatus {
    NotComputed,   // not 44.1 kHz stereo audio, or not read whole
    Waiting,       // the database has not answered yet
    Matched,       // Confidence: the entries that agree; V2 says which checksum
    NotMatched,    // Confidence: the database's best for the track
    NotInDatabase, // the database knows neither the disc nor the track
    Unavailable,   // the database could not be reached, or the lookup was stopped
    NotInTime,     // no answer before the rip ended
};

struct TAccurateRipResult {
    TAccurateRipStatus Status = TAccurateRipStatus::NotComputed;
    int Confidence = 0;
    bool V2 = false;
    bool operator==(const TAccurateRipResult&) const = default;
};

// "Accurately ripped (confidence N) [v2]" (or [v1]), "Not matched (database
// confidence N)", "Not in database", "Database not reached", "Database not
// reached in time", "Waiting for the database", "Not computed".
std::string AccurateRipResultText(const TAccurateRipResult& result);

// Where the answers come from: the database over HTTP for the program, a
// test's own for tests. `LookUp` runs on the check's thread and ends soon
// after `stop` is requested.
struct TAccurateRipDatabase {
    std::function<online::AccurateRipAnswer(const online::AccurateRipDisc&, std::stop_token stop)>
        LookUp;
    // The longest a lookup takes before it gives up by itself: its
    // timeouts and retries.
    std::chrono::milliseconds LongestLookup{0};
};

// The database VARROW_ACCURATERIP_URL names (else AccurateRip's own), its
// answers kept in the program's cache.
TAccurateRipDatabase AccurateRipDatabase(online::AccurateRipLookupSettings settings =
                                             online::AccurateRipLookupSettings::fromEnvironment());

class TAccurateRipCheck final {
public:
    // Starts looking `disc` up.
    TAccurateRipCheck(online::AccurateRipDisc disc, TAccurateRipDatabase database);
    ~TAccurateRipCheck();
    TAccurateRipCheck(const TAccurateRipCheck&) = delete;
    TAccurateRipCheck& operator=(const TAccurateRipCheck&) = delete;

    const online::AccurateRipDisc& Disc() const { return disc_; }

    // Whether the lookup has ended, with an answer or without; never waits.
    bool Answered() const;
    // Waits until the lookup ends, at most until the longest lookup has
    // passed since it started, calling `whileWaiting` between short waits;
    // `whileWaiting` answering false stops the lookup at once. A lookup
    // still going at the end is stopped and counts as not in time.
    void WaitForAnswer(const std::function<bool()>& whileWaiting = {});
    // Stops the lookup (the disc changed); if it had not answered, it
    // counts as unavailable.
    void Stop();

    // Audio track `audioTrack` (0 for the disc's first) with the AccurateRip
    // checksums of its reading, against the answer.
    TAccurateRipResult ResultOf(int audioTrack, uint32_t v1, uint32_t v2) const;
    // The answer in one line for the user and the log: "found, 3 entries",
    // "the disc is not in the database", why it could not be reached, ...
    // Empty while the lookup goes on.
    std::string AnswerText() const;
    // What the user must be told once: why the database gave no answer;
    // empty when it answered (or has not yet).
    std::string Problem() const;

private:
    void lookUp(std::stop_token stop);

    online::AccurateRipDisc disc_;
    TAccurateRipDatabase database_;
    std::chrono::steady_clock::time_point started_;

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    std::optional<online::AccurateRipAnswer> answer_;
    bool late_ = false;

    // Last: it stops and joins before the state it fills goes.
    std::jthread thread_;
};
