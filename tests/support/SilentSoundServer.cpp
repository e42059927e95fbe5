#include "SilentSoundServer.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace varrow::testing {

namespace {

// Far more connections than a test makes wait in the queue unaccepted.
constexpr int kBacklog = 128;

} // namespace

SilentSoundServer::SilentSoundServer(const std::filesystem::path& folder)
    : socket_(folder / "silent-sound-server") {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socket_.string();
    if (path.size() >= sizeof address.sun_path) {
        return;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    listening_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listening_ < 0 ||
        ::bind(listening_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listening_, kBacklog) != 0) {
        return;
    }
    address_ = "unix:" + path;
}

SilentSoundServer::~SilentSoundServer() {
    if (listening_ >= 0) {
        ::close(listening_);
    }
    std::error_code ignored;
    std::filesystem::remove(socket_, ignored);
}

} // namespace varrow::testing
