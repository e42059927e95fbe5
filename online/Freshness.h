// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a lookup may answer from what the cache kept, or asks the service
// again (the user's "refresh"). Either way a service that cannot be reached
// leaves the kept answer in use.
#pragma once

namespace online {

enum class Freshness {
    PreferCache, // a found answer is kept for good, "not known" for a day
    Refresh      // ask the service, whatever the cache holds
};

} // namespace online
