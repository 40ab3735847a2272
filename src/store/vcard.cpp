#include "store/vcard.h"

#include "store/textcodec.h"

#include <QBuffer>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace Vcard {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool isBase64Char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/'
           || c == '=';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A card's lines, as the Reader gives them: each ends in LF.
class Lines
{
public:
    explicit Lines(QByteArrayView bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }

    QByteArrayView peek() const
    {
        const qsizetype end = m_bytes.indexOf('\n', m_pos);
        return m_bytes.sliced(m_pos, (end < 0 ? m_bytes.size() : end) - m_pos);
    }

    QByteArrayView take()
    {
        const QByteArrayView taken = peek();
        m_pos += taken.size() + 1;
        return taken;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

// UTF-8 where the bytes are UTF-8, else Windows-1252, unless the card names
// a charset: then that, each byte it cannot read replaced alone. A leading
// U+FEFF is the value's own.
QString decodeText(QByteArrayView bytes, const QString &charset = {})
{
    const QString name = charset.trimmed().toLower();
    if (!name.isEmpty()) {
        static const QStringList western = {"windows-1252", "cp1252",   "iso-8859-1", "latin1",
                                            "iso_8859-1",   "us-ascii", "ascii"};
        if (western.contains(name))
            return TextCodec::fromWindows1252(bytes);
        QStringDecoder decoder(name.toLatin1().constData(), QStringDecoder::Flag::ConvertInitialBom);
        if (decoder.isValid())
            return decoder(bytes);
    }
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    if (TextCodec::isUtf8(bytes))
        return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(bytes);
    return TextCodec::fromWindows1252(bytes);
}

QByteArray decodeQuotedPrintable(QByteArrayView in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            const int high = hexDigit(in[i + 1]);
            const int low = hexDigit(in[i + 2]);
            if (high >= 0 && low >= 0) {
                out += char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += in[i];
    }
    return out;
}

// Raw line breaks, as quoted-printable values carry them, become "\n".
QString escapeLineBreaks(QString text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return text;
}

// A vCard 2.1 value escaped as it is read, as 4.0 escapes it, since it is
// kept and goes out as 4.0. In 2.1 a backslash is the user's own character
// (C:\new folder: line breaks travel as quoted-printable, never as \n), but
// for \; which its writers put before each ';' of a value, compound or not.
// And 2.1 escapes no comma, where 3.0 and 4.0 readers (python3-vobject) end a
// value at a plain one; with commas false, those that part a list of
// categories are left as they are. (An address, URL, is escaped by neither.)
QString escapeAsRead21(const QString &value, bool commas)
{
    if (!value.contains(u'\\') && !(commas && value.contains(u',')))
        return value;
    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size() && value[i + 1] == u';') {
            out += value[i];
            out += value[++i];
            continue;
        }
        if (value[i] == u'\\' || (commas && value[i] == u','))
            out += u'\\';
        out += value[i];
    }
    return out;
}

// A parameter value's caret escapes (^^, ^n, ^').
QString decodeCarets(QString value)
{
    if (!value.contains(QLatin1Char('^')))
        return value;
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar next = i + 1 < value.size() ? value[i + 1] : QChar();
        if (value[i] == u'^' && (next == u'^' || next == u'n' || next == u'N' || next == u'\'')) {
            out += next == u'^' ? QChar(u'^') : next == u'\'' ? QChar(u'"') : QChar(u'\n');
            ++i;
        } else {
            out += value[i];
        }
    }
    return out;
}

QString encodeCarets(const QString &value)
{
    QString out = value;
    out.replace(QLatin1Char('^'), QLatin1String("^^"));
    out.replace(QLatin1Char('"'), QLatin1String("^'"));
    out.replace(QLatin1String("\r\n"), QLatin1String("^n"));
    out.replace(QLatin1Char('\r'), QLatin1String("^n"));
    out.replace(QLatin1Char('\n'), QLatin1String("^n"));
    return out;
}

// Where a property's name and parameters end and its value begins.
struct Head
{
    QByteArray group;
    QByteArray name;
    QList<Parameter> parameters;
    qsizetype valueStart = -1; // -1: no complete head
};

QByteArray scanName(QByteArrayView line, qsizetype &i)
{
    const qsizetype start = i;
    while (i < line.size() && isNameChar(line[i]))
        ++i;
    return line.sliced(start, i - start).toByteArray();
}

// A parameter named again right after itself (TEL;HOME;VOICE) gathers its values.
void addParameter(QList<Parameter> &parameters, const QByteArray &name, const QStringList &values)
{
    if (!parameters.isEmpty() && parameters.last().name == name)
        parameters.last().values += values;
    else
        parameters.append({name, values});
}

// Whether the bytes begin with the name, in any letter case.
bool startsWithName(QByteArrayView bytes, QByteArrayView name)
{
    return bytes.size() >= name.size()
           && QLatin1StringView(bytes.first(name.size())).compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0;
}

// Samsung's label of a custom number or e-mail address is a parameter of a
// form of its own, X-CUSTOM(CHARSET=UTF-8,ENCODING=QUOTED-PRINTABLE,Boat).
constexpr QByteArrayView customOpening = "X-CUSTOM(";

// Where the one at start ends (at its ')'), -1 where the parameter there is not one.
qsizetype customLabelEnd(QByteArrayView line, qsizetype start)
{
    if (!startsWithName(line.sliced(start), customOpening))
        return -1;
    for (qsizetype close = line.indexOf(')', start); close >= 0; close = line.indexOf(')', close + 1)) {
        if (close + 1 < line.size() && (line[close + 1] == ';' || line[close + 1] == ':'))
            return close;
    }
    return -1;
}

// The label is the last of what the parentheses hold, in the charset and
// encoding named before it; a line break in it would not come back the same.
QString customLabel(QByteArrayView inside)
{
    constexpr QByteArrayView charsetIs = "CHARSET=", encodingIs = "ENCODING=";
    QString charset;
    bool quotedPrintable = false;
    for (qsizetype comma = inside.indexOf(','); comma >= 0; comma = inside.indexOf(',')) {
        const QByteArrayView part = inside.first(comma);
        if (startsWithName(part, charsetIs))
            charset = QString::fromLatin1(part.sliced(charsetIs.size()));
        else if (startsWithName(part, encodingIs))
            quotedPrintable = part.sliced(encodingIs.size()).compare("QUOTED-PRINTABLE", Qt::CaseInsensitive) == 0;
        else
            break;
        inside = inside.sliced(comma + 1);
    }
    const QByteArray bytes = quotedPrintable ? decodeQuotedPrintable(inside) : inside.toByteArray();
    QString label = decodeText(bytes, charset);
    for (QChar &c : label) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    return label;
}

Head parseHead(QByteArrayView line)
{
    Head head;
    qsizetype i = 0;
    QByteArray token = scanName(line, i);
    if (token.isEmpty())
        return head;
    if (i < line.size() && line[i] == '.') {
        ++i;
        head.group = token;
        token = scanName(line, i);
        if (token.isEmpty())
            return head;
    }
    head.name = token.toUpper();
    while (i < line.size() && line[i] == ';') {
        const qsizetype start = ++i;
        if (const qsizetype close = customLabelEnd(line, start); close >= 0) {
            const QByteArrayView inside = line.sliced(start + customOpening.size(), close - start - customOpening.size());
            addParameter(head.parameters, "X-CUSTOM", {customLabel(inside)});
            i = close + 1;
            continue;
        }
        while (i < line.size() && line[i] != '=' && line[i] != ';' && line[i] != ':')
            ++i;
        const QByteArrayView name = line.sliced(start, i - start);
        if (i < line.size() && line[i] == '=') {
            QStringList values;
            do {
                ++i;
                if (i < line.size() && line[i] == '"') {
                    const qsizetype end = line.indexOf('"', i + 1);
                    if (end < 0)
                        return head;
                    values.append(decodeCarets(decodeText(line.sliced(i + 1, end - i - 1))));
                    i = end + 1;
                    // Whatever stands between the closing quote and the next delimiter is dropped.
                    while (i < line.size() && line[i] != ',' && line[i] != ';' && line[i] != ':')
                        ++i;
                } else {
                    const qsizetype valueStart = i;
                    while (i < line.size() && line[i] != ',' && line[i] != ';' && line[i] != ':')
                        ++i;
                    values.append(decodeCarets(decodeText(line.sliced(valueStart, i - valueStart))));
                }
            } while (i < line.size() && line[i] == ',');
            // A name of other characters could not be written back the same.
            if (!name.isEmpty() && std::all_of(name.begin(), name.end(), isNameChar))
                addParameter(head.parameters, name.toByteArray().toUpper(), values);
        } else if (!name.isEmpty()) {
            // vCard 2.1 names a type or an encoding alone: TEL;HOME;VOICE.
            const QByteArray upper = name.toByteArray().toUpper();
            const bool encoding = upper == "QUOTED-PRINTABLE" || upper == "BASE64" || upper == "8BIT" || upper == "7BIT";
            addParameter(head.parameters, encoding ? QByteArray("ENCODING") : QByteArray("TYPE"),
                         {decodeText(name)});
        }
    }
    if (i < line.size() && line[i] == ':')
        head.valueStart = i + 1;
    return head;
}

bool hasEncoding(const QList<Parameter> &parameters, std::initializer_list<const char *> names)
{
    for (const Parameter &parameter : parameters) {
        if (parameter.name != "ENCODING")
            continue;
        for (const QString &value : parameter.values) {
            for (const char *name : names) {
                if (value.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                    return true;
            }
        }
    }
    return false;
}

bool isBase64Line(QByteArrayView line)
{
    if (line.isEmpty())
        return false;
    for (const char c : line) {
        if (!isBase64Char(c))
            return false;
    }
    return true;
}

// One property, its folded and soft-broken lines joined. A property whose
// line cannot be read comes back with an empty name.
Property readProperty(Lines &lines, bool version21)
{
    QByteArray line = lines.take().toByteArray();
    Head head;
    // The head ends at a colon; it is read again only when a new colon comes,
    // and a few times at most, so a long folded line costs no more than once.
    qsizetype scanned = 0;
    int attempts = 0;
    bool quotedPrintable = false;
    bool base64 = false;
    for (;;) {
        if (head.valueStart < 0 && attempts < 8) {
            const qsizetype colon = line.indexOf(':', scanned);
            scanned = colon < 0 ? line.size() : colon + 1;
            if (colon >= 0) {
                head = parseHead(line);
                ++attempts;
                quotedPrintable = hasEncoding(head.parameters, {"QUOTED-PRINTABLE"});
                base64 = hasEncoding(head.parameters, {"B", "BASE64"});
            }
        }
        if (lines.atEnd())
            break;
        const QByteArrayView next = lines.peek();
        const bool continued = !next.isEmpty() && isSpace(next[0]);
        if (head.valueStart >= 0 && quotedPrintable && line.endsWith('=') && qsizetype(line.size()) > head.valueStart) {
            // A soft line break: the value goes on at the start of the next line.
            line.chop(1);
            line += lines.take();
        } else if (continued) {
            line += lines.take().sliced(1);
        } else if (version21 && head.valueStart >= 0 && base64 && isBase64Line(next)) {
            // vCard 2.1 writers may go on with base64 lines that are not
            // indented; later versions fold every line, and a folded name
            // could look like base64.
            line += lines.take();
        } else {
            break;
        }
    }
    Property property;
    if (head.valueStart < 0)
        return property;
    // A soft break with nothing after it, as some writers leave before END:VCARD.
    if (quotedPrintable && line.endsWith('=') && line.size() > head.valueStart)
        line.chop(1);

    QByteArrayView raw = QByteArrayView(line).sliced(head.valueStart);
    QByteArray decoded;
    if (quotedPrintable) {
        decoded = decodeQuotedPrintable(raw);
        raw = decoded;
    }
    QString charset;
    for (qsizetype i = head.parameters.size() - 1; i >= 0; --i) {
        const QByteArray &name = head.parameters[i].name;
        if (name == "CHARSET") {
            charset = head.parameters[i].values.value(0);
            head.parameters.removeAt(i);
        } else if (name == "ENCODING" && quotedPrintable) {
            head.parameters.removeAt(i);
        }
    }
    // What stood between two parameters of one name may have gone: they gather as when read adjacent.
    for (qsizetype i = head.parameters.size() - 1; i > 0; --i) {
        if (head.parameters[i].name == head.parameters[i - 1].name) {
            head.parameters[i - 1].values += head.parameters[i].values;
            head.parameters.removeAt(i);
        }
    }
    property.value = decodeText(raw, charset);
    const QStringList valueType = Property{{}, {}, head.parameters, {}}.parameter("VALUE");
    const bool address = head.name == "URL" || valueType.contains(QLatin1String("url"), Qt::CaseInsensitive)
                         || valueType.contains(QLatin1String("uri"), Qt::CaseInsensitive);
    if (version21 && !base64 && !address)
        property.value = escapeAsRead21(property.value, head.name != "CATEGORIES");
    if (quotedPrintable)
        property.value = escapeLineBreaks(property.value);
    property.group = head.group;
    property.name = head.name;
    property.parameters = head.parameters;
    return property;
}

// Splits at each unescaped separator (none when it is 0) and unescapes the parts.
QStringList split(const QString &value, char16_t separator)
{
    // A photo's value is tens of kilobytes with nothing to unescape: it is
    // copied in runs, not a character at a time.
    const auto special = [separator](QChar c) { return c == u'\\' || (separator != 0 && c == separator); };
    QStringList parts;
    QString part;
    const QChar *const begin = value.constData(), *const end = begin + value.size();
    const QChar *run = begin;
    for (const QChar *at = std::find_if(run, end, special); at != end; at = std::find_if(run, end, special)) {
        part.append(run, at - run);
        run = at + 1;
        if (*at != u'\\') {
            parts.append(std::exchange(part, {}));
        } else if (run != end) {
            const QChar next = *run++;
            if (next == u'n' || next == u'N')
                part += u'\n';
            else if (next == u'\\' || next == u',' || next == u';' || next == u':')
                part += next;
            else
                part += *at, part += next; // not an escape: kept as written
        } else {
            part += *at;
        }
    }
    if (run == begin)
        part = value; // nothing unescaped: the value itself, shared
    else
        part.append(run, end - run);
    parts.append(part);
    return parts;
}

void appendFolded(QByteArray &out, const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    // Room for every fold at once (a photo's line folds hundreds of times):
    // a piece holds at least 71 octets, 74 less a character's other three.
    const qsizetype start = out.size();
    out.resize(start + bytes.size() + 3 * (bytes.size() / 71 + 1) + 2);
    char *to = out.data() + start;
    const char *from = bytes.constData();
    const char *const end = from + bytes.size();
    qsizetype room = 75;
    while (end - from > room) {
        const char *cut = from + room;
        while (cut > from && (static_cast<unsigned char>(*cut) & 0xC0) == 0x80)
            --cut;
        to = std::copy(from, cut, to);
        to = std::copy_n("\r\n ", 3, to);
        from = cut;
        room = 74;
    }
    to = std::copy(from, end, to);
    to = std::copy_n("\r\n", 2, to);
    out.truncate(to - out.constData());
}

QString propertyLine(const Property &property)
{
    QString line;
    line.reserve(property.value.size() + 64);
    if (!property.group.isEmpty())
        line += QString::fromLatin1(property.group) + u'.';
    line += QString::fromLatin1(property.name);
    for (const Parameter &parameter : property.parameters) {
        line += u';' + QString::fromUtf8(parameter.name) + u'=';
        for (qsizetype i = 0; i < parameter.values.size(); ++i) {
            const QString value = encodeCarets(parameter.values[i]);
            const bool quote = value.contains(u',') || value.contains(u';') || value.contains(u':');
            line += (i > 0 ? QStringLiteral(",") : QString()) + (quote ? QLatin1Char('"') + value + QLatin1Char('"') : value);
        }
    }
    line += u':';
    line += escapeLineBreaks(property.value);
    return line;
}

} // namespace

QStringList Property::parameter(QByteArrayView name) const
{
    QStringList values;
    for (const Parameter &parameter : parameters) {
        if (parameter.name != name)
            continue;
        if (name != "TYPE") {
            values += parameter.values;
            continue;
        }
        for (const QString &value : parameter.values)
            values += value.split(u',');
    }
    return values;
}

bool Property::hasType(QLatin1StringView type) const
{
    return parameter("TYPE").contains(type, Qt::CaseInsensitive);
}

QString Property::text() const
{
    return split(value, 0).value(0);
}

QStringList Property::components() const
{
    return split(value, u';');
}

QStringList Property::list() const
{
    return split(value, u',');
}

QByteArray Property::binary(bool *ok) const
{
    // Base64 never holds a backslash: where another program escaped the
    // data: address's ',' and ';' (or a payload's), they are the plain ones.
    const auto decoded = [ok](const QByteArray &base64) {
        QByteArray bytes(base64.size(), Qt::Uninitialized);
        bytes.truncate(std::remove_copy_if(base64.begin(), base64.end(), bytes.begin(),
                                           [](char c) { return c == '\\' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; })
                       - bytes.begin());
        auto result = QByteArray::fromBase64Encoding(bytes, QByteArray::AbortOnBase64DecodingErrors);
        if (ok)
            *ok = bool(result);
        return result ? *result : QByteArray();
    };
    if (ok)
        *ok = false;
    if (value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        const QString uri = text();
        const qsizetype comma = uri.indexOf(u',');
        if (comma < 0)
            return {};
        const QByteArray data = uri.sliced(comma + 1).toUtf8();
        if (uri.first(comma).endsWith(QLatin1String(";base64"), Qt::CaseInsensitive))
            return decoded(data);
        if (ok)
            *ok = true;
        return QByteArray::fromPercentEncoding(data);
    }
    if (hasEncoding(parameters, {"B", "BASE64"}))
        return decoded(value.toLatin1());
    return {};
}

QString Property::mediaType() const
{
    if (value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        qsizetype end = 5;
        while (end < value.size() && value[end] != u';' && value[end] != u',')
            ++end;
        return value.sliced(5, end - 5).toLower();
    }
    QString type = parameter("MEDIATYPE").value(0);
    if (type.isEmpty())
        type = parameter("TYPE").value(0);
    if (type.isEmpty())
        return {};
    return (type.contains(u'/') ? type : QStringLiteral("image/") + type).toLower();
}

const Property *Card::first(QByteArrayView name) const
{
    for (const Property &property : properties) {
        if (property.name == name)
            return &property;
    }
    return nullptr;
}

QList<const Property *> Card::all(QByteArrayView name) const
{
    QList<const Property *> found;
    for (const Property &property : properties) {
        if (property.name == name)
            found.append(&property);
    }
    return found;
}

Reader::Reader(QIODevice &device) : m_device(device) {}

// More of the file into the buffer, UTF-16 turned into UTF-8; false at its end.
bool Reader::fill()
{
    if (m_ended)
        return false;
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    // One piece for every read of the file: a pipe may give a few bytes a read.
    if (m_chunk.isEmpty())
        m_chunk.resize(1 << 16);
    QByteArray bytes;
    // The first bytes tell the encoding, and a pipe may give them in pieces.
    do {
        const qint64 read = m_device.read(m_chunk.data(), m_chunk.size());
        if (read <= 0)
            break;
        bytes.append(m_chunk.constData(), read);
    } while (!m_started && bytes.size() < 3);
    if (bytes.isEmpty()) {
        m_ended = true;
        if (m_held.isEmpty())
            return false;
        m_buffer += m_held.toUtf8(); // a lone half of a pair, as reading the whole text gives it
        m_held.clear();
        return true;
    }
    if (!m_started) {
        m_started = true;
        if (bytes.startsWith("\xFF\xFE"))
            m_utf16.emplace(QStringDecoder::Utf16LE);
        else if (bytes.startsWith("\xFE\xFF"))
            m_utf16.emplace(QStringDecoder::Utf16BE);
        else if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        if (m_utf16)
            bytes.remove(0, 2);
    }
    if (m_utf16) {
        // A pair of UTF-16 halves that two reads split is put together before it becomes UTF-8.
        QString text = m_held + QString((*m_utf16)(bytes));
        m_held.clear();
        if (!text.isEmpty() && text.back().isHighSurrogate()) {
            m_held = text.back();
            text.chop(1);
        }
        m_buffer += text.toUtf8();
    } else {
        m_buffer += bytes;
    }
    return true;
}

// One physical line without its end: CR LF, LF, a lone CR, or CR CR LF as
// some Windows programs write CR LF over again.
bool Reader::readLine(QByteArray &line)
{
    qsizetype searched = m_pos;
    for (;;) {
        const char *start = m_buffer.constData() + searched;
        const auto left = size_t(m_buffer.size() - searched);
        const auto *lf = static_cast<const char *>(std::memchr(start, '\n', left));
        const auto *cr = static_cast<const char *>(std::memchr(start, '\r', lf ? size_t(lf - start) : left));
        const char *end = cr ? cr : lf;
        if (end) {
            qsizetype next = end - m_buffer.constData();
            const qsizetype length = next - m_pos;
            if (cr) {
                // Whether CRs end in LF shows only once what follows them is read.
                qsizetype after = next;
                while (after < m_buffer.size() && m_buffer[after] == '\r')
                    ++after;
                if (after == m_buffer.size() && !m_ended) {
                    const qsizetype offset = m_pos;
                    fill();
                    searched = searched - offset;
                    continue;
                }
                next = after < m_buffer.size() && m_buffer[after] == '\n' ? after : next;
            }
            line = m_buffer.sliced(m_pos, length);
            m_pos = next + 1;
            return true;
        }
        searched = m_buffer.size();
        const qsizetype offset = m_pos;
        if (!fill()) {
            if (m_pos >= m_buffer.size())
                return false;
            line = m_buffer.sliced(m_pos);
            m_pos = m_buffer.size();
            return true;
        }
        searched -= offset;
    }
}

namespace {

bool isCardLine(QByteArrayView line, QLatin1StringView keyword)
{
    return QLatin1StringView(line.trimmed()).compare(keyword, Qt::CaseInsensitive) == 0;
}

// Within a card, a line that begins with a space or a tab carries on the line
// before it, whatever it holds: a long value folded just before "BEGIN:VCARD"
// neither ends the card nor begins another.
bool isCardLineInCard(QByteArrayView line, QLatin1StringView keyword)
{
    return !line.startsWith(' ') && !line.startsWith('\t') && isCardLine(line, keyword);
}

// "AGENT:" with nothing after it: 2.1 puts the agent's own card on the next lines.
bool isAgentLine(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon < 0 || !line.sliced(colon + 1).trimmed().isEmpty())
        return false;
    QByteArrayView name = line.first(colon);
    if (const qsizetype semicolon = name.indexOf(';'); semicolon >= 0)
        name = name.first(semicolon);
    if (const qsizetype dot = name.indexOf('.'); dot >= 0)
        name = name.sliced(dot + 1);
    return QLatin1StringView(name).compare(QLatin1String("AGENT"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool Reader::next(Card &card)
{
    card = Card();
    QByteArray line;
    if (m_begun.isEmpty()) {
        do {
            if (!readLine(line))
                return false;
        } while (!isCardLine(line, QLatin1String("BEGIN:VCARD")));
    }
    m_begun.clear();

    // The card's lines, each ending in LF; those of a card nested in it, 2.1's
    // agent, become its AGENT's value, in the form 3.0 gives it one.
    QByteArray bytes;
    QList<QByteArray> agents;
    int nested = 0;
    bool afterAgent = false;
    for (;;) {
        if (!readLine(line)) {
            card.damage = QStringLiteral("no END:VCARD");
            break;
        }
        if (isCardLineInCard(line, QLatin1String("BEGIN:VCARD"))) {
            if (afterAgent) {
                afterAgent = false;
                agents.append(line + '\n');
                ++nested;
                continue;
            }
            card.damage = QStringLiteral("no END:VCARD");
            m_begun = line;
            break;
        }
        if (isCardLineInCard(line, QLatin1String("END:VCARD"))) {
            if (nested == 0)
                break;
            agents.last() += line + '\n';
            --nested;
            continue;
        }
        if (nested > 0) {
            agents.last() += line + '\n';
            continue;
        }
        afterAgent = isAgentLine(line);
        bytes += line;
        bytes += '\n';
    }

    Lines lines(bytes);
    while (!lines.atEnd()) {
        Property property = readProperty(lines, card.version == QLatin1String("2.1"));
        if (property.name.isEmpty() || property.name == "BEGIN" || property.name == "END")
            continue;
        if (property.name == "VERSION") {
            card.version = property.value.trimmed();
            continue;
        }
        if (property.name == "AGENT" && property.value.isEmpty() && !agents.isEmpty())
            property.value = escape(QString::fromUtf8(agents.takeFirst()));
        card.properties.append(std::move(property));
    }
    return true;
}

QList<Card> parse(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    Reader reader(buffer);
    QList<Card> cards;
    for (Card card; reader.next(card);)
        cards.append(std::move(card));
    return cards;
}

QByteArray write(const Card &card)
{
    QByteArray out = QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:4.0\r\n");
    for (const Property &property : card.properties) {
        if (property.name != "BEGIN" && property.name != "END" && property.name != "VERSION")
            appendFolded(out, propertyLine(property));
    }
    out += "END:VCARD\r\n";
    return out;
}

QString escape(QStringView text, QStringView separators)
{
    QString out;
    qsizetype plain = 0; // where the characters taken as they are begin
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' && c != u'\r' && c != u'\n' && std::find(separators.begin(), separators.end(), c) == separators.end())
            continue;
        if (out.isNull())
            out.reserve(text.size() + 8);
        out += text.sliced(plain, i - plain);
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += QLatin1String("\\n");
        } else {
            out += u'\\';
            out += c;
        }
        plain = i + 1;
    }
    if (out.isNull())
        return text.toString();
    out += text.sliced(plain);
    return out;
}

} // namespace Vcard
