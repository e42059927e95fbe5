// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiscNames.h"

#include <exception>
#include <utility>

namespace varrow {

namespace {

// The answer of `work`; an error it raises (libcurl that cannot start, no
// memory) is an answer without names, said in one line.
template <typename Work> online::MetadataResult answerOf(const Work& work) {
    try {
        return work();
    } catch (const std::exception& error) {
        online::MetadataResult failed;
        failed.message = std::string("The disc could not be looked up: ") + error.what();
        return failed;
    }
}

// `result` with no release chosen: the disc's own names stand.
void dropRelease(online::MetadataResult& result) {
    result.chosen.reset();
    result.metadata.reset();
    result.cover = {};
    result.message = "No release chosen: the disc's own names stand";
}

} // namespace

DiscNames::DiscNames(online::MetadataLookup lookup, QObject* parent)
    : QObject(parent)
    , lookup_(std::move(lookup)) {}

DiscNames::~DiscNames() {
    cancel();
}

void DiscNames::discRead(online::MetadataRequest request) {
    const std::string discId = online::MusicBrainzDiscId::of(request.toc).id;
    if (!discId.empty() && discId == discId_ && (result_ || pending_)) {
        // The same disc: its names stand (the list shows them again).
        if (result_)
            Q_EMIT changed();
        return;
    }
    clear();
    discId_ = discId;
    request_ = std::move(request);
    start([this](const online::MetadataRequest& names, std::stop_token stop) {
        return lookup_.lookUp(names, std::move(stop));
    });
}

void DiscNames::refresh() {
    if (discId_.empty() && !result_ && !pending_)
        return;
    request_.freshness = online::Freshness::Refresh;
    request_.releaseId = userChoice_.value_or(std::string());
    start([this](const online::MetadataRequest& names, std::stop_token stop) {
        return lookup_.lookUp(names, std::move(stop));
    });
}

void DiscNames::clear() {
    cancel();
    pending_ = nullptr;
    ++discSerial_;
    discId_.clear();
    request_ = {};
    result_.reset();
    asked_ = false;
    userChoice_.reset();
}

void DiscNames::pause() {
    cancel();
}

void DiscNames::resume() {
    if (pending_ && !running_)
        start(pending_);
}

void DiscNames::choose(std::optional<std::size_t> index) {
    if (!result_)
        return;
    asked_ = true;
    if (!index) {
        cancel();
        pending_ = nullptr;
        userChoice_ = std::string();
        dropRelease(*result_);
        Q_EMIT changed();
        return;
    }
    userChoice_ = result_->releases.at(*index).id;
    if (result_->chosen == index)
        return;
    start([this, earlier = *result_, index = *index](const online::MetadataRequest& names,
                                                     std::stop_token stop) {
        return lookup_.choose(earlier, names, index, std::move(stop));
    });
}

bool DiscNames::choiceWanted() const {
    return result_ && !asked_ && !userChoice_ && result_->releases.size() > 1 && result_->chosen;
}

void DiscNames::start(Work work) {
    cancel();
    pending_ = work;
    running_ = true;
    const uint64_t generation = generation_;
    online::MetadataRequest names = request_;
    names.withCover = false;
    thread_ = std::jthread(
        [this, generation, names = std::move(names), work = std::move(work)](std::stop_token stop) {
            const auto post = [this, generation](online::MetadataResult result, bool last) {
                QMetaObject::invokeMethod(
                    this,
                    [this, generation, last, result = std::move(result)]() mutable {
                        arrived(generation, std::move(result), last);
                    },
                    Qt::QueuedConnection);
            };
            online::MetadataResult named = answerOf([&] { return work(names, stop); });
            if (!named.metadata || stop.stop_requested()) {
                post(std::move(named), true);
                return;
            }
            online::MetadataRequest withCover = names;
            withCover.withCover = true;
            const std::size_t chosen = *named.chosen;
            post(named, false);
            post(answerOf([&] { return lookup_.choose(named, withCover, chosen, stop); }), true);
        });
    Q_EMIT changed();
}

void DiscNames::cancel() {
    // Whatever the thread posts from now on is of an earlier count.
    ++generation_;
    running_ = false;
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void DiscNames::arrived(uint64_t generation, online::MetadataResult result, bool last) {
    if (generation != generation_)
        return;
    running_ = false;
    if (last)
        pending_ = nullptr;
    if (result.outcome == online::MusicBrainzLookup::Outcome::Cancelled)
        return;
    result_ = std::move(result);
    if (userChoice_ && userChoice_->empty() && result_->metadata)
        dropRelease(*result_);
    Q_EMIT changed();
}

} // namespace varrow
