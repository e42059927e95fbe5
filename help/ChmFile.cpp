// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChmFile.h"

#include <QFile>
#include <chm_lib.h>

namespace varrowhelp {

namespace {

constexpr quint16 ContentsFileCode = 0;
constexpr quint16 IndexFileCode = 1;
constexpr quint16 DefaultTopicCode = 2;
constexpr quint16 TitleCode = 3;

quint16 littleEndian16(const QByteArray& bytes, qsizetype at) {
    return static_cast<quint16>(static_cast<unsigned char>(bytes[at]) |
                                static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// A text entry ends at its first NUL, if any.
QString entryText(const QByteArray& bytes, qsizetype at, qsizetype length) {
    QByteArray text = bytes.mid(at, length);
    if (const qsizetype end = text.indexOf('\0'); end >= 0)
        text.truncate(end);
    return QString::fromUtf8(text);
}

int collectFile(chmFile*, chmUnitInfo* unit, void* context) {
    const QString path = QString::fromUtf8(unit->path);
    // Folders end in a slash; the format's own objects start with "/#" or "/$".
    if (!path.endsWith(QLatin1Char('/')) && !path.startsWith(QLatin1String("/#")) &&
        !path.startsWith(QLatin1String("/$")))
        static_cast<QStringList*>(context)->append(path);
    return CHM_ENUMERATOR_CONTINUE;
}

} // namespace

ChmSystemInfo parseSystemRecord(const QByteArray& record) {
    ChmSystemInfo info;
    qsizetype at = 4;
    while (at + 4 <= record.size()) {
        const quint16 code = littleEndian16(record, at);
        const quint16 length = littleEndian16(record, at + 2);
        at += 4;
        if (at + length > record.size())
            break;
        switch (code) {
        case ContentsFileCode:
            info.contentsFile = absoluteChmPath(entryText(record, at, length));
            break;
        case IndexFileCode:
            info.indexFile = absoluteChmPath(entryText(record, at, length));
            break;
        case DefaultTopicCode:
            info.defaultTopic = absoluteChmPath(entryText(record, at, length));
            break;
        case TitleCode:
            info.title = entryText(record, at, length);
            break;
        default:
            break;
        }
        at += length;
    }
    return info;
}

QString absoluteChmPath(const QString& path) {
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return path;
    return QLatin1Char('/') + path;
}

void ChmFile::Closer::operator()(chmFile* file) const {
    chm_close(file);
}

ChmFile::ChmFile(chmFile* file)
    : file_(file) {
    if (const std::optional<QByteArray> record = read(QStringLiteral("/#SYSTEM")))
        system_ = parseSystemRecord(*record);
}

ChmFile::~ChmFile() = default;

std::unique_ptr<ChmFile> ChmFile::open(const QString& path) {
    chmFile* file = chm_open(QFile::encodeName(path).constData());
    if (file == nullptr)
        return nullptr;
    return std::unique_ptr<ChmFile>(new ChmFile(file));
}

std::optional<QByteArray> ChmFile::read(const QString& path) const {
    const QByteArray name = absoluteChmPath(path).toUtf8();
    chmUnitInfo unit{};
    if (name.isEmpty() ||
        chm_resolve_object(file_.get(), name.constData(), &unit) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (unit.length > static_cast<LONGUINT64>(MaxObjectSize))
        return std::nullopt;
    QByteArray data(static_cast<qsizetype>(unit.length), Qt::Uninitialized);
    LONGUINT64 done = 0;
    // Each call returns what it could read; a call that reads nothing ends
    // the loop, so a damaged file cannot keep it going.
    while (done < unit.length) {
        const LONGINT64 got = chm_retrieve_object(
            file_.get(), &unit, reinterpret_cast<unsigned char*>(data.data()) + done, done,
            static_cast<LONGINT64>(unit.length - done));
        if (got <= 0)
            return std::nullopt;
        done += static_cast<LONGUINT64>(got);
    }
    return data;
}

bool ChmFile::contains(const QString& path) const {
    const QByteArray name = absoluteChmPath(path).toUtf8();
    chmUnitInfo unit{};
    return !name.isEmpty() &&
           chm_resolve_object(file_.get(), name.constData(), &unit) == CHM_RESOLVE_SUCCESS;
}

QStringList ChmFile::files() const {
    QStringList paths;
    chm_enumerate(file_.get(), CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collectFile, &paths);
    return paths;
}

} // namespace varrowhelp
