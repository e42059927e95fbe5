// SPDX-License-Identifier: GPL-3.0-or-later
#include "AccurateRipCheck.h"

#include "AccurateRipMatch.h"
#include "AnswerCache.h"
#include "HttpClient.h"

#include <exception>
#include <memory>
#include <utility>

namespace {

using online::AccurateRipAnswer;
using Kind = AccurateRipAnswer::Kind;

// How long a wait sleeps before it lets the caller's work run again.
constexpr auto WAIT_SLICE = std::chrono::milliseconds(20);

AccurateRipAnswer unavailable(std::string message) {
    AccurateRipAnswer answer;
    answer.kind = Kind::Unavailable;
    answer.message = std::move(message);
    return answer;
}

} // namespace

std::string AccurateRipResultText(const TAccurateRipResult& result) {
    const std::string confidence = std::to_string(result.Confidence);
    switch (result.Status) {
    case TAccurateRipStatus::Matched:
        return "Accurately ripped (confidence " + confidence + ") " + (result.V2 ? "[v2]" : "[v1]");
    case TAccurateRipStatus::NotMatched:
        return "Not matched (database confidence " + confidence + ")";
    case TAccurateRipStatus::NotInDatabase:
        return "Not in database";
    case TAccurateRipStatus::Unavailable:
        return "Database not reached";
    case TAccurateRipStatus::NotInTime:
        return "Database not reached in time";
    case TAccurateRipStatus::Waiting:
        return "Waiting for the database";
    case TAccurateRipStatus::NotComputed:
        break;
    }
    return "Not computed";
}

TAccurateRipDatabase AccurateRipDatabase(online::AccurateRipLookupSettings settings) {
    TAccurateRipDatabase database;
    // One try, one retry after a 503 and its back-off, and a second for the
    // cache.
    database.LongestLookup =
        2 * settings.totalTimeout + settings.firstBackOff + std::chrono::seconds(1);
    try {
        auto client = std::make_shared<const online::HttpClient>();
        auto cache =
            std::make_shared<const online::AnswerCache>(online::AccurateRipLookup::cacheFolder());
        auto lookup =
            std::make_shared<const online::AccurateRipLookup>(*client, *cache, std::move(settings));
        database.LookUp = [client, cache, lookup](const online::AccurateRipDisc& disc,
                                                  std::stop_token stop) {
            return lookup->lookUp(disc, std::move(stop));
        };
    } catch (const std::exception& error) {
        const std::string reason = error.what();
        database.LookUp = [reason](const online::AccurateRipDisc&, std::stop_token) {
            return unavailable("Cannot look the disc up in the AccurateRip database: " + reason);
        };
    }
    return database;
}

TAccurateRipCheck::TAccurateRipCheck(online::AccurateRipDisc disc, TAccurateRipDatabase database)
    : disc_(disc)
    , database_(std::move(database))
    , started_(std::chrono::steady_clock::now())
    , thread_([this](std::stop_token stop) { lookUp(std::move(stop)); }) {}

TAccurateRipCheck::~TAccurateRipCheck() = default;

void TAccurateRipCheck::lookUp(std::stop_token stop) {
    AccurateRipAnswer answer;
    try {
        answer = database_.LookUp(disc_, stop);
    } catch (const std::exception& error) {
        answer = unavailable(std::string("Cannot look the disc up in the AccurateRip database: ") +
                             error.what());
    }
    const std::lock_guard lock(mutex_);
    if (!answer_) {
        answer_ = std::move(answer);
    }
    ended_.notify_all();
}

bool TAccurateRipCheck::Answered() const {
    const std::lock_guard lock(mutex_);
    return answer_.has_value();
}

void TAccurateRipCheck::WaitForAnswer(const std::function<bool()>& whileWaiting) {
    const auto deadline = started_ + database_.LongestLookup;
    std::unique_lock lock(mutex_);
    while (!answer_) {
        if (std::chrono::steady_clock::now() >= deadline) {
            late_ = true;
            answer_ = unavailable("The AccurateRip database did not answer in time");
            break;
        }
        ended_.wait_for(lock, WAIT_SLICE);
        if (answer_ || !whileWaiting) {
            continue;
        }
        lock.unlock();
        const bool goOn = whileWaiting();
        lock.lock();
        if (!goOn && !answer_) {
            answer_ = unavailable("The AccurateRip lookup was stopped");
        }
    }
    lock.unlock();
    thread_.request_stop();
}

void TAccurateRipCheck::Stop() {
    {
        const std::lock_guard lock(mutex_);
        if (!answer_) {
            answer_ = unavailable("The AccurateRip lookup was stopped");
        }
    }
    thread_.request_stop();
}

TAccurateRipResult TAccurateRipCheck::ResultOf(int audioTrack, uint32_t v1, uint32_t v2) const {
    const std::lock_guard lock(mutex_);
    TAccurateRipResult result;
    if (!answer_) {
        result.Status = TAccurateRipStatus::Waiting;
        return result;
    }
    switch (answer_->kind) {
    case Kind::Found:
        break;
    case Kind::NotInDatabase:
        result.Status = TAccurateRipStatus::NotInDatabase;
        return result;
    case Kind::Unavailable:
    case Kind::Cancelled:
        result.Status = late_ ? TAccurateRipStatus::NotInTime : TAccurateRipStatus::Unavailable;
        return result;
    }
    const online::AccurateRipTrackResult track =
        online::matchTrack(disc_, answer_->entries, audioTrack, v1, v2);
    result.Confidence = track.confidence;
    switch (track.verdict) {
    case online::AccurateRipVerdict::MatchedV2:
        result.Status = TAccurateRipStatus::Matched;
        result.V2 = true;
        break;
    case online::AccurateRipVerdict::MatchedV1:
        result.Status = TAccurateRipStatus::Matched;
        break;
    case online::AccurateRipVerdict::NotMatched:
        result.Status = TAccurateRipStatus::NotMatched;
        break;
    case online::AccurateRipVerdict::NotInDatabase:
        result.Status = TAccurateRipStatus::NotInDatabase;
        break;
    }
    return result;
}

std::string TAccurateRipCheck::AnswerText() const {
    const std::lock_guard lock(mutex_);
    if (!answer_) {
        return {};
    }
    switch (answer_->kind) {
    case Kind::Found: {
        const std::size_t entries = answer_->entries.size();
        return std::string("found, ") + std::to_string(entries) +
               (entries == 1 ? " entry" : " entries") + (answer_->fromCache ? " (cached)" : "");
    }
    case Kind::NotInDatabase:
        return "the disc is not in the database";
    case Kind::Unavailable:
    case Kind::Cancelled:
        break;
    }
    return answer_->message.empty() ? std::string("not reached") : answer_->message;
}

std::string TAccurateRipCheck::Problem() const {
    const std::lock_guard lock(mutex_);
    if (!answer_ || answer_->kind == Kind::Found || answer_->kind == Kind::NotInDatabase) {
        return {};
    }
    return answer_->message;
}
