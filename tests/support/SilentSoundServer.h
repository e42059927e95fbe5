// SPDX-License-Identifier: GPL-3.0-or-later
// A sound server that takes every connection and never answers: the kernel
// completes each connection to its socket and nothing ever reads from it,
// as with a server that hangs. Tests point PULSE_SERVER at address().
#pragma once

#include <cstring>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace varrow::testing {

class SilentSoundServer final {
public:
    explicit SilentSoundServer(const std::filesystem::path& folder)
        : socket_(folder / "silent-sound-server") {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
        listening_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // The queue holds far more connections than a test makes.
        if (socket_.native().size() < sizeof address.sun_path &&
            ::bind(listening_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listening_, 128) == 0) {
            address_ = "unix:" + socket_.string();
        }
    }
    ~SilentSoundServer() {
        ::close(listening_);
        std::error_code ignored;
        std::filesystem::remove(socket_, ignored);
    }
    SilentSoundServer(const SilentSoundServer&) = delete;
    SilentSoundServer& operator=(const SilentSoundServer&) = delete;

    // "unix:" and the socket's path; empty when no socket could be made.
    const std::string& address() const { return address_; }

private:
    std::filesystem::path socket_;
    std::string address_;
    int listening_ = -1;
};

} // namespace varrow::testing
