// A sound server that takes every connection and never answers: the kernel
// completes each connection to its socket, and nothing ever reads from it,
// as with a sound server that hangs. Tests point PULSE_SERVER at address().
#pragma once

#include <filesystem>
#include <string>

namespace varrow::testing {

class SilentSoundServer final {
public:
    // Listens on a socket in `folder`.
    explicit SilentSoundServer(const std::filesystem::path& folder);
    ~SilentSoundServer();
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
