#include "settings/Settings.h"

#include "settings/IniText.h"

#include <SimpleIni.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace cdlib {

namespace {

constexpr const char* kMainSection = "CDLIB";
constexpr const char* kDriveSectionPrefix = "CDLIB DRIVE ";
constexpr const char* kTransportKey = "TRANSPORTLAYER";
constexpr const char* kImageKeyPrefix = "IMAGE";
constexpr const char* kDigitalPlaybackKey = "DIGITALPLAYBACK";

// Far beyond any settings file the library or the window writes; a larger
// file is not read (nor rewritten).
constexpr off_t kMaxFileBytes = 16 * 1024 * 1024;

constexpr const char* kDriveTableKeys[DRIVE_TABLE_SLOTS] = {
    "DRIVETYPE", "READMETHOD", "SETSPEED", "ENDIAN", "ENABLEMODE", "DENSITY", "ATAPI"};

std::string imageKey(size_t index) {
    return kImageKeyPrefix + std::to_string(index + 1);
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

class FileDescriptor final {
public:
    explicit FileDescriptor(int fd)
        : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now, so that a failing close is seen.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

enum class FileRead { Missing, Read, Failed };

// Reads the whole file into `text`; `error` names the file and the reason.
FileRead readWhole(const std::string& path, std::string& text, std::string& error,
                   mode_t* mode = nullptr) {
    text.clear();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            return FileRead::Missing;
        }
        error = quoted(path) + ": " + std::strerror(errno);
        return FileRead::Failed;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        error = quoted(path) + ": " + std::strerror(errno);
        return FileRead::Failed;
    }
    // A folder, pipe or device is no settings file, and a pipe could keep a
    // read waiting for ever.
    if (!S_ISREG(status.st_mode)) {
        error = quoted(path) + " is not a file";
        return FileRead::Failed;
    }
    if (status.st_size > kMaxFileBytes) {
        error = quoted(path) + " is too large for a settings file";
        return FileRead::Failed;
    }
    if (mode != nullptr) {
        *mode = status.st_mode & 07777;
    }
    text.resize(static_cast<size_t>(status.st_size));
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t got = ::read(fd.get(), text.data() + done, text.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = quoted(path) + ": " + std::strerror(errno);
            return FileRead::Failed;
        }
        if (got == 0) {
            break; // the file shrank under us: what is there is the file
        }
        done += static_cast<size_t>(got);
    }
    text.resize(done);
    return FileRead::Read;
}

// `path` itself, or the file a symbolic link there points to: the link
// stays a link when the file is replaced.
std::string targetOf(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) {
        return path;
    }
    const auto target = std::filesystem::weakly_canonical(path, error);
    return error ? path : target.string();
}

// Writes `text` under a new name beside `path` and renames it over `path`.
bool replaceFile(const std::string& path, const std::string& text, mode_t mode,
                 std::string& error) {
    const std::filesystem::path target(path);
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        error = quoted(path) + " cannot be written: " + std::strerror(errno);
        return false;
    }
    auto fail = [&](const char* what) {
        error = quoted(path) + " cannot be written: " + what;
        ::unlink(temporary.c_str());
        return false;
    };
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd.get(), text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return fail(put < 0 ? std::strerror(errno) : "nothing written");
        }
        done += static_cast<size_t>(put);
    }
    if (::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0 || !fd.close()) {
        return fail(std::strerror(errno));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return fail(std::strerror(errno));
    }
    return true;
}

// A number of the file within [min, max]; anything else is the fallback.
int32_t numberIn(const CSimpleIniA& ini, const char* section, const char* key, int32_t fallback,
                 long min = INT32_MIN, long max = INT32_MAX) {
    const long value = ini.GetLongValue(section, key, fallback);
    return value < min || value > max ? fallback : static_cast<int32_t>(value);
}

} // namespace

std::string Settings::driveSection(const std::string& identification) {
    std::string name = kDriveSectionPrefix;
    for (const char c : identification) {
        // Brackets and line ends would end the section header early.
        const bool breaksHeader = c == '[' || c == ']' || c == '\r' || c == '\n' || c == '\0';
        name += breaksHeader ? '_' : c;
    }
    // The file's reader drops the blanks that end a section name.
    while (name.back() == ' ' || name.back() == '\t') {
        name.pop_back();
    }
    return name;
}

bool Settings::CaselessLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) <
               std::toupper(static_cast<unsigned char>(y));
    });
}

bool Settings::load(const std::string& path) {
    path_ = path;
    loadError_.clear();
    transportLayer_.reset();
    images_.clear();
    digitalPlayback_ = false;
    drives_.clear();
    changed_.clear();

    std::string text;
    switch (readWhole(path, text, loadError_)) {
    case FileRead::Missing:
        return true;
    case FileRead::Failed:
        return false;
    case FileRead::Read:
        break;
    }
    if (!IniText::parse(text)) {
        loadError_ = quoted(path) + " holds a NUL byte and cannot be read whole";
        return false;
    }
    CSimpleIniA ini;
    ini.SetSpaces(false);
    if (ini.LoadData(text) < 0) {
        loadError_ = quoted(path) + " cannot be read";
        return false;
    }

    const long layer = ini.GetLongValue(kMainSection, kTransportKey, -1);
    if (layer == CR_TRANSPORT_IOCTL || layer == CR_TRANSPORT_SCSI) {
        transportLayer_ = static_cast<int32_t>(layer);
    }
    digitalPlayback_ = ini.GetLongValue(kMainSection, kDigitalPlaybackKey, 0) == 1;
    for (size_t i = 0;; ++i) {
        const char* image = ini.GetValue(kMainSection, imageKey(i).c_str(), nullptr);
        if (image == nullptr) {
            break;
        }
        if (*image != '\0') {
            images_.emplace_back(image);
        }
    }

    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    const std::string prefix = kDriveSectionPrefix;
    for (const auto& entry : sections) {
        const std::string section = entry.pItem;
        if (section.size() <= prefix.size() ||
            !sameName(std::string_view(section).substr(0, prefix.size()), prefix)) {
            continue;
        }
        const char* name = section.c_str();
        const DriveParameters defaults;
        DriveParameters drive;
        drive.sectorsPerRead =
            numberIn(ini, name, "SECTORSPERREAD", defaults.sectorsPerRead, 1, MAX_SECTORS_PER_READ);
        drive.readRetries =
            numberIn(ini, name, "READRETRIES", defaults.readRetries, 1, MAX_READ_RETRIES);
        drive.speed = numberIn(ini, name, "SPEED", defaults.speed, 0, CR_MAX_SPEED);
        drive.jitterCorrection =
            numberIn(ini, name, "JITTERCORRECTION", defaults.jitterCorrection) != 0 ? CR_TRUE
                                                                                    : CR_FALSE;
        for (int slot = 0; slot < DRIVE_TABLE_SLOTS; ++slot) {
            const int32_t limit = DRIVE_TABLE_LIMITS[slot];
            drive.driveTable[slot] =
                limit >= 0 ? numberIn(ini, name, kDriveTableKeys[slot], defaults.driveTable[slot],
                                      0, limit)
                           : numberIn(ini, name, kDriveTableKeys[slot], defaults.driveTable[slot]);
        }
        drive.driveTable[SLOT_ATAPI] = drive.driveTable[SLOT_ATAPI] != 0 ? CR_TRUE : CR_FALSE;
        drives_[section] = sanitized(drive);
    }
    return true;
}

std::optional<DriveParameters> Settings::drive(const std::string& identification) const {
    const auto found = drives_.find(driveSection(identification));
    if (found == drives_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void Settings::setDrive(const std::string& identification, const DriveParameters& parameters) {
    const std::string section = driveSection(identification);
    drives_[section] = parameters;
    changed_.insert(section);
}

void Settings::forgetDrives() {
    drives_.clear();
    changed_.clear();
}

bool Settings::save(std::string& error) const {
    error.clear();
    if (path_.empty()) {
        error = "no settings file was given";
        return false;
    }
    const std::string target = targetOf(path_);
    std::string text;
    mode_t mode = 0;
    switch (readWhole(target, text, error, &mode)) {
    case FileRead::Failed:
        return false;
    case FileRead::Missing: {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
        break;
    }
    case FileRead::Read:
        break;
    }
    auto file = IniText::parse(text);
    if (!file) {
        error = quoted(path_) + " holds a NUL byte and cannot be read whole; it is left as it is";
        return false;
    }

    std::vector<SectionEdit> edits;
    if (transportLayer_) {
        edits.push_back({kMainSection, {{kTransportKey, std::to_string(*transportLayer_)}}});
    }
    for (const std::string& section : changed_) {
        const DriveParameters& drive = drives_.at(section);
        SectionEdit edit{section, {}};
        edit.keys = {{"SECTORSPERREAD", std::to_string(drive.sectorsPerRead)},
                     {"READRETRIES", std::to_string(drive.readRetries)},
                     {"SPEED", std::to_string(drive.speed)},
                     {"JITTERCORRECTION", std::to_string(drive.jitterCorrection)}};
        for (int slot = 0; slot < DRIVE_TABLE_SLOTS; ++slot) {
            edit.keys.emplace_back(kDriveTableKeys[slot], std::to_string(drive.driveTable[slot]));
        }
        edits.push_back(std::move(edit));
    }
    if (!file->apply(edits)) {
        error = quoted(path_) + " cannot be changed without changing what else it holds; it is "
                                "left as it is";
        return false;
    }
    if (file->text() == text) {
        return true;
    }
    return replaceFile(target, file->text(), mode, error);
}

} // namespace cdlib
