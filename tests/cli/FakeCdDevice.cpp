// SPDX-License-Identifier: GPL-3.0-or-later
// A CD drive simulated below libcdio, for running the real varrow-rip as a
// user would against a drive: preloaded (LD_PRELOAD), it answers the
// system calls libcdio's Linux driver makes on one device node with what the
// kernel would say for a drive holding the disc image it is given.
//
// VARROW_FAKE_CD holds the drive, as key=value pairs separated by commas:
//   device=/dev/sr9        the node (it need not exist)
//   bin=/path/disc.bin     raw 2352-byte sectors from sector 0
//   tracks=0a;300a;12100d  each track's first sector, a audio or d data
//   leadout=12400          the lead-out's first sector
//   session=12100          the last session's first sector (0: one session)
//   speed=refuse           CDROM_SELECT_SPEED fails with EINVAL
//   remove=500             the disc goes away when a read reaches this sector
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace {

struct Track {
    int32_t start = 0;
    bool data = false;
};

struct Disc {
    std::string device;
    std::string bin;
    std::vector<Track> tracks;
    int32_t leadOut = 0;
    int32_t session = 0;
    bool refuseSpeed = false;
    int32_t removeAt = -1;
    bool removed = false;
};

std::mutex g_lock;
std::map<int, bool> g_handles; // fake descriptors, writable or not

Disc& disc() {
    static Disc parsed = [] {
        Disc result;
        const char* text = std::getenv("VARROW_FAKE_CD");
        std::string pairsText = text != nullptr ? text : "";
        size_t at = 0;
        while (at < pairsText.size()) {
            size_t end = pairsText.find(',', at);
            if (end == std::string::npos) {
                end = pairsText.size();
            }
            const std::string pair = pairsText.substr(at, end - at);
            at = end + 1;
            const size_t equals = pair.find('=');
            if (equals == std::string::npos) {
                continue;
            }
            const std::string key = pair.substr(0, equals);
            const std::string value = pair.substr(equals + 1);
            if (key == "device") {
                result.device = value;
            } else if (key == "bin") {
                result.bin = value;
            } else if (key == "leadout") {
                result.leadOut = std::atoi(value.c_str());
            } else if (key == "session") {
                result.session = std::atoi(value.c_str());
            } else if (key == "speed") {
                result.refuseSpeed = value == "refuse";
            } else if (key == "remove") {
                result.removeAt = std::atoi(value.c_str());
            } else if (key == "tracks") {
                size_t from = 0;
                while (from < value.size()) {
                    size_t stop = value.find(';', from);
                    if (stop == std::string::npos) {
                        stop = value.size();
                    }
                    const std::string item = value.substr(from, stop - from);
                    result.tracks.push_back({std::atoi(item.c_str()), item.back() == 'd'});
                    from = stop + 1;
                }
            }
        }
        return result;
    }();
    return parsed;
}

template <typename F> F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool isDevice(const char* path) {
    return path != nullptr && !disc().device.empty() && disc().device == path;
}

int fail(int error) {
    errno = error;
    return -1;
}

void msfOf(int32_t sector, cdrom_msf0& msf) {
    const int32_t lba = sector + 150;
    msf.minute = static_cast<uint8_t>(lba / (60 * 75));
    msf.second = static_cast<uint8_t>(lba / 75 % 60);
    msf.frame = static_cast<uint8_t>(lba % 75);
}

void setSense(cdrom_generic_command* command, uint8_t key, uint8_t asc, uint8_t ascq) {
    if (command->sense == nullptr) {
        return;
    }
    auto* sense = reinterpret_cast<uint8_t*>(command->sense);
    std::memset(sense, 0, sizeof(request_sense));
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = 10;
    sense[12] = asc;
    sense[13] = ascq;
}

int readCd(cdrom_generic_command* command) {
    Disc& d = disc();
    const uint8_t* cdb = command->cmd;
    const int32_t lba = cdb[2] << 24 | cdb[3] << 16 | cdb[4] << 8 | cdb[5];
    const int32_t count = cdb[6] << 16 | cdb[7] << 8 | cdb[8];
    if (d.removeAt >= 0 && lba + count > d.removeAt) {
        d.removed = true;
    }
    if (d.removed) {
        setSense(command, 2, 0x3a, 0x00);
        return fail(EIO);
    }
    if (lba < 0 || lba + count > d.leadOut ||
        command->buflen < static_cast<unsigned>(count) * CD_FRAMESIZE_RAW) {
        setSense(command, 5, 0x21, 0x00);
        return fail(EIO);
    }
    const int fd = real<int (*)(const char*, int, ...)>("open")(d.bin.c_str(), O_RDONLY);
    if (fd < 0) {
        return fail(EIO);
    }
    const size_t bytes = static_cast<size_t>(count) * CD_FRAMESIZE_RAW;
    const ssize_t got =
        pread(fd, command->buffer, bytes, static_cast<off_t>(lba) * CD_FRAMESIZE_RAW);
    real<int (*)(int)>("close")(fd);
    return got == static_cast<ssize_t>(bytes) ? 0 : fail(EIO);
}

int packet(cdrom_generic_command* command, bool writable) {
    Disc& d = disc();
    switch (command->cmd[0]) {
    case 0x00: // TEST UNIT READY
        if (d.removed) {
            setSense(command, 2, 0x3a, 0x00);
            return fail(EIO);
        }
        return 0;
    case 0x12: { // INQUIRY
        std::memset(command->buffer, 0, command->buflen);
        if (command->buflen >= 36) {
            auto* reply = static_cast<uint8_t*>(command->buffer);
            reply[0] = 0x05;
            std::memcpy(reply + 8, "VARROW  ", 8);
            std::memcpy(reply + 16, "SIMULATED DRIVE ", 16);
            std::memcpy(reply + 32, "1.00", 4);
        }
        return 0;
    }
    case 0xbe: // READ CD
        return readCd(command);
    case 0x1e: // PREVENT ALLOW MEDIUM REMOVAL: only on a handle open for writing
        return writable ? 0 : fail(EPERM);
    case 0x4e: // STOP PLAY/SCAN
        return 0;
    default:
        setSense(command, 5, 0x20, 0x00);
        return fail(EIO);
    }
}

int answer(int fd, unsigned long request, void* argument) {
    Disc& d = disc();
    const bool writable = g_handles[fd];
    const auto tracks = static_cast<int>(d.tracks.size());
    switch (request) {
    case CDROM_GET_CAPABILITY:
        return CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MULTI_SESSION |
               CDC_MEDIA_CHANGED | CDC_PLAY_AUDIO | CDC_DRIVE_STATUS | CDC_GENERIC_PACKET;
    case CDROM_DRIVE_STATUS:
        return d.removed ? CDS_NO_DISC : CDS_DISC_OK;
    case CDROM_DISC_STATUS:
        return d.removed ? CDS_NO_DISC : (d.session > 0 ? CDS_MIXED : CDS_AUDIO);
    case CDROM_MEDIA_CHANGED:
        return 0;
    case CDROMREADTOCHDR: {
        if (d.removed) {
            return fail(ENOMEDIUM);
        }
        auto* header = static_cast<cdrom_tochdr*>(argument);
        header->cdth_trk0 = 1;
        header->cdth_trk1 = static_cast<uint8_t>(tracks);
        return 0;
    }
    case CDROMREADTOCENTRY: {
        auto* entry = static_cast<cdrom_tocentry*>(argument);
        int32_t start = 0;
        bool data = false;
        if (entry->cdte_track == CDROM_LEADOUT) {
            start = d.leadOut;
        } else if (entry->cdte_track >= 1 && entry->cdte_track <= tracks) {
            start = d.tracks[entry->cdte_track - 1].start;
            data = d.tracks[entry->cdte_track - 1].data;
        } else {
            return fail(EINVAL);
        }
        entry->cdte_adr = 1;
        entry->cdte_ctrl = data ? CDROM_DATA_TRACK : 0;
        entry->cdte_datamode = data ? 1 : 0;
        if (entry->cdte_format == CDROM_LBA) {
            entry->cdte_addr.lba = start;
        } else {
            msfOf(start, entry->cdte_addr.msf);
        }
        return 0;
    }
    case CDROMMULTISESSION: {
        auto* session = static_cast<cdrom_multisession*>(argument);
        session->xa_flag = d.session > 0 ? 1 : 0;
        if (session->addr_format == CDROM_LBA) {
            session->addr.lba = d.session;
        } else {
            msfOf(d.session, session->addr.msf);
        }
        return 0;
    }
    case CDROM_SELECT_SPEED:
        return d.refuseSpeed ? fail(EINVAL) : 0;
    case CDROMSUBCHNL: {
        auto* subchannel = static_cast<cdrom_subchnl*>(argument);
        subchannel->cdsc_audiostatus = CDROM_AUDIO_NO_STATUS;
        return 0;
    }
    case CDROMPLAYMSF:
    case CDROMPAUSE:
    case CDROMRESUME:
    case CDROMSTOP:
    case CDROMEJECT:
    case CDROMCLOSETRAY:
        return 0;
    case CDROM_SEND_PACKET:
        return packet(static_cast<cdrom_generic_command*>(argument), writable);
    default:
        return fail(ENOTTY);
    }
}

int fakeStat(struct stat* status) {
    std::memset(status, 0, sizeof *status);
    status->st_mode = S_IFBLK | 0660;
    status->st_rdev = makedev(11, 9);
    return 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    if (!isDevice(path)) {
        return real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
    }
    const int fd = real<int (*)(const char*, int, ...)>("open")("/dev/null", O_RDONLY);
    if (fd >= 0) {
        std::lock_guard guard(g_lock);
        g_handles[fd] = (flags & O_ACCMODE) != O_RDONLY;
    }
    return fd;
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    return open(path, flags, mode);
}

int close(int fd) {
    {
        std::lock_guard guard(g_lock);
        g_handles.erase(fd);
    }
    return real<int (*)(int)>("close")(fd);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    {
        std::lock_guard guard(g_lock);
        if (g_handles.count(fd) != 0) {
            return answer(fd, request, argument);
        }
    }
    return real<int (*)(int, unsigned long, void*)>("ioctl")(fd, request, argument);
}

int stat(const char* path, struct stat* status) {
    return isDevice(path) ? fakeStat(status)
                          : real<int (*)(const char*, struct stat*)>("stat")(path, status);
}

int lstat(const char* path, struct stat* status) {
    return isDevice(path) ? fakeStat(status)
                          : real<int (*)(const char*, struct stat*)>("lstat")(path, status);
}

int access(const char* path, int mode) {
    return isDevice(path) ? 0 : real<int (*)(const char*, int)>("access")(path, mode);
}

} // extern "C"
