// SPDX-License-Identifier: GPL-3.0-or-later
// The rules both metadata services keep their answers by: how long an
// answer the cache kept stands without asking the service again, and
// storing one without letting a full or read-only disk fail the lookup
// that already has it, only saying so.
#pragma once

#include "AnswerCache.h"

#include <chrono>
#include <string>
#include <string_view>

namespace online {

// A found answer (200) stands for good, "not known" (404) for a day, since
// the service may learn the disc; anything else is asked again.
bool isFresh(const CachedAnswer& answer,
             std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// Stores the answer under `key`, stamped now. Returns a sentence for the
// user when it could not be kept ("The answer could not be kept for offline
// use: Cannot write ...: No space left on device"), else nothing.
std::string keepAnswer(const AnswerCache& cache, std::string_view key, long status,
                       std::string body);

// A lookup's message is one line of sentences: adds `sentence` (if any).
void addSentence(std::string& message, const std::string& sentence);

} // namespace online
