// libFuzzer target over the record file reader, the encoders and the path
// rule: whatever the bytes, reading ends, what is written reads back, and a
// data file's path never leaves the data directory. Run it with fuzz/run.sh.
#include "store/paths.h"
#include "store/recordfile.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>

// Last: its macro would clash with names in the headers above.
#include "check.h"

namespace {

QStringList readAll(const QByteArray &bytes, bool &ended)
{
    RecordFile::Reader reader(bytes);
    QStringList fields;
    QString value;
    // Every field takes at least one byte, so reading ends.
    while (fields.size() <= bytes.size() && reader.readField(value))
        fields.append(value);
    ended = reader.atEnd();
    return fields;
}

// What a write-form value reads back as: a line break is CR LF on disk either way.
QString readBack(QString value)
{
    return value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

void checkPath(const QStringList &parts)
{
    const QString path = Store::dataFile(parts.value(0), parts.value(1), parts.value(2));
    if (path.isEmpty())
        return;
    const QString name = parts.value(0) + parts.value(1) + parts.value(2);
    check(path == Store::dataDir() + name);
    check(QFileInfo(path).absolutePath() + QLatin1Char('/') == Store::dataDir());
    check(QDir::cleanPath(path) == path);
    check(!name.contains(QLatin1Char('/')) && !name.contains(QChar(0)));
    check(QFile::encodeName(name).size() <= Store::maxFileNameBytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // Any file: reading ends, at the end.
    bool ended = false;
    readAll(bytes, ended);
    check(ended);

    // The input as values, split at the unit separator: a record and a list
    // of them read back whole, unless a value holds the double quote the
    // encoding cannot carry.
    const QString text = QString::fromUtf8(bytes);
    const QStringList values = text.split(QChar(0x1F));
    if (!text.contains(QLatin1Char('"'))) {
        QStringList expected;
        for (const QString &value : values)
            expected.append(readBack(value));
        check(readAll(RecordFile::encodeRecord(values), ended) == expected && ended);
        check(readAll(RecordFile::encodeList(values), ended) == expected && ended);
    }

    // A bare value without the characters that end or trim it reads back
    // whole. One that starts with U+FEFF starts its file with a byte-order
    // mark, which is read as the file's own: bare values are picture paths,
    // which start with '/', and numbers.
    const QString &bare = values.first();
    if (!bare.contains(QLatin1Char(',')) && !bare.contains(QLatin1Char('\r')) && !bare.contains(QLatin1Char('\n'))
        && !bare.startsWith(QLatin1Char('"')) && !bare.startsWith(QChar(0xFEFF)) && bare.trimmed() == bare
        && !bare.isEmpty()) {
        check(readAll(RecordFile::encodeValue(bare), ended).value(0) == bare);
    }

    checkPath(values);
    return 0;
}
