// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a file of the online services' cache: an answer read
// from them has a status and a time the cache could have written, its body
// is the bytes' tail, and written again it reads back the same.
#include "AnswerCache.h"
#include "FuzzCheck.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view key = "dBAR-002-0000f21c-00027ef8-05021002.bin";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::optional<online::CachedAnswer> answer = online::parseCacheFile(bytes, key);
    if (!answer) {
        return 0;
    }
    check(answer->status >= 100 && answer->status <= 599);
    check(answer->storedAt.time_since_epoch().count() >= 0);
    check(bytes.ends_with(answer->body));
    check(!online::parseCacheFile(bytes, "another key"));

    const std::optional<online::CachedAnswer> again =
        online::parseCacheFile(online::cacheFileBytes(key, *answer), key);
    check(again && again->status == answer->status && again->body == answer->body &&
          again->storedAt == answer->storedAt);
    return 0;
}
