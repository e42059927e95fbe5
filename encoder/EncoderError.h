// SPDX-License-Identifier: GPL-3.0-or-later
// The failures of the encoder layer's FLAC and loudness code: a setting the
// library refuses, a stream that fails its own check. A failure of the byte
// sink reaches the caller as the sink raised it, not as one of these.
#pragma once

#include <stdexcept>
#include <string>

class EEncoderError : public std::runtime_error {
public:
    explicit EEncoderError(const std::string& message)
        : std::runtime_error(message) {}
};
