#include "store/recordfile.h"

#include "store/textcodec.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
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

// A new version of one file, written out beside it but not yet in its place.
// Until replace() it is an unnamed file where the file system can make one,
// so a crash leaves nothing behind.
class NewVersion
{
public:
    NewVersion(const NewVersion &) = delete;
    NewVersion &operator=(const NewVersion &) = delete;
    NewVersion(NewVersion &&other) noexcept
        : m_target(std::move(other.m_target)), m_temporary(std::exchange(other.m_temporary, {})),
          m_fd(std::exchange(other.m_fd, -1)), m_targetExisted(other.m_targetExisted)
    {
    }
    NewVersion &operator=(NewVersion &&other) noexcept
    {
        if (this != &other) {
            discard();
            m_target = std::move(other.m_target);
            m_temporary = std::exchange(other.m_temporary, {});
            m_fd = std::exchange(other.m_fd, -1);
            m_targetExisted = other.m_targetExisted;
        }
        return *this;
    }
    ~NewVersion() { discard(); }

    static std::optional<NewVersion> write(const QByteArray &target, const QByteArray &bytes)
    {
        NewVersion version(target);
        if (!version.create() || !version.writeAll(bytes))
            return std::nullopt;
        return version;
    }

    // Starts the disk on this file's content without waiting for it, so that
    // a group of files is written out together before each is synced.
    void startWriteBack() const { ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE); }

    bool sync() const { return ::fdatasync(m_fd) == 0; }

    // Puts the synced content in place of the file in one rename, so the
    // file holds either its old content or all of the new.
    bool replace()
    {
        bool placed = false;
        if (m_temporary.isEmpty()) {
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
            // A file that did not exist is linked in directly, which saves the
            // rename; should one have appeared meanwhile, it is replaced below.
            if (!m_targetExisted
                && ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, m_target.constData(), AT_SYMLINK_FOLLOW) == 0) {
                placed = true;
            } else {
                for (int attempt = 0; attempt < maxAttempts; ++attempt) {
                    QByteArray name = temporaryName();
                    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
                        m_temporary = name;
                        placed = ::rename(m_temporary.constData(), m_target.constData()) == 0;
                        break;
                    }
                    if (errno != EEXIST)
                        break;
                }
            }
        } else {
            placed = ::rename(m_temporary.constData(), m_target.constData()) == 0;
        }
        if (placed)
            m_temporary.clear();
        discard();
        return placed;
    }

private:
    static constexpr int maxAttempts = 100;

    explicit NewVersion(const QByteArray &target) : m_target(target) {}

    // The file's name with a dot and six random letters or digits: seven
    // bytes, which is why names are kept to 248 bytes.
    QByteArray temporaryName() const
    {
        static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        QByteArray name = m_target + '.';
        for (int i = 0; i < 6; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        return name;
    }

    bool create()
    {
        struct stat existing{};
        m_targetExisted = ::stat(m_target.constData(), &existing) == 0;
        // A file its owner made read-only is left as it is.
        if (m_targetExisted && ::access(m_target.constData(), W_OK) != 0)
            return false;

        const qsizetype slash = m_target.lastIndexOf('/');
        const QByteArray dir = slash < 0 ? QByteArray(".") : m_target.left(slash + 1);
        // An unnamed file is linked in through /proc, which a sandbox may lack.
        static const bool canLinkUnnamed = ::access("/proc/self/fd", X_OK) == 0;
        if (canLinkUnnamed)
            m_fd = ::open(dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd < 0 && (!canLinkUnnamed || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            // No unnamed files here: use a named one beside the target.
            for (int attempt = 0; attempt < maxAttempts; ++attempt) {
                QByteArray name = temporaryName();
                m_fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
                if (m_fd >= 0)
                    m_temporary = name;
                if (m_fd >= 0 || errno != EEXIST)
                    break;
            }
        }
        if (m_fd < 0)
            return false;
        // The new version keeps the permissions the old one was given.
        constexpr mode_t permissions = 07777;
        return !m_targetExisted || ::fchmod(m_fd, existing.st_mode & permissions) == 0;
    }

    bool writeAll(const QByteArray &bytes) const
    {
        const char *next = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(m_fd, next, size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            next += written;
            left -= written;
        }
        return true;
    }

    void discard()
    {
        if (!m_temporary.isEmpty())
            ::unlink(m_temporary.constData());
        m_temporary.clear();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    QByteArray m_target;
    QByteArray m_temporary; // empty while the new version has no name
    int m_fd = -1;
    bool m_targetExisted = false;
};

// The new versions written while a group is open, in the order written.
using Staged = std::vector<std::pair<QByteArray, NewVersion>>;
thread_local Staged *staged = nullptr;

bool write(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return false;
    const QByteArray target = QFile::encodeName(path);
    std::optional<NewVersion> version = NewVersion::write(target, bytes);
    if (!version)
        return false;
    if (!staged)
        return version->sync() && version->replace();
    // Only the last version of a file rewritten in the group is kept.
    const auto same = std::find_if(staged->begin(), staged->end(), [&](const auto &entry) { return entry.first == target; });
    if (same != staged->end())
        staged->erase(same);
    staged->emplace_back(target, std::move(*version));
    return true;
}

bool read(const QString &path, QByteArray &bytes)
{
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
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
    Staged versions;
    versions.swap(*staged);
    // On a journalling file system the first sync commits what the others
    // need too, so once every file is on its way to the disk the rest of the
    // syncs cost little.
    for (const auto &[target, version] : versions)
        version.startWriteBack();
    bool all = true;
    for (auto &[target, version] : versions)
        all = version.sync() && version.replace() && all;
    return all;
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

bool rewriteBytes(const QString &path, const QByteArray &bytes)
{
    return write(path, bytes);
}

bool rewriteList(const QString &path, const QStringList &entries)
{
    return write(path, encodeList(entries));
}

bool rewriteRecord(const QString &path, const QStringList &fields)
{
    return write(path, encodeRecord(fields));
}

bool rewriteValue(const QString &path, const QString &value)
{
    return write(path, encodeValue(value));
}

bool rewriteValue(const QString &path, qint64 number)
{
    return write(path, encodeNumber(number));
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

bool exists(const QString &path)
{
    return !path.isEmpty() && QFile::exists(path);
}

bool unreadable(const QString &path)
{
    QByteArray bytes;
    return exists(path) && !read(path, bytes);
}

bool remove(const QString &path)
{
    // One call per file, whether or not it exists: a category's removal
    // deletes thousands of them.
    return path.isEmpty() || ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
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
