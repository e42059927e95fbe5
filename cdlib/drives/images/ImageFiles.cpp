// SPDX-License-Identifier: GPL-3.0-or-later
#include "drives/images/ImageFiles.h"

#include <algorithm>
#include <cctype>
#include <cdio/logging.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace cdlib {

namespace fs = std::filesystem;

namespace {

// A cue sheet or TOC is a few kilobytes; anything far larger is no image
// description, and is not read whole into memory.
constexpr std::uintmax_t kMaxDescriptorBytes = 1024 * 1024;
// The longest cue sheet line libcdio reads, without its line break, and the
// longest text of a cdrdao TOC.
constexpr size_t kMaxCueLine = 4095;
constexpr size_t kMaxTocText = 499;
constexpr std::initializer_list<const char*> kCdTextKeywords = {
    "TITLE",   "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER",
    "MESSAGE", "DISC_ID",   "GENRE",      "UPC_EAN",  "ISRC"};

// libcdio's messages while an image is opened, instead of stderr. Images are
// opened on the caller's one thread, so one collector at a time.
class CdioMessages final {
public:
    CdioMessages()
        : previousLevel_(cdio_loglevel_default)
        , previousHandler_(cdio_log_set_handler(collect)) {
        cdio_loglevel_default = CDIO_LOG_INFO; // parse errors are logged as INFO
        current() = this;
    }
    ~CdioMessages() {
        current() = nullptr;
        cdio_log_set_handler(previousHandler_);
        cdio_loglevel_default = previousLevel_;
    }
    CdioMessages(const CdioMessages&) = delete;
    CdioMessages& operator=(const CdioMessages&) = delete;

    // The messages in one line, with `shown` standing for `path` in them.
    std::string text(const std::string& path, const std::string& shown) const {
        std::string joined;
        for (std::string message : messages_) {
            if (message == "init failed") {
                continue; // follows the message that says why
            }
            for (size_t at = 0; (at = message.find(path, at)) != std::string::npos;) {
                message.replace(at, path.size(), shown);
                at += shown.size();
            }
            for (char& c : message) {
                if (c == '\n' || c == '\r' || c == '\t') {
                    c = ' ';
                }
            }
            while (!message.empty() && message.back() == ' ') {
                message.pop_back();
            }
            if (!message.empty()) {
                joined += (joined.empty() ? "" : " ") + message;
            }
        }
        return joined;
    }

private:
    static CdioMessages*& current() {
        static CdioMessages* collector = nullptr;
        return collector;
    }
    static void collect(cdio_log_level_t level, const char message[]) {
        if (current() != nullptr && level >= CDIO_LOG_INFO && message != nullptr) {
            current()->messages_.emplace_back(message);
        }
    }

    cdio_log_level_t previousLevel_;
    cdio_log_handler_t previousHandler_;
    std::vector<std::string> messages_;
};

std::string lowerExtension(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension;
}

std::optional<std::string> readDescriptor(const std::string& path, std::string& problem) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) {
        problem = error == std::errc::no_such_file_or_directory ? path + " is missing"
                                                                : path + ": " + error.message();
        return std::nullopt;
    }
    if (size > kMaxDescriptorBytes) {
        problem = path + " is too large for a disc image description";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        problem = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return text.str();
}

// A line's keyword and the file name after it ("quoted" or bare), with the
// offsets of the name, for FILE and CDTEXTFILE lines of a cue sheet and
// FILE, AUDIOFILE and DATAFILE lines of a TOC.
struct NamedFile {
    std::string keyword;
    std::string name;
    bool quoted = false;
    // The name as written, with its quotes.
    size_t tokenBegin = 0;
    size_t tokenEnd = 0;
    std::string rest; // the word after the name: a cue sheet's file type
};

std::optional<NamedFile> namedFileOf(const std::string& line,
                                     std::initializer_list<const char*> keywords) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    NamedFile file;
    for (const char* keyword : keywords) {
        const size_t length = std::strlen(keyword);
        if (line.compare(at, length, keyword) == 0 && at + length < line.size() &&
            (line[at + length] == ' ' || line[at + length] == '\t')) {
            file.keyword = keyword;
            at += length;
            break;
        }
    }
    if (file.keyword.empty()) {
        return std::nullopt;
    }
    at = line.find_first_not_of(" \t", at);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    file.tokenBegin = at;
    if (line[at] == '"') {
        file.quoted = true;
        const size_t close = line.find('"', at + 1);
        file.tokenEnd = close == std::string::npos ? line.size() : close + 1;
        file.name =
            line.substr(at + 1, (close == std::string::npos ? line.size() : close) - at - 1);
    } else {
        file.tokenEnd = std::min(line.find_first_of(" \t", at), line.size());
        file.name = line.substr(at, file.tokenEnd - at);
    }
    file.rest = line.substr(file.tokenEnd);
    const size_t typeBegin = file.rest.find_first_not_of(" \t\r");
    const size_t typeEnd = file.rest.find_first_of(" \t\r", typeBegin);
    file.rest =
        typeBegin == std::string::npos ? "" : file.rest.substr(typeBegin, typeEnd - typeBegin);
    return file;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The plain files of `folder` that `matches` takes, by name.
std::vector<fs::path> filesIn(const fs::path& folder,
                              const std::function<bool(const std::string&)>& matches) {
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code statusError;
        if (matches(entry->path().filename().string()) && entry->is_regular_file(statusError)) {
            found.push_back(entry->path());
        }
    }
    return found;
}

// The data file a cue sheet names, where it is missing as named: cue sheets
// made on other systems name CDDA.BIN for cdda.bin, or keep an old name
// after the files were renamed. Taken instead: the one file in the cue
// sheet's folder whose name differs only in case, else the one .bin named
// after the cue sheet (the file other programs read whatever the cue sheet
// says). Nothing when neither is there.
std::optional<fs::path> standInFor(const std::string& cueSheet, const std::string& name) {
    const fs::path folder = fs::path(cueSheet).parent_path();
    // A name from another system may use its own folder separator.
    const std::string bareName = name.substr(name.find_last_of("/\\") + 1);
    auto candidates = filesIn(
        folder, [&](const std::string& file) { return sameNameIgnoringCase(file, bareName); });
    if (candidates.size() != 1) {
        const std::string stem = fs::path(cueSheet).stem().string();
        candidates = filesIn(folder, [&](const std::string& file) {
            const fs::path path(file);
            return sameNameIgnoringCase(path.extension().string(), ".bin") &&
                   sameNameIgnoringCase(path.stem().string(), stem);
        });
    }
    if (candidates.size() != 1) {
        return std::nullopt;
    }
    return candidates.front();
}

// Cuts the quoted text of `line` (or the line itself when it has none) so
// that the line holds at most `limit` bytes, never inside a UTF-8 character
// or, in a TOC, inside an escape: libcdio refuses a whole image over a line
// or a text longer than it reads.
std::string fitted(const std::string& line, size_t limit, bool escapes) {
    if (line.size() <= limit) {
        return line;
    }
    const size_t open = line.find('"');
    const size_t close = open == std::string::npos ? std::string::npos : line.rfind('"');
    const bool quoted = close != std::string::npos && close > open;
    const size_t begin = quoted ? open + 1 : 0;
    const size_t end = quoted ? close : line.size();
    const size_t excess = line.size() - limit;
    const size_t room = end - begin > excess ? end - begin - excess : 0;
    // The longest run of whole characters and escapes that fits the room.
    size_t kept = 0;
    for (size_t at = begin; at < end;) {
        size_t next = at + 1;
        if (escapes && line[at] == '\\' && next < end) {
            next = at + 2;
            while (next < end && next < at + 4 && line[next] >= '0' && line[next] <= '7') {
                ++next;
            }
        } else {
            while (next < end && (static_cast<unsigned char>(line[next]) & 0xC0u) == 0x80u) {
                ++next;
            }
        }
        if (next - begin > room) {
            break;
        }
        kept = next - begin;
        at = next;
    }
    return line.substr(0, begin + kept) + (quoted ? line.substr(close) : std::string());
}

std::string fittedTocText(const std::string& line) {
    const size_t open = line.find('"');
    const size_t close = line.rfind('"');
    if (open == std::string::npos || close <= open || close - open - 1 <= kMaxTocText) {
        return line;
    }
    return fitted(line, line.size() - (close - open - 1) + kMaxTocText, true);
}

fs::path beside(const std::string& descriptor, const std::string& name) {
    const fs::path named(name);
    return named.is_absolute() ? named : fs::path(descriptor).parent_path() / named;
}

std::string withAbsoluteName(const std::string& line, const NamedFile& file, const fs::path& path) {
    return line.substr(0, file.tokenBegin) + "\"" + path.string() + "\"" +
           line.substr(file.tokenEnd);
}

bool present(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// Why a data file cannot be read through, or nothing. Only a plain file
// will do: a pipe or device could keep a read waiting for ever.
std::optional<std::string> dataFileProblem(const fs::path& path) {
    std::error_code error;
    const auto status = fs::status(path, error);
    if (!fs::exists(status)) {
        return "data file " + path.string() + " is missing";
    }
    if (!fs::is_regular_file(status)) {
        return "data file " + path.string() + " is not a file";
    }
    return std::nullopt;
}

CdioHandle openWithMessages(const std::string& opened, driver_id_t driver,
                            const std::string& original, std::string& problem) {
    CdioMessages messages;
    CdioHandle cdio(cdio_open(opened.c_str(), driver));
    if (!cdio) {
        problem = messages.text(opened, fs::path(original).filename().string());
        if (problem.empty()) {
            problem = "libcdio cannot read it";
        }
    }
    return cdio;
}

bool writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

OpenedImage openCueSheet(const std::string& path, std::string& problem) {
    OpenedImage image;
    const auto text = readDescriptor(path, problem);
    if (!text) {
        return image;
    }
    const std::string name = fs::path(path).filename().string();
    std::optional<fs::path> data;
    std::ostringstream copy;
    bool textCut = false;
    for (const std::string& line : linesOf(*text)) {
        const auto file = namedFileOf(line, {"FILE", "CDTEXTFILE"});
        if (!file || file->name.empty()) {
            const std::string kept = fitted(line, kMaxCueLine, false);
            textCut = textCut || kept != line;
            copy << kept << '\n';
            continue;
        }
        fs::path named = beside(path, file->name);
        if (file->keyword == "FILE" && !present(named)) {
            if (const auto standIn = standInFor(path, file->name)) {
                image.notice = name + " names " + file->name + ", which is missing; " +
                               standIn->filename().string() + " is read instead";
                named = *standIn;
            }
        }
        if (file->keyword == "FILE") {
            if (data && *data != named) {
                problem = name + " names more than one data file (one file per track), which "
                                 "cannot be read";
                return image;
            }
            std::string type = file->rest;
            for (char& c : type) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            if (type != "BINARY") {
                problem = name + " names a data file of type " +
                          (file->rest.empty() ? std::string("(none)") : file->rest) +
                          "; only raw BINARY data files can be read";
                return image;
            }
            data = named;
        }
        copy << withAbsoluteName(line, *file, named) << '\n';
    }
    if (!data) {
        problem = name + " names no data file";
        return image;
    }
    if (const auto reason = dataFileProblem(*data)) {
        problem = *reason;
        return image;
    }
    // libcdio reads "<cue sheet>.bin"; where that is the data file named,
    // the cue sheet opens as it is, unless a text had to be cut.
    const std::string extension = fs::path(path).extension().string();
    if (!textCut && (extension == ".cue" || extension == ".CUE")) {
        fs::path derived(path);
        derived.replace_extension(extension == ".cue" ? ".bin" : ".BIN");
        std::error_code error;
        if (fs::equivalent(derived, *data, error)) {
            image.cdio = openWithMessages(path, DRIVER_BINCUE, path, problem);
            return image;
        }
    }
    image.folder = TemporaryFolder::create();
    if (!image.folder) {
        problem = "no temporary folder to open it through: " + std::string(std::strerror(errno));
        return image;
    }
    const fs::path cue = image.folder->path() / "disc.cue";
    std::error_code error;
    fs::create_symlink(fs::absolute(*data, error), image.folder->path() / "disc.bin", error);
    if (error || !writeText(cue, copy.str())) {
        problem = "cannot be opened through " + image.folder->path().string();
        image.folder.reset();
        return image;
    }
    image.cdio = openWithMessages(cue.string(), DRIVER_BINCUE, path, problem);
    if (!image.cdio) {
        image.folder.reset();
    }
    return image;
}

OpenedImage openCdrdaoToc(const std::string& path, std::string& problem) {
    OpenedImage image;
    const auto text = readDescriptor(path, problem);
    if (!text) {
        return image;
    }
    std::ostringstream copy;
    // libcdio refuses a whole TOC over the language map of its CD-Text,
    // which cdrdao writes into every TOC with CD-Text; the blocks are read
    // by their number without it.
    bool inLanguageMap = false;
    bool languageMapOpened = false;
    int languageMapDepth = 0;
    for (const std::string& line : linesOf(*text)) {
        if (inLanguageMap || line.find("LANGUAGE_MAP") != std::string::npos) {
            inLanguageMap = true;
            languageMapOpened = languageMapOpened || line.find('{') != std::string::npos;
            languageMapDepth += static_cast<int>(std::ranges::count(line, '{')) -
                                static_cast<int>(std::ranges::count(line, '}'));
            inLanguageMap = !languageMapOpened || languageMapDepth > 0;
            continue;
        }
        const auto file = namedFileOf(line, {"FILE", "AUDIOFILE", "DATAFILE"});
        if (!file || file->name.empty() || !file->quoted) {
            copy << (namedFileOf(line, kCdTextKeywords) ? fittedTocText(line) : line) << '\n';
            continue;
        }
        const fs::path named = beside(path, file->name);
        if (const auto reason = dataFileProblem(named)) {
            problem = *reason;
            return image;
        }
        copy << withAbsoluteName(line, *file, named) << '\n';
    }
    // The TOC is parsed while opening; its copy is not needed after.
    const auto folder = TemporaryFolder::create();
    if (!folder) {
        problem = "no temporary folder to open it through: " + std::string(std::strerror(errno));
        return image;
    }
    const fs::path toc = folder->path() / "disc.toc";
    if (!writeText(toc, copy.str())) {
        problem = "cannot be opened through " + folder->path().string();
        return image;
    }
    image.cdio = openWithMessages(toc.string(), DRIVER_CDRDAO, path, problem);
    return image;
}

} // namespace

std::unique_ptr<TemporaryFolder> TemporaryFolder::create() {
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / "varrow-image-XXXXXX").string();
    if (error || ::mkdtemp(pattern.data()) == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<TemporaryFolder>(new TemporaryFolder(pattern));
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
}

OpenedImage openImageFiles(const std::string& path, std::string& problem) {
    problem.clear();
    const std::string extension = lowerExtension(path);
    if (extension == ".cue") {
        return openCueSheet(path, problem);
    }
    if (extension == ".toc") {
        return openCdrdaoToc(path, problem);
    }
    OpenedImage image;
    if (!present(path)) {
        problem = path + " is missing";
        return image;
    }
    // Any other name is left to libcdio to recognise.
    image.cdio =
        openWithMessages(path, extension == ".nrg" ? DRIVER_NRG : DRIVER_UNKNOWN, path, problem);
    return image;
}

} // namespace cdlib
