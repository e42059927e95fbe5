// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeptAnswer.h"

#include <system_error>

namespace online {

bool isFresh(const CachedAnswer& answer, std::chrono::system_clock::time_point now) {
    if (answer.status == 200) {
        return true;
    }
    const auto age = now - answer.storedAt;
    return answer.status == 404 && age >= std::chrono::hours(0) && age < std::chrono::hours(24);
}

std::string keepAnswer(const AnswerCache& cache, std::string_view key, long status,
                       std::string body) {
    try {
        cache.store(key, {status, std::move(body), std::chrono::system_clock::now()});
    } catch (const std::system_error& error) {
        return std::string("The answer could not be kept for offline use: ") + error.what();
    }
    return {};
}

void addSentence(std::string& message, const std::string& sentence) {
    if (!sentence.empty()) {
        message += (message.empty() ? "" : ". ") + sentence;
    }
}

} // namespace online
