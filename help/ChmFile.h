// SPDX-License-Identifier: GPL-3.0-or-later
// Read access to a compiled HTML help (CHM) file through chmlib. Paths inside
// the file are absolute ("/optionstab.htm") and compared without regard to
// case, as the format does.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

struct chmFile;

namespace varrowhelp {

// What the file's #SYSTEM record says about it; empty where it says nothing.
struct ChmSystemInfo {
    QString contentsFile; // "/Varrow.hhc"
    QString indexFile;
    QString defaultTopic; // "/introduction.htm"
    QString title;
};

// Reads the #SYSTEM record: a 32-bit version, then entries of a 16-bit code,
// a 16-bit length and that many bytes. Entries that run past the end are
// ignored.
ChmSystemInfo parseSystemRecord(const QByteArray& record);

class ChmFile final {
public:
    // Objects larger than this are not read: no page or picture of a help
    // file comes near it, and a damaged length must not take all memory.
    static constexpr qint64 MaxObjectSize = 64 * 1024 * 1024;

    // Nothing when the file cannot be opened as a CHM file.
    static std::unique_ptr<ChmFile> open(const QString& path);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    // The whole object at `path`, or nothing when there is none (or it is
    // too large or cannot be read).
    std::optional<QByteArray> read(const QString& path) const;
    bool contains(const QString& path) const;
    // Every file object, without the format's internal ones ("/#SYSTEM",
    // "::DataSpace/...").
    QStringList files() const;
    const ChmSystemInfo& system() const { return system_; }

private:
    struct Closer {
        void operator()(chmFile* file) const;
    };
    explicit ChmFile(chmFile* file);

    std::unique_ptr<chmFile, Closer> file_;
    ChmSystemInfo system_;
};

// "optionstab.htm" and "/optionstab.htm" both become "/optionstab.htm".
QString absoluteChmPath(const QString& path);

} // namespace varrowhelp
