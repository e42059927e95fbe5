// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceUrl.h"

#include <cstdlib>

namespace online {

std::string serviceBaseUrl(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    std::string url = value && *value ? value : fallback;
    while (url.ends_with('/')) {
        url.pop_back();
    }
    return url;
}

} // namespace online
