// The data files' encoding byte for byte, how it reads back, how a file is replaced, which paths a data file may have.
#include "store/paths.h"
#include "store/recordfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using RecordFile::readList;

class TestRecordFile : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_home; // a fresh one for each test

    static QString path(const QString &name) { return Store::dataDir() + name; }
    static bool put(const QString &name, const QByteArray &bytes)
    {
        QFile file(name.startsWith('/') ? name : path(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    static QByteArray content(const QString &name)
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static QStringList entries(const QString &dir)
    {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

private slots:
    void initTestCase() { QVERIFY(qEnvironmentVariableIsEmpty("KINFOLIO_FAULT") || dlsym(RTLD_DEFAULT, "kinfolio_faults_injected")); }
    void init()
    {
        qputenv("XDG_DATA_HOME", m_home.emplace().path().toLocal8Bit());
        QVERIFY(Store::makeDataDir());
    }

    // Each form's rewrite gives these bytes (no form: another program's), read back as `back`; a short file changes nothing.
    void readWrite_data()
    {
        QTest::addColumn<QString>("form"); QTest::addColumn<QStringList>("values");
        QTest::addColumn<QByteArray>("bytes"); QTest::addColumn<QStringList>("back");
        const auto row = [](const char *tag, const char *form, const QStringList &values, const QByteArray &bytes,
                            const std::optional<QStringList> &back = {}) {
            QTest::newRow(tag) << form << values << bytes << back.value_or(values);
        };
        row("list of none", "list", {}, "");
        row("list", "list", {"Family", "Work"}, "\"Family\"\r\n\"Work\"\r\n");
        row("record: comma, empty, UTF-8", "record", {"12 Elm St, Leeds", "", "Zoë 李"},
            "\"12 Elm St, Leeds\",\"\",\"Zo\xC3\xAB \xE6\x9D\x8E\"\r\n");
        row("line breaks as CR LF, never doubled, lone CR kept", "list", {"\na\rb\r\r\n", "x\r\ny\n\nz"},
            "\"\r\na\rb\r\r\n\"\r\n\"x\r\ny\r\n\r\nz\"\r\n", QStringList{"\na\rb\r\n", "x\ny\n\nz"});
        row("lone surrogate", "record", {QString(QChar(0xD800)) + "\n"}, "\"\xEF\xBF\xBD\r\n\"\r\n",
            QStringList{QString(QChar(0xFFFD)) + "\n"});
        row("quote written unchanged, cuts on reading", "record", {"say \"hi\""}, "\"say \"hi\"\"\r\n", QStringList{"say "});
        row("value bare, cut at a comma on reading", "value", {"/home/ann/ann, 1.jpg"}, "/home/ann/ann, 1.jpg\r\n",
            QStringList{"/home/ann/ann", "1.jpg"});
        row("number", "number", {"255"}, " 255 \r\n");
        row("negative number", "number", {"-5"}, "-5 \r\n");
        row("fields and lines", "", {"a", "b", "c"}, "\"a\",\"b\"\r\n\"c\"\r\n");
        row("comma, CR LF and LF inside quotes", "", {"Elm St, Leeds\nLS1\nUK"}, "\"Elm St, Leeds\r\nLS1\nUK\"\r\n");
        row("cut at a quote, rest of line dropped", "", {"say ", "next"}, "\"say \"hi\"\"\r\n\"next\"\r\n");
        row("spaces around fields dropped", "", {"a", "plain", "more"}, "   \"a\" ,  plain  ,  more\r\n");
        row("LF line ends", "", {"a", "b"}, "\"a\"\n\"b\"\n");
        row("CR line ends, none at the end", "", {"a", "b"}, "\"a\"\r\"b\"");
        row("unterminated quote runs to the end", "", {"a", "b\nc"}, "\"a\"\r\n\"b\r\nc");
        row("byte-order mark, then one starting a value", "", {"Ann", QChar(0xFEFF) + QString("Bo")},
            "\xEF\xBB\xBF\"Ann\"\r\n\"\xEF\xBB\xBF" "Bo\"\r\n");
        row("Windows-1252", "", {"Zoë", "€ 5"}, "\"Zo\xEB\"\r\n\"\x80 5\"\r\n");
        row("overlong UTF-8 form read as Windows-1252", "", {"À¯"}, "\"\xC0\xAF\"\r\n");
        row("UTF-8 cut at the end read as Windows-1252", "", {"Ã"}, "\"\xC3\"\r\n");
        row("NUL byte kept inside a value", "", {QStringLiteral("a") + QChar(0) + "b"}, QByteArray("\"a\0b\"\r\n", 7));
    }

    void readWrite()
    {
        QFETCH(QString, form); QFETCH(QStringList, values); QFETCH(QByteArray, bytes); QFETCH(QStringList, back);
        const QString file = path("f");
        QVERIFY(form == "list"     ? RecordFile::rewriteList(file, values)
                : form == "record" ? RecordFile::rewriteRecord(file, values)
                : form == "value"  ? RecordFile::rewriteValue(file, values.first())
                : form == "number" ? RecordFile::rewriteValue(file, values.first().toLongLong())
                                   : put("f", bytes));
        QCOMPARE(content("f"), bytes);
        QStringList list{"old"}, record{"old"};
        QString value = "old";
        QVERIFY(readList(file, list));
        QCOMPARE(list, QStringList{"old"} + back);
        QVERIFY(!RecordFile::readRecord(file, int(back.size()) + 1, record));
        QCOMPARE(record, QStringList{"old"});
        QVERIFY(RecordFile::readRecord(file, int(back.size()), record));
        QCOMPARE(record, back);
        QCOMPARE(RecordFile::readValue(file, value), !back.isEmpty());
        QCOMPARE(value, back.value(0, "old"));
    }

    // A rewrite puts a new inode in the old one's place, leaving no temporary; a new file and the folders made are
    // private whatever the umask.
    void rewrite()
    {
        const QString name(Store::maxFileNameBytes, QLatin1Char('n')), fresh = m_home->path() + "/fresh";
        const auto status = [](const QString &file) {
            struct stat status{};
            ::stat(QFile::encodeName(file).constData(), &status);
            return std::pair(status.st_ino, status.st_mode & 07777);
        };
        QVERIFY(::chmod(QFile::encodeName(m_home->path()).constData(), 0755) == 0);
        qputenv("XDG_DATA_HOME", QFile::encodeName(fresh));
        const mode_t umask = ::umask(0);
        const bool created = Store::makeDataDir() && RecordFile::rewriteRecord(path(name), {"old"});
        ::umask(umask);
        QVERIFY(created);
        for (const QString &file : {m_home->path(), fresh, fresh + "/Kinfolio", Store::dataDir(), path(name)})
            QCOMPARE(status(file).second, file == m_home->path() ? 0755u : file == path(name) ? 0600u : 0700u);
        const auto before = status(path(name));
        QVERIFY(::chmod(QFile::encodeName(path(name)).constData(), 0640) == 0);
        QVERIFY(RecordFile::rewriteRecord(path(name), {"new"}));
        QVERIFY(status(path(name)).first != before.first);
        QCOMPARE(content(name), "\"new\"\r\n");
        // One there after all, when found absent, keeps its mode.
        QVERIFY(RecordFile::rewriteRecord(path(name), {"fresh"}, RecordFile::Fresh));
        QCOMPARE(status(path(name)).second, 0640u);
        QCOMPARE(content(name), "\"fresh\"\r\n");
        QCOMPARE(entries(Store::dataDir()), QStringList{name});
        QStringList none;
        QVERIFY(RecordFile::remove(path("missing")) && !readList(path("missing"), none));
    }

    // Only a regular file is read or replaced, and a pipe never blocks; a link to the user's own file stays a link.
    void specialFiles_data()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<bool>("fresh"); // rewritten as found absent: no link followed
        for (const bool fresh : {false, true}) {
            for (const char *kind : {"pipe", "linked pipe", "directory", "dangling", "link", "link to another's file"})
                QTest::newRow(qPrintable(QString(kind) + (fresh ? ", fresh" : ""))) << QString(kind) << fresh;
        }
    }

    void specialFiles()
    {
        QFETCH(QString, kind); QFETCH(bool, fresh);
        const bool linked = kind == "link", usable = linked && !fresh, foreign = kind == "link to another's file";
        const QByteArray file = QFile::encodeName(path("f")), elsewhere = QFile::encodeName(m_home->path() + "/elsewhere/f");
        QVERIFY(QDir().mkpath(m_home->path() + "/elsewhere"));
        if (linked || foreign)
            QVERIFY(put(elsewhere, "\"old\"\r\n") && ::chmod(elsewhere.constData(), 0640) == 0
                    && (linked || ::chown(elsewhere.constData(), 65534, 65534) == 0));
        QVERIFY(kind != "linked pipe" || ::mkfifo(elsewhere.constData(), 0600) == 0);
        QVERIFY(kind == "pipe"        ? ::mkfifo(file.constData(), 0600) == 0
                : kind == "directory" ? ::mkdir(file.constData(), 0700) == 0
                                      : ::symlink(elsewhere.constData(), file.constData()) == 0);
        struct stat before{}, after{}, target{};
        QVERIFY(::lstat(file.constData(), &before) == 0);
        QStringList read;
        QCOMPARE(readList(path("f"), read), linked);
        QCOMPARE(read, linked ? QStringList{"old"} : QStringList{});
        QCOMPARE(RecordFile::unreadable(path("f")), !linked && kind != "dangling");
        QCOMPARE(RecordFile::rewriteRecord(path("f"), {"new"}, fresh ? RecordFile::Fresh : RecordFile::Stored), usable);
        QVERIFY(::lstat(file.constData(), &after) == 0);
        QVERIFY(after.st_ino == before.st_ino && after.st_mode == before.st_mode);
        QCOMPARE(::stat(elsewhere.constData(), &target) == 0 ? target.st_mode : 0,
                 mode_t(linked || foreign ? S_IFREG | 0640 : kind == "linked pipe" ? S_IFIFO | 0600 : 0));
        QVERIFY(!(linked || foreign) || content("f") == (usable ? "\"new\"\r\n" : "\"old\"\r\n"));
        QCOMPARE(entries(m_home->path() + "/elsewhere"), linked || foreign || kind == "linked pipe" ? QStringList{"f"} : QStringList{});
        QCOMPARE(entries(Store::dataDir()), QStringList{"f"});
    }

    // Start-up deletes the temporaries a crash left, beside linked files too, and nothing else.
    void staleTemporaries()
    {
        const QString elsewhere = m_home->path() + "/elsewhere/";
        QVERIFY(QDir().mkpath(elsewhere));
        const QStringList stale{".kinfolio-Ab12Cd34.tmp", ".kinfolio-00000000.tmp"};
        QStringList kept{"FamilyAnnBirthday", "NamesList.kinfolio-Ab12Cd34.tmp", ".kinfolio-Ab12Cd34.tmpPic",
                         ".kinfolio-Ab12Cd3.tmp", "FamilyAnnBirthday.Ab12Cd"};
        for (const QString &name : stale + kept)
            QVERIFY(put(name, "\"x\"\r\n"));
        QVERIFY(QDir().mkdir(path(".kinfolio-Dir12345.tmp")));
        QVERIFY(QFile::link(elsewhere + "keep", path(".kinfolio-Lnk12345.tmp")));
        QVERIFY(QFile::link(elsewhere + "FamilyBoBirthday", path("FamilyBoBirthday")));
        for (const char *name : {"FamilyBoBirthday", "keep", ".kinfolio-Far12345.tmp"})
            QVERIFY(put(elsewhere + name, ""));

        QCOMPARE(RecordFile::removeTemporaries(Store::dataDir()), 3);
        kept << ".kinfolio-Dir12345.tmp" << ".kinfolio-Lnk12345.tmp" << "FamilyBoBirthday";
        kept.sort();
        QCOMPARE(entries(Store::dataDir()), kept);
        QCOMPARE(entries(elsewhere), (QStringList{"FamilyBoBirthday", "keep"}));
    }

    // A group's files keep their old content until it commits; a group inside it is part of it; its end commits the rest.
    void group()
    {
        QVERIFY(put("a", "\"old\"\r\n"));
        {
            RecordFile::WriteGroup group;
            QVERIFY(RecordFile::rewriteRecord(path("a"), {"first"}) && RecordFile::rewriteRecord(path("b"), {"new"}));
            QVERIFY(RecordFile::rewriteRecord(path("a"), {"last"}));
            {
                RecordFile::WriteGroup inner;
                QVERIFY(RecordFile::rewriteValue(path("c"), 5));
            }
            QVERIFY(!RecordFile::rewriteValue(QString(), "nowhere"));
            QCOMPARE(content("a") + content("b") + content("c"), "\"old\"\r\n<missing><missing>");
            QVERIFY(group.commit());
            QCOMPARE(content("a") + content("c"), "\"last\"\r\n 5 \r\n");
            QVERIFY(RecordFile::rewriteRecord(path("b"), {"again"}));
            QCOMPARE(content("b"), "\"new\"\r\n");
        }
        QCOMPARE(content("b"), "\"again\"\r\n");
        QVERIFY(QDir().mkdir(path("dir")));
        RecordFile::WriteGroup group;
        QVERIFY(RecordFile::rewriteRecord(path("d"), {"new"}) && RecordFile::rewriteRecord(path("dir"), {"x"}));
        QVERIFY(!group.commit());
        QCOMPARE(entries(Store::dataDir()), (QStringList{"a", "b", "c", "dir"}));
    }

    void dataFile_data()
    {
        QTest::addColumn<QStringList>("parts"); QTest::addColumn<QString>("name"); // empty: no file
        const QString longest(Store::maxFileNameBytes - 8, QLatin1Char('a'));
        QTest::newRow("plain concatenation") << QStringList{"Family", "Ann", "Birthday"} << "FamilyAnnBirthday";
        QTest::newRow("dots inside a name") << QStringList{"..", "..", "Pic"} << "....Pic";
        QTest::newRow("slash") << QStringList{"../../etc", "x", "Pic"} << "";
        QTest::newRow("backslash") << QStringList{"Family", "a\\b", "Pic"} << "";
        QTest::newRow("NUL") << QStringList{"Family", QStringLiteral("a") + QChar(0), "Pic"} << "";
        QTest::newRow("only dots") << QStringList{"..", "", ""} << "";
        QTest::newRow("longest name") << QStringList{longest, "Birthday", ""} << longest + "Birthday";
        QTest::newRow("one byte too long") << QStringList{longest + "a", "Birthday", ""} << "";
        QTest::newRow("letters count as UTF-8 bytes") << QStringList{QString(121, QChar(0xE9)), "Birthday", ""} << "";
    }

    // A path that cannot be made is empty, a missing file to every operation.
    void dataFile()
    {
        QFETCH(QStringList, parts); QFETCH(QString, name);
        const QString file = Store::dataFile(parts[0], parts[1], parts[2]);
        QCOMPARE(file, name.isEmpty() ? QString() : Store::dataDir() + name);
        QStringList read;
        QCOMPARE(RecordFile::rewriteValue(file, "x") && readList(file, read) && RecordFile::exists(file), !name.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRecordFile)
#include "tst_recordfile.moc"
