// SPDX-License-Identifier: GPL-3.0-or-later
// The names of the disc the window shows, looked up in MusicBrainz on a
// thread of its own so that the window stays responsive while the service
// answers (or does not: every request is bounded by its timeouts). One disc
// at a time: another disc, or a batch, cancels a lookup in progress, whose
// answer then never arrives. A disc read again keeps what was found for it,
// with no second wait, until the user refreshes; the release the user chose
// for it stays chosen.
//
// Everything here is called on the user-interface thread, and changed() is
// emitted there.
#pragma once

#include "MetadataLookup.h"

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace varrow {

class DiscNames final : public QObject {
    Q_OBJECT
public:
    explicit DiscNames(online::MetadataLookup lookup, QObject* parent = nullptr);
    // Cancels a lookup in progress and waits for its thread, which a
    // cancellation ends at once.
    ~DiscNames() override;
    Q_DISABLE_COPY_MOVE(DiscNames)

    // A disc was read: it is looked up, unless it is the disc whose names
    // are here already (or on their way).
    void discRead(online::MetadataRequest request);
    // The user's refresh: the service is asked again for the disc, for the
    // release the user chose where there is one.
    void refresh();
    // No disc: forgets the names and cancels their lookup.
    void clear();
    // A batch starts: a lookup in progress is cancelled; resume() starts it
    // again once the batch has ended.
    void pause();
    void resume();
    // The user chose release `index` of the result's releases; none keeps
    // the disc's own names.
    void choose(std::optional<std::size_t> index);

    bool running() const { return running_; }
    // The last answer for the disc; null before the first.
    const online::MetadataResult* result() const { return result_ ? &*result_ : nullptr; }
    // Counts the discs read: a value kept across a wait tells whether the
    // disc is still the same afterwards.
    uint64_t discSerial() const { return discSerial_; }
    // The disc is on several releases and the user was not asked yet which
    // is theirs; asking() notes that they are being asked.
    bool choiceWanted() const;
    void asking() { asked_ = true; }

Q_SIGNALS:
    // A lookup started, or its answer or the user's choice took effect.
    void changed();

private:
    // The names of the disc, from the request without its cover.
    using Work = std::function<online::MetadataResult(const online::MetadataRequest& request,
                                                      std::stop_token stop)>;

    // Runs `work` on the thread, and then fetches the chosen release's
    // cover: the names show while the cover is on its way.
    void start(Work work);
    void cancel();
    void arrived(uint64_t generation, online::MetadataResult result, bool last);

    online::MetadataLookup lookup_;
    // Ended before the lookup it uses goes.
    std::jthread thread_;
    // Counts the lookups started and cancelled: an answer of another count
    // is stale.
    uint64_t generation_ = 0;
    // The names are on their way.
    bool running_ = false;
    // The work in progress, names or cover, for resume().
    Work pending_;

    uint64_t discSerial_ = 0;
    std::string discId_;
    online::MetadataRequest request_;
    std::optional<online::MetadataResult> result_;
    bool asked_ = false;
    // The release the user chose: its ID, or empty for none.
    std::optional<std::string> userChoice_;
};

} // namespace varrow
