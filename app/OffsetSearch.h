// SPDX-License-Identifier: GPL-3.0-or-later
// The search for a drive's read offset (OffsetFinder.h) on a thread of its
// own, so that the window stays responsive while the database is asked and
// the drive reads. The thread is the only user of the CD library while it
// runs; the window covers itself with a progress box meanwhile. Cancelling
// (or destroying the search) stops the lookup through the stop token and
// the read in progress through the abort indicator, and waits for the
// thread.
#pragma once

#include "CdRip_dll.h"
#include "DiscToc.h"
#include "OffsetFinder.h"

#include <functional>
#include <thread>

namespace varrow {

class OffsetSearch final {
public:
    // Starts at once. `progress` and `ended` run on the search's thread;
    // `ended` last, once.
    OffsetSearch(online::DiscToc toc, std::function<void(int percent)> progress,
                 std::function<void(const TOffsetResult& result)> ended);
    ~OffsetSearch();
    OffsetSearch(const OffsetSearch&) = delete;
    OffsetSearch& operator=(const OffsetSearch&) = delete;

    void cancel();

private:
    // Read by the library's reads while they run.
    int32_t abort_ = CR_FALSE;
    std::jthread thread_;
};

} // namespace varrow
