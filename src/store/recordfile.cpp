#include "store/recordfile.h"

#include "store/diskfile.h"
#include "store/saver.h"
#include "store/textcodec.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <set>
#include <utility>
#include <vector>

namespace RecordFile {

namespace {

constexpr char quote = '"';
constexpr char comma = ',';
constexpr char cr = '\r';
constexpr char lf = '\n';
const QByteArray crlf = QByteArrayLiteral("\r\n");

// Builds a file's bytes in one buffer, encoding each value straight into it:
// a list may hold tens of thousands of entries.
class Encoder
{
public:
    // Room enough for a value and the quotes, comma and line end around it:
    // a UTF-16 unit takes at most three bytes, a line break two.
    static qsizetype room(QStringView text) { return 3 * text.size() + 5; }
    static qsizetype room(const QStringList &texts)
    {
        qsizetype total = 2;
        for (const QString &text : texts)
            total += room(text);
        return total;
    }

    explicit Encoder(qsizetype room) : m_bytes(room, Qt::Uninitialized), m_out(m_bytes.data()) {}

    void put(char c) { *m_out++ = c; }
    void putLineEnd()
    {
        put(cr);
        put(lf);
    }

    // In memory a line break is "\n"; on disk it is CR LF.
    void putText(QStringView text)
    {
        qsizetype start = 0;
        for (qsizetype lineEnd; (lineEnd = text.indexOf(u'\n', start)) >= 0; start = lineEnd + 1) {
            const bool hasCr = lineEnd > start && text[lineEnd - 1] == u'\r';
            m_out = m_utf8.appendToBuffer(m_out, text.sliced(start, lineEnd - start - (hasCr ? 1 : 0)));
            putLineEnd();
        }
        m_out = m_utf8.appendToBuffer(m_out, text.sliced(start));
    }

    void putQuoted(QStringView text)
    {
        put(quote);
        putText(text);
        put(quote);
    }

    QByteArray take()
    {
        m_bytes.truncate(m_out - m_bytes.constData());
        return std::move(m_bytes);
    }

private:
    QByteArray m_bytes;
    char *m_out;
    // Stateless, so each piece between line breaks is encoded on its own.
    QStringEncoder m_utf8{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
};

// What a group holds until it commits: the new content of each file
// rewritten while it is open, in the order written, and the directories
// files were deleted from.
struct Staged
{
    std::vector<Saver::File> files; // a file dropped is left with an empty target until the commit
    std::set<QByteArray> removedIn;
    QHash<QByteArray, std::size_t> at; // where each file is, so that a group of thousands is not searched at each

    void drop(const QByteArray &target)
    {
        if (const auto found = at.constFind(target); found != at.cend()) {
            files[*found].target.clear();
            at.erase(found);
        }
    }
    void add(Saver::File file)
    {
        drop(file.target);
        at.insert(file.target, files.size());
        files.push_back(std::move(file));
    }
};
thread_local Staged *staged = nullptr;

bool write(const QString &path, const QByteArray &bytes, Mode mode)
{
    if (path.isEmpty())
        return false;
    Saver::File file{QFile::encodeName(path), bytes, mode == Fresh || mode == FreshInPlace, mode == FreshInPlace};
    if (staged) {
        // Only the last version of a file rewritten in the group is kept.
        staged->add(std::move(file));
        return true;
    }
    if (mode == Queued) {
        Saver::instance().queue(file.target, file.bytes);
        return true;
    }
    return Saver::instance().store({std::move(file)}) == 0;
}

// A file's content as it stands, or as a queued rewrite will leave it.
bool read(const QString &path, QByteArray &bytes)
{
    if (path.isEmpty())
        return false;
    const QByteArray file = QFile::encodeName(path);
    return Saver::instance().pending(file, bytes) || DiskFile::read(file, bytes) == 0;
}

} // namespace

WriteGroup::WriteGroup()
{
    if (!staged) {
        staged = new Staged;
        m_outermost = true;
    }
}

WriteGroup::~WriteGroup()
{
    commit();
    if (m_outermost) {
        delete staged;
        staged = nullptr;
    }
}

bool WriteGroup::commit()
{
    if (!m_outermost)
        return true;
    Staged group;
    std::swap(group, *staged);
    std::erase_if(group.files, [](const Saver::File &file) { return file.target.isEmpty(); });
    m_error = 0;
    if (group.files.empty() && group.removedIn.empty())
        return true;
    m_error = Saver::instance().store(std::move(group.files), group.removedIn);
    return m_error == 0;
}

QByteArray encodeList(const QStringList &entries)
{
    Encoder bytes(Encoder::room(entries));
    for (const QString &entry : entries) {
        bytes.putQuoted(entry);
        bytes.putLineEnd();
    }
    return bytes.take();
}

QByteArray encodeRecord(const QStringList &fields)
{
    Encoder bytes(Encoder::room(fields));
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            bytes.put(comma);
        bytes.putQuoted(fields[i]);
    }
    bytes.putLineEnd();
    return bytes.take();
}

QByteArray encodeValue(const QString &value)
{
    Encoder bytes(Encoder::room(value));
    bytes.putText(value);
    bytes.putLineEnd();
    return bytes.take();
}

QByteArray encodeNumber(qint64 number)
{
    const QByteArray digits = QByteArray::number(number);
    return (number < 0 ? digits : ' ' + digits) + ' ' + crlf;
}

bool rewriteBytes(const QString &path, const QByteArray &bytes, Mode mode)
{
    return write(path, bytes, mode);
}

bool rewriteList(const QString &path, const QStringList &entries, Mode mode)
{
    return write(path, encodeList(entries), mode);
}

bool rewriteRecord(const QString &path, const QStringList &fields, Mode mode)
{
    return write(path, encodeRecord(fields), mode);
}

bool rewriteValue(const QString &path, const QString &value, Mode mode)
{
    return write(path, encodeValue(value), mode);
}

bool rewriteValue(const QString &path, qint64 number, Mode mode)
{
    return write(path, encodeNumber(number), mode);
}

bool readList(const QString &path, QStringList &entries)
{
    QByteArray bytes;
    if (!read(path, bytes))
        return false;
    Reader reader(bytes);
    QString value;
    while (reader.readField(value))
        entries.append(value);
    return true;
}

bool readRecord(const QString &path, int count, QStringList &fields)
{
    QByteArray bytes;
    if (!read(path, bytes))
        return false;
    Reader reader(bytes);
    QStringList values;
    QString value;
    for (int i = 0; i < count; ++i) {
        if (!reader.readField(value))
            return false;
        values.append(value);
    }
    fields = values;
    return true;
}

bool readValue(const QString &path, QString &value)
{
    QStringList fields;
    if (!readRecord(path, 1, fields))
        return false;
    value = fields.first();
    return true;
}

bool readLine(const QString &path, QString &value)
{
    QByteArray bytes;
    if (!read(path, bytes))
        return false;
    return Reader(bytes).readLine(value);
}

bool readBytes(const QString &path, QByteArray &bytes)
{
    return read(path, bytes);
}

bool readPicture(const QString &path, QByteArray &bytes)
{
    return !path.isEmpty() && DiskFile::read(QFile::encodeName(path), bytes, true) == 0;
}

int removeTemporaries(const QString &dir)
{
    const QString data = QDir::cleanPath(dir);
    int removed = DiskFile::removeTemporaries(QFile::encodeName(data));
    // The pictures, the kept cards and the record of a change under way are
    // rewritten the same way, in the folders beside the data directory and
    // the one holding them.
    const QDir program(data + QStringLiteral("/.."));
    const QStringList folders = program.entryList(QDir::Dirs | QDir::NoDotAndDotDot) << QStringLiteral(".");
    for (const QString &folder : folders) {
        const QString path = QDir::cleanPath(program.filePath(folder));
        if (path != data)
            removed += DiskFile::removeTemporaries(QFile::encodeName(path));
    }
    return removed;
}

bool flush()
{
    return Saver::instance().flush();
}

void discardUnsaved()
{
    Saver::instance().discard();
}

NewFile::NewFile(const QString &path)
{
    if (std::optional<DiskFile::NewVersion> version = DiskFile::NewVersion::write(QFile::encodeName(path), {}, m_error))
        m_version = std::make_unique<DiskFile::NewVersion>(std::move(*version));
}

NewFile::~NewFile() = default;

int NewFile::append(const QByteArray &bytes)
{
    if (m_error == 0 && (m_error = m_version->append(bytes)) != 0)
        m_version.reset();
    return m_error;
}

int NewFile::commit()
{
    if (m_error == 0 && ((m_error = m_version->sync()) != 0 || (m_error = m_version->replace()) != 0
                         || (m_error = DiskFile::syncDirectory(m_version->directory())) != 0))
        m_version.reset();
    return m_error;
}

bool exists(const QString &path)
{
    QByteArray bytes;
    return !path.isEmpty() && (Saver::instance().pending(QFile::encodeName(path), bytes) || QFile::exists(path));
}

bool unreadable(const QString &path)
{
    QByteArray bytes;
    return exists(path) && !read(path, bytes);
}

bool remove(const QString &path)
{
    if (path.isEmpty())
        return true;
    // One call per file, whether or not it exists: a category's removal
    // deletes thousands of them, and syncs their directory once, in a group.
    const QByteArray target = QFile::encodeName(path);
    Saver::instance().forget(target);
    if (staged)
        staged->drop(target);
    // Not there, nor could it be where a folder on its way is not one.
    if (::unlink(target.constData()) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    if (staged) {
        staged->removedIn.insert(DiskFile::directoryOf(target));
        return true;
    }
    return Saver::instance().store({}, {DiskFile::directoryOf(target)}) == 0;
}

bool move(const QString &from, const QString &to)
{
    if (from.isEmpty() || to.isEmpty())
        return false;
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    QByteArray bytes;
    if (Saver::instance().pending(source, bytes))
        return false;
    Saver::instance().forget(target);
    if (staged)
        staged->drop(target);
    if (::rename(source.constData(), target.constData()) != 0)
        return errno == ENOENT;
    const std::set<QByteArray> dirs{DiskFile::directoryOf(source), DiskFile::directoryOf(target)};
    if (staged) {
        staged->removedIn.insert(dirs.cbegin(), dirs.cend());
        return true;
    }
    return Saver::instance().store({}, dirs) == 0;
}

Reader::Reader(const QByteArray &bytes) : m_bytes(bytes)
{
    if (m_bytes.startsWith("\xEF\xBB\xBF"))
        m_pos = 3;
    m_utf8 = TextCodec::isUtf8(m_bytes);
}

bool Reader::readField(QString &value)
{
    return read(value, true);
}

bool Reader::readLine(QString &value)
{
    return read(value, false);
}

bool Reader::read(QString &value, bool commaEnds)
{
    if (atEnd())
        return false;
    const qsizetype size = m_bytes.size();
    while (m_pos < size && m_bytes[m_pos] == ' ')
        ++m_pos;

    if (m_pos < size && m_bytes[m_pos] == quote) {
        const qsizetype start = m_pos + 1;
        qsizetype end = m_bytes.indexOf(quote, start);
        if (end < 0)
            end = size;
        value = decode(QByteArrayView(m_bytes).sliced(start, end - start), true);
        // Whatever stands between the closing quote and the delimiter is dropped.
        m_pos = end;
        while (m_pos < size && m_bytes[m_pos] != comma && m_bytes[m_pos] != cr && m_bytes[m_pos] != lf)
            ++m_pos;
    } else {
        const qsizetype start = m_pos;
        while (m_pos < size && !(commaEnds && m_bytes[m_pos] == comma) && m_bytes[m_pos] != cr && m_bytes[m_pos] != lf)
            ++m_pos;
        qsizetype end = m_pos;
        while (end > start && m_bytes[end - 1] == ' ')
            --end;
        value = decode(QByteArrayView(m_bytes).sliced(start, end - start), false);
    }
    skipDelimiter();
    return true;
}

void Reader::skipDelimiter()
{
    if (atEnd())
        return;
    const char c = m_bytes[m_pos++];
    if (c == cr && !atEnd() && m_bytes[m_pos] == lf)
        ++m_pos;
}

QString Reader::decode(QByteArrayView raw, bool quoted) const
{
    // QString::fromUtf8 drops a byte-order mark that starts its input; inside
    // a file it is a value's own first character (U+FEFF) and must stay.
    QString text = m_utf8 ? QString(QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(raw))
                          : TextCodec::fromWindows1252(raw);
    if (quoted)
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

} // namespace RecordFile
