// SPDX-License-Identifier: GPL-3.0-or-later
#include "OffsetSearch.h"

#include <utility>

namespace varrow {

OffsetSearch::OffsetSearch(online::DiscToc toc, std::function<void(int percent)> progress,
                           std::function<void(const TOffsetResult& result)> ended) {
    thread_ = std::jthread([this, toc = std::move(toc), progress = std::move(progress),
                            ended = std::move(ended)](std::stop_token stop) {
        TOffsetResult result;
        try {
            result = FindDriveReadOffset(toc, &abort_, progress, stop);
        } catch (const std::exception& error) {
            result.Kind = TOffsetResult::TKind::Failed;
            result.Message = std::string("The read offset could not be found: ") + error.what();
        }
        ended(result);
    });
}

OffsetSearch::~OffsetSearch() {
    cancel();
}

void OffsetSearch::cancel() {
    *static_cast<volatile int32_t*>(&abort_) = CR_TRUE;
    thread_.request_stop();
}

} // namespace varrow
