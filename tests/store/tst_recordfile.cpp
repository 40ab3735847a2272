// The data files' one encoding, byte for byte, how it is read back, and which
// paths a data file may have.

#include "store/paths.h"
#include "store/recordfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestRecordFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;

    static QString path(const QString &name) { return Store::dataDir() + name; }

    static void put(const QString &name, const QByteArray &bytes)
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    // A file where the data directory should be: nothing can be stored, not
    // even by making the directory again.
    static bool blockDataDir()
    {
        QFile file(Store::dataDir().chopped(1));
        return QDir(Store::dataDir()).removeRecursively() && file.open(QIODevice::WriteOnly);
    }

    static QByteArray content(const QString &name)
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void init()
    {
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
        QDir(Store::dataDir()).removeRecursively();
        QFile::remove(Store::dataDir().chopped(1));
        QDir(m_home.path() + "/elsewhere").removeRecursively();
        QVERIFY(Store::makeDataDir());
    }

    // Each form through its rewrite operation gives exactly these bytes, and reads back as `back`.
    void write_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("back");

        const auto row = [](const char *tag, const char *form, const QStringList &values, const QByteArray &bytes,
                            const std::optional<QStringList> &back = {}) {
            QTest::newRow(tag) << form << values << bytes << back.value_or(values);
        };
        row("list of none", "list", {}, "");
        row("list", "list", {"Family", "Work"}, "\"Family\"\r\n\"Work\"\r\n");
        row("record of five empty", "record", {"", "", "", "", ""}, "\"\",\"\",\"\",\"\",\"\"\r\n");
        row("comma kept", "record", {"12 Elm St, Leeds"}, "\"12 Elm St, Leeds\"\r\n");
        row("line breaks as CR LF", "record", {"12 Elm St\nLeeds\n\nLS1"}, "\"12 Elm St\r\nLeeds\r\n\r\nLS1\"\r\n");
        row("CR LF not doubled", "record", {"a\r\nb"}, "\"a\r\nb\"\r\n", QStringList{"a\nb"});
        row("lone CR kept, line breaks at the ends", "list", {"\na\rb\r\r\n", "\xC3\xA9\n\xE2\x82\xAC"},
            "\"\r\na\rb\r\r\n\"\r\n\"\xC3\xA9\r\n\xE2\x82\xAC\"\r\n", QStringList{"\na\rb\r\n", "\xC3\xA9\n\xE2\x82\xAC"});
        row("lone surrogate", "record", {QString(QChar(0xD800)) + "\n"}, "\"\xEF\xBF\xBD\r\n\"\r\n",
            QStringList{QString(QChar(0xFFFD)) + "\n"});
        row("spaces kept", "record", {"  x  "}, "\"  x  \"\r\n");
        row("quote written unchanged, cuts on reading", "record", {"say \"hi\""}, "\"say \"hi\"\"\r\n",
            QStringList{"say "});
        row("UTF-8", "record", {"Zoë 李"}, "\"Zo\xC3\xAB \xE6\x9D\x8E\"\r\n");
        row("value bare, cut at a comma on reading", "value", {"/home/ann/ann, 1.jpg"}, "/home/ann/ann, 1.jpg\r\n",
            QStringList{"/home/ann/ann", "1.jpg"});
        row("number", "number", {"255"}, " 255 \r\n");
        row("negative number", "number", {"-5"}, "-5 \r\n");
    }

    void write()
    {
        QFETCH(QString, form);
        QFETCH(QStringList, values);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, back);

        const QString file = path("f");
        QVERIFY(form == "list"     ? RecordFile::rewriteList(file, values)
                : form == "record" ? RecordFile::rewriteRecord(file, values)
                : form == "value"  ? RecordFile::rewriteValue(file, values.first())
                                   : RecordFile::rewriteValue(file, values.first().toLongLong()));
        QCOMPARE(content("f"), bytes);
        QStringList read;
        QVERIFY(RecordFile::readList(file, read));
        QCOMPARE(read, back);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");

        const auto row = [](const char *tag, const QByteArray &bytes, const QStringList &entries) {
            QTest::newRow(tag) << bytes << entries;
        };
        row("empty file", "", {});
        row("two records", "\"b\"\r\n\"a\"\r\n", {"b", "a"});
        row("two fields on one line", "\"a\",\"b\"\r\n", {"a", "b"});
        row("comma and CR LF inside quotes", "\"12 Elm St, Leeds\r\nLS1\"\r\n", {"12 Elm St, Leeds\nLS1"});
        row("lone LF inside quotes", "\"a\nb\"\r\n", {"a\nb"});
        row("cut at a quote, rest of line dropped", "\"say \"hi\"\"\r\n\"next\"\r\n", {"say ", "next"});
        row("spaces before a field skipped", "   \"a\" ,  \"b\"\r\n", {"a", "b"});
        row("unquoted, trailing spaces dropped", "plain  ,  more\r\n", {"plain", "more"});
        row("LF line ends", "\"a\"\n\"b\"\n", {"a", "b"});
        row("CR line ends", "\"a\"\r\"b\"\r", {"a", "b"});
        row("no final line end", "\"a\"\r\n\"b\"", {"a", "b"});
        row("unterminated quote runs to the end", "\"a\"\r\n\"bc", {"a", "bc"});
        row("UTF-8 byte-order mark", "\xEF\xBB\xBF\"Ann\"\r\n", {"Ann"});
        row("UTF-8", "\"Zo\xC3\xAB\"\r\n", {"Zoë"});
        row("Windows-1252", "\"Zo\xEB\"\r\n\"\x80 5\"\r\n", {"Zoë", "€ 5"});
        row("overlong UTF-8 form read as Windows-1252", "\"\xC0\xAF\"\r\n", {"À¯"});
        row("UTF-8 cut at the end read as Windows-1252", "\"\xC3\"\r\n", {"Ã"});
        row("NUL byte kept inside a value", QByteArray("\"a\0b\"\r\n", 7), {QStringLiteral("a") + QChar(0) + "b"});
    }

    // A list is every field; a record and a value are the first fields of the same reading.
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);

        put("f", bytes);
        QStringList list;
        QStringList record;
        QString value = "old";
        QVERIFY(RecordFile::readList(path("f"), list));
        QCOMPARE(list, entries);
        QVERIFY(RecordFile::readRecord(path("f"), int(entries.size()), record));
        QCOMPARE(record, entries);
        QCOMPARE(RecordFile::readValue(path("f"), value), !entries.isEmpty());
        QCOMPARE(value, entries.value(0, "old"));
    }

    // A failed read changes nothing it was given: a short Numbers file leaves
    // the boxes alone, a missing list keeps what was read before. A missing
    // file is removed without failing. A directory that has gone is made
    // again by the next write; where it cannot be, writes fail.
    void shortAndMissingFiles()
    {
        put("numbers", "\"1\",\"2\",\"3\",\"4\"\r\n");
        QStringList fields{"old"};
        QVERIFY(!RecordFile::readRecord(path("numbers"), 5, fields));
        QCOMPARE(fields, QStringList{"old"});
        QVERIFY(!RecordFile::readList(path("missing"), fields));
        QVERIFY(RecordFile::readList(path("numbers"), fields));
        QCOMPARE(fields, (QStringList{"old", "1", "2", "3", "4"}));

        QVERIFY(RecordFile::remove(path("numbers")));
        QVERIFY(!QFile::exists(path("numbers")));
        QVERIFY(RecordFile::remove(path("numbers")));
        QVERIFY(QDir(Store::dataDir()).removeRecursively());
        QVERIFY(RecordFile::rewriteList(path("RelationsList"), {"a"}));
        QCOMPARE(content("RelationsList"), QByteArray("\"a\"\r\n"));
        QVERIFY(blockDataDir());
        QVERIFY(!RecordFile::rewriteList(path("RelationsList"), {"a"}));
        QVERIFY(!RecordFile::rewriteValue(path("FormBackColor"), 255));
    }

    // A rewrite renames a complete new file over the old one, so an interrupted
    // write never leaves a cut or empty file; a new file is its owner's alone
    // whatever the umask, a rewritten one keeps the old one's permissions, and
    // it works at the longest name too.
    void rewriteReplacesTheFileWhole()
    {
        const mode_t umask = ::umask(0);
        const QString name(Store::maxFileNameBytes, QLatin1Char('n'));
        const auto status = [&name] {
            struct stat status{};
            ::stat(QFile::encodeName(path(name)).constData(), &status);
            return std::pair(status.st_ino, status.st_mode & 07777);
        };
        QVERIFY(RecordFile::rewriteRecord(path(name), {"old"}));
        QCOMPARE(status().second, mode_t(0600));
        QVERIFY(::chmod(QFile::encodeName(path(name)).constData(), 0640) == 0);
        const auto before = status();
        QVERIFY(RecordFile::rewriteRecord(path(name), {"new"}));
        QVERIFY(before.first != 0 && status().first != 0 && status().first != before.first);
        QCOMPARE(status().second, mode_t(0640));
        QCOMPARE(content(name), QByteArray("\"new\"\r\n"));
        QCOMPARE(QDir(Store::dataDir()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        ::umask(umask);
    }

    // Every directory the program makes on the way to its data is private,
    // whatever the umask; one that was there keeps its permissions.
    void dataDirectoryIsPrivate()
    {
        const QByteArray home = QFile::encodeName(m_home.path());
        QVERIFY(::chmod(home.constData(), 0755) == 0);
        qputenv("XDG_DATA_HOME", home + "/fresh/account");
        const mode_t umask = ::umask(0);
        const bool made = Store::makeDataDir();
        ::umask(umask);
        QVERIFY(made);
        QVERIFY(!Store::makeDataDir());
        for (const char *dir : {"", "/fresh", "/fresh/account", "/fresh/account/Kinfolio", "/fresh/account/Kinfolio/Data"}) {
            struct stat status{};
            QVERIFY(::stat(home + dir, &status) == 0);
            QCOMPARE(status.st_mode & 07777, mode_t(*dir ? 0700 : 0755));
        }
    }

    // Only a regular file is read or replaced, and a pipe never blocks; a
    // symbolic link stays a link, its target rewritten and keeping its mode.
    void specialFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("usable");
        QTest::newRow("pipe") << "pipe" << false;
        QTest::newRow("link to /dev/zero") << "zero" << false;
        QTest::newRow("directory") << "directory" << false;
        QTest::newRow("dangling link") << "dangling" << false;
        QTest::newRow("link to a file elsewhere") << "link" << true;
    }

    void specialFiles()
    {
        QFETCH(QString, kind);
        QFETCH(bool, usable);
        const QByteArray file = QFile::encodeName(path("f"));
        const QString elsewhere = m_home.path() + "/elsewhere/linked";
        if (kind == "link") {
            QVERIFY(QDir().mkpath(m_home.path() + "/elsewhere"));
            QFile target(elsewhere);
            QVERIFY(target.open(QIODevice::WriteOnly) && target.write("\"old\"\r\n") == 7);
            QVERIFY(::chmod(QFile::encodeName(elsewhere).constData(), 0640) == 0);
        }
        QVERIFY(kind == "pipe"        ? ::mkfifo(file.constData(), 0600) == 0
                : kind == "directory" ? ::mkdir(file.constData(), 0700) == 0
                                      : ::symlink(kind == "zero" ? "/dev/zero" : QFile::encodeName(elsewhere).constData(),
                                                  file.constData()) == 0);
        struct stat before{}, after{};
        QVERIFY(::lstat(file.constData(), &before) == 0);

        QStringList read;
        QCOMPARE(RecordFile::readList(path("f"), read), usable);
        QCOMPARE(read, usable ? QStringList{"old"} : QStringList{});
        QCOMPARE(RecordFile::unreadable(path("f")), !usable && kind != "dangling");
        QCOMPARE(RecordFile::rewriteRecord(path("f"), {"new"}), usable);
        QVERIFY(::lstat(file.constData(), &after) == 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        if (usable) {
            QCOMPARE(content("f"), QByteArray("\"new\"\r\n"));
            QVERIFY(::stat(QFile::encodeName(elsewhere).constData(), &after) == 0);
            QCOMPARE(after.st_mode & 07777, mode_t(0640));
            QCOMPARE(QDir(m_home.path() + "/elsewhere").entryList(QDir::Files | QDir::Hidden), QStringList{"linked"});
        }
        QCOMPARE(QDir(Store::dataDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{"f"});
    }

    // Start-up's sweep deletes the temporaries a crash left, in the data
    // directory and beside the files linked from it, and nothing else: not
    // a data file however it is named, not a link or a directory.
    void staleTemporaries()
    {
        const QString elsewhere = m_home.path() + "/elsewhere/";
        QVERIFY(QDir().mkpath(elsewhere));
        const QStringList stale{".kinfolio-Ab12Cd34.tmp", ".kinfolio-00000000.tmp"};
        const QStringList kept{"FamilyAnnBirthday", "NamesList.kinfolio-Ab12Cd34.tmp", ".kinfolio-Ab12Cd34.tmpPic",
                               ".kinfolio-Ab12Cd3.tmp", "FamilyAnnBirthday.Ab12Cd"};
        for (const QString &name : stale + kept)
            put(name, "\"x\"\r\n");
        QVERIFY(QDir().mkdir(path(".kinfolio-Dir12345.tmp")));
        QVERIFY(QFile::link(elsewhere + "keep", path(".kinfolio-Lnk12345.tmp")));
        QVERIFY(QFile::link(elsewhere + "FamilyBoBirthday", path("FamilyBoBirthday")));
        for (const char *name : {"FamilyBoBirthday", "keep", ".kinfolio-Far12345.tmp"})
            QVERIFY(QFile(elsewhere + name).open(QIODevice::WriteOnly));

        QCOMPARE(RecordFile::removeTemporaries(Store::dataDir()), 3);
        QStringList left = kept + QStringList{".kinfolio-Dir12345.tmp", ".kinfolio-Lnk12345.tmp", "FamilyBoBirthday"};
        left.sort();
        QCOMPARE(QDir(Store::dataDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                 left);
        QCOMPARE(QDir(elsewhere).entryList(QDir::Files | QDir::Hidden), (QStringList{"FamilyBoBirthday", "keep"}));
    }

    // A group's files keep their old content until it commits, then each
    // holds the last content written to it; a group inside it is part of it.
    void groupReplacesAtCommit()
    {
        put("a", "\"old\"\r\n");
        {
            RecordFile::WriteGroup group;
            QVERIFY(RecordFile::rewriteRecord(path("a"), {"first"}));
            QVERIFY(RecordFile::rewriteRecord(path("b"), {"new"}));
            QVERIFY(RecordFile::rewriteRecord(path("a"), {"last"}));
            {
                RecordFile::WriteGroup inner;
                QVERIFY(RecordFile::rewriteValue(path("c"), 5));
            }
            QVERIFY(!RecordFile::rewriteValue(QString(), "nowhere"));
            QCOMPARE(content("a"), QByteArray("\"old\"\r\n"));
            QCOMPARE(content("b"), QByteArray("<missing>"));
            QCOMPARE(content("c"), QByteArray("<missing>"));
            QVERIFY(group.commit());
            QCOMPARE(content("a"), QByteArray("\"last\"\r\n"));
            QCOMPARE(content("c"), QByteArray(" 5 \r\n"));

            // After a commit the group goes on collecting; its end commits.
            QVERIFY(RecordFile::rewriteRecord(path("b"), {"again"}));
            QCOMPARE(content("b"), QByteArray("\"new\"\r\n"));
        }
        QCOMPARE(content("b"), QByteArray("\"again\"\r\n"));
        QCOMPARE(QDir(Store::dataDir()).entryList(QDir::Files | QDir::Hidden), (QStringList{"a", "b", "c"}));

        // Outside a group every rewrite is in place when it returns.
        QVERIFY(RecordFile::rewriteRecord(path("a"), {"alone"}));
        QCOMPARE(content("a"), QByteArray("\"alone\"\r\n"));
    }

    // A group whose directory cannot be written puts nothing in place and says so.
    void groupThatCannotCommit()
    {
        RecordFile::WriteGroup group;
        QVERIFY(RecordFile::rewriteRecord(path("a"), {"new"}));
        QVERIFY(blockDataDir());
        QVERIFY(!group.commit());
        QVERIFY(!QFile::exists(path("a")));
    }

    void dataFile_data()
    {
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QString>("name"); // empty: no file

        const QString longest(Store::maxFileNameBytes - 8, QLatin1Char('a'));
        QTest::newRow("plain concatenation") << QStringList{"Family", "Ann", "Birthday"} << "FamilyAnnBirthday";
        QTest::newRow("dots inside a name") << QStringList{"..", "..", "Pic"} << "....Pic";
        QTest::newRow("slash") << QStringList{"../../etc", "x", "Pic"} << "";
        QTest::newRow("backslash") << QStringList{"Family", "a\\b", "Pic"} << "";
        QTest::newRow("NUL") << QStringList{"Family", QStringLiteral("a") + QChar(0), "Pic"} << "";
        QTest::newRow("only dots") << QStringList{"..", "", ""} << "";
        QTest::newRow("longest name") << QStringList{longest, "Birthday", ""} << longest + "Birthday";
        QTest::newRow("one byte too long") << QStringList{longest + "a", "Birthday", ""} << "";
        QTest::newRow("letters count as their UTF-8 bytes") << QStringList{QString(121, QChar(0xE9)), "Birthday", ""}
                                                            << "";
    }

    // A path that cannot be made behaves as a missing file for every operation.
    void dataFile()
    {
        QFETCH(QStringList, parts);
        QFETCH(QString, name);
        const QString file = Store::dataFile(parts[0], parts[1], parts[2]);
        QCOMPARE(file, name.isEmpty() ? QString() : Store::dataDir() + name);
        if (!name.isEmpty())
            return;
        QStringList read;
        QVERIFY(!RecordFile::rewriteValue(file, "x") && !RecordFile::rewriteRecord(file, {"x"})
                && !RecordFile::rewriteList(file, {"x"}) && !RecordFile::readList(file, read));
        QVERIFY(!RecordFile::exists(file) && RecordFile::remove(file));
        QCOMPARE(QDir(m_home.path()).entryList(QDir::Files), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestRecordFile)
#include "tst_recordfile.moc"
