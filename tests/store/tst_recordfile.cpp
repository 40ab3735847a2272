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

    QString path(const QString &name) const { return Store::dataDir() + name; }

    void put(const QString &name, const QByteArray &bytes)
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray content(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void init()
    {
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
        QDir(Store::dataDir()).removeRecursively();
        QVERIFY(Store::makeDataDir());
    }

    void encode_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("list of none") << "list" << QStringList{} << QByteArray("");
        QTest::newRow("list") << "list" << QStringList{"Family", "Work"} << QByteArray("\"Family\"\r\n\"Work\"\r\n");
        QTest::newRow("list with an empty entry") << "list" << QStringList{""} << QByteArray("\"\"\r\n");
        QTest::newRow("record of two") << "record" << QStringList{"A", "B"} << QByteArray("\"A\",\"B\"\r\n");
        QTest::newRow("record of five empty") << "record" << QStringList{"", "", "", "", ""}
                                              << QByteArray("\"\",\"\",\"\",\"\",\"\"\r\n");
        QTest::newRow("comma kept") << "record" << QStringList{"12 Elm St, Leeds"} << QByteArray("\"12 Elm St, Leeds\"\r\n");
        QTest::newRow("line break as CR LF") << "record" << QStringList{"12 Elm St\nLeeds"}
                                             << QByteArray("\"12 Elm St\r\nLeeds\"\r\n");
        QTest::newRow("CR LF not doubled") << "record" << QStringList{"a\r\nb"} << QByteArray("\"a\r\nb\"\r\n");
        QTest::newRow("quote written unchanged") << "record" << QStringList{"say \"hi\""}
                                                 << QByteArray("\"say \"hi\"\"\r\n");
        QTest::newRow("UTF-8") << "record" << QStringList{"Zoë"} << QByteArray("\"Zo\xC3\xAB\"\r\n");
        QTest::newRow("value bare") << "value" << QStringList{"/home/ann/ann, 1.jpg"}
                                    << QByteArray("/home/ann/ann, 1.jpg\r\n");
        QTest::newRow("number 255") << "number" << QStringList{"255"} << QByteArray(" 255 \r\n");
        QTest::newRow("number 0") << "number" << QStringList{"0"} << QByteArray(" 0 \r\n");
        QTest::newRow("negative number") << "number" << QStringList{"-5"} << QByteArray("-5 \r\n");
        QTest::newRow("number 16744576 is 12 bytes") << "number" << QStringList{"16744576"}
                                                     << QByteArray(" 16744576 \r\n");
    }

    // Each form through its rewrite operation: the file holds exactly these bytes.
    void encode()
    {
        QFETCH(QString, form);
        QFETCH(QStringList, values);
        QFETCH(QByteArray, bytes);

        const QString file = path(QStringLiteral("f"));
        if (form == "list")
            QVERIFY(RecordFile::rewriteList(file, values));
        else if (form == "record")
            QVERIFY(RecordFile::rewriteRecord(file, values));
        else if (form == "value")
            QVERIFY(RecordFile::rewriteValue(file, values.first()));
        else
            QVERIFY(RecordFile::rewriteValue(file, values.first().toLongLong()));
        QCOMPARE(content("f"), bytes);
    }

    void readList_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");

        QTest::newRow("empty file") << QByteArray("") << QStringList{};
        QTest::newRow("two records") << QByteArray("\"b\"\r\n\"a\"\r\n") << QStringList{"b", "a"};
        QTest::newRow("two fields on one line") << QByteArray("\"a\",\"b\"\r\n") << QStringList{"a", "b"};
        QTest::newRow("empty value") << QByteArray("\"\"\r\n") << QStringList{""};
        QTest::newRow("comma and line break inside quotes")
            << QByteArray("\"12 Elm St, Leeds\r\nLS1\"\r\n") << QStringList{"12 Elm St, Leeds\nLS1"};
        QTest::newRow("lone LF inside quotes") << QByteArray("\"a\nb\"\r\n") << QStringList{"a\nb"};
        QTest::newRow("cut at a quote, rest of line dropped") << QByteArray("\"say \"hi\"\"\r\n\"next\"\r\n")
                                                              << QStringList{"say ", "next"};
        QTest::newRow("spaces before a field skipped") << QByteArray("   \"a\" ,  \"b\"\r\n") << QStringList{"a", "b"};
        QTest::newRow("unquoted, trailing spaces dropped") << QByteArray("plain  ,  more\r\n")
                                                           << QStringList{"plain", "more"};
        QTest::newRow("LF line ends") << QByteArray("\"a\"\n\"b\"\n") << QStringList{"a", "b"};
        QTest::newRow("CR line ends") << QByteArray("\"a\"\r\"b\"\r") << QStringList{"a", "b"};
        QTest::newRow("no final line end") << QByteArray("\"a\"\r\n\"b\"") << QStringList{"a", "b"};
        QTest::newRow("unterminated quote runs to the end") << QByteArray("\"a\"\r\n\"bc") << QStringList{"a", "bc"};
        QTest::newRow("UTF-8 byte-order mark") << QByteArray("\xEF\xBB\xBF\"Ann\"\r\n") << QStringList{"Ann"};
        QTest::newRow("UTF-8") << QByteArray("\"Zo\xC3\xAB\"\r\n") << QStringList{"Zoë"};
        QTest::newRow("Windows-1252") << QByteArray("\"Zo\xEB\"\r\n\"\x80 5\"\r\n") << QStringList{"Zoë", "€ 5"};
        QTest::newRow("overlong UTF-8 form read as Windows-1252") << QByteArray("\"\xC0\xAF\"\r\n") << QStringList{"À¯"};
        QTest::newRow("UTF-8 cut at the end read as Windows-1252") << QByteArray("\"\xC3\"\r\n") << QStringList{"Ã"};
        QTest::newRow("NUL byte kept inside a value") << QByteArray("\"a\0b\"\r\n", 7)
                                                      << QStringList{QStringLiteral("a") + QChar(0) + "b"};
    }

    void readList()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);

        put("list", bytes);
        QStringList read;
        QVERIFY(RecordFile::readList(path("list"), read));
        QCOMPARE(read, entries);
    }

    void readListAppendsAndFailsOnMissingFile()
    {
        QStringList entries{"kept"};
        QVERIFY(!RecordFile::readList(path("missing"), entries));
        QCOMPARE(entries, QStringList{"kept"});
        put("list", "\"new\"\r\n");
        QVERIFY(RecordFile::readList(path("list"), entries));
        QCOMPARE(entries, (QStringList{"kept", "new"}));
    }

    void readRecord_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("fields");

        const QStringList untouched{"old"};
        QTest::newRow("five numbers") << QByteArray("\"1\",\"2\",\"3\",\"4\",\"a@b\"\r\n") << 5 << true
                                      << QStringList{"1", "2", "3", "4", "a@b"};
        QTest::newRow("five empty") << QByteArray("\"\",\"\",\"\",\"\",\"\"\r\n") << 5 << true
                                    << QStringList{"", "", "", "", ""};
        QTest::newRow("fewer fields than asked") << QByteArray("\"1\",\"2\",\"3\",\"4\"\r\n") << 5 << false << untouched;
        QTest::newRow("empty file") << QByteArray("") << 1 << false << untouched;
        QTest::newRow("more fields than asked") << QByteArray("\"a\",\"b\"\r\n") << 1 << true << QStringList{"a"};
        QTest::newRow("fields on later lines") << QByteArray("\"a\"\r\n\"b\"\r\n") << 2 << true
                                               << QStringList{"a", "b"};
    }

    void readRecord()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, count);
        QFETCH(bool, ok);
        QFETCH(QStringList, fields);

        put("record", bytes);
        QStringList read{"old"};
        QCOMPARE(RecordFile::readRecord(path("record"), count, read), ok);
        QCOMPARE(read, fields);
    }

    void readValue_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("value");

        QTest::newRow("number in print form") << QByteArray(" 255 \r\n") << "255";
        QTest::newRow("negative number") << QByteArray("-5 \r\n") << "-5";
        QTest::newRow("cut at the first comma") << QByteArray("/home/ann/a,b.jpg\r\n") << "/home/ann/a";
        QTest::newRow("surrounding spaces dropped") << QByteArray("  spaced out  \r\n") << "spaced out";
        QTest::newRow("quoted") << QByteArray("\"a,b\"\r\n") << "a,b";
    }

    void readValue()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, value);

        put("value", bytes);
        QString read;
        QVERIFY(RecordFile::readValue(path("value"), read));
        QCOMPARE(read, value);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("readBack");

        QTest::newRow("comma") << "Smith, Ann" << "Smith, Ann";
        QTest::newRow("line breaks") << "12 Elm St\nLeeds\n\nLS1" << "12 Elm St\nLeeds\n\nLS1";
        QTest::newRow("quote cuts the value") << "5\" tall" << "5";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("leading and trailing spaces kept") << "  x  " << "  x  ";
        QTest::newRow("non-Latin text") << "Åsa 李" << "Åsa 李";
    }

    void roundTrip()
    {
        QFETCH(QString, value);
        QFETCH(QString, readBack);

        QVERIFY(RecordFile::rewriteRecord(path("f"), {value}));
        QString read;
        QVERIFY(RecordFile::readValue(path("f"), read));
        QCOMPARE(read, readBack);
    }

    // A rewrite replaces the file by renaming a complete new one over it, so
    // an interrupted write can never leave a cut or empty file behind.
    void rewriteReplacesTheFileWhole()
    {
        QVERIFY(RecordFile::rewriteRecord(path("Birthday"), {"old"}));
        struct stat before{};
        QCOMPARE(::stat(QFile::encodeName(path("Birthday")).constData(), &before), 0);
        QVERIFY(RecordFile::rewriteRecord(path("Birthday"), {"new"}));
        struct stat after{};
        QCOMPARE(::stat(QFile::encodeName(path("Birthday")).constData(), &after), 0);
        QVERIFY(before.st_ino != after.st_ino);
        QCOMPARE(content("Birthday"), QByteArray("\"new\"\r\n"));
        QCOMPARE(QDir(Store::dataDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"Birthday"});
    }

    void writeWithoutDirectoryFails()
    {
        QVERIFY(QDir(Store::dataDir()).removeRecursively());
        QVERIFY(!RecordFile::rewriteList(path("RelationsList"), {"a"}));
        QVERIFY(!RecordFile::rewriteValue(path("FormBackColor"), 255));
    }

    void removeMissingFileIsNoFailure()
    {
        QVERIFY(RecordFile::remove(path("missing")));
        put("there", "x");
        QVERIFY(RecordFile::remove(path("there")));
        QVERIFY(!QFile::exists(path("there")));
    }

    void dataFile_data()
    {
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QString>("name"); // empty: no file

        const QString longest(Store::maxFileNameBytes - 8, QLatin1Char('a'));
        QTest::newRow("plain concatenation") << QStringList{"Family", "Ann", "Birthday"} << "FamilyAnnBirthday";
        QTest::newRow("case and spaces kept") << QStringList{"my Pals ", "O'Neil", "Pic"} << "my Pals O'NeilPic";
        QTest::newRow("no category") << QStringList{"", "Ann", "Birthday"} << "AnnBirthday";
        QTest::newRow("dots inside a name") << QStringList{"..", "..", "Pic"} << "....Pic";
        QTest::newRow("slash") << QStringList{"../../etc", "x", "Pic"} << "";
        QTest::newRow("backslash") << QStringList{"Family", "a\\b", "Pic"} << "";
        QTest::newRow("NUL") << QStringList{"Family", QStringLiteral("a") + QChar(0), "Pic"} << "";
        QTest::newRow("longest name") << QStringList{longest, "Birthday", ""} << longest + "Birthday";
        QTest::newRow("one byte too long") << QStringList{longest + "a", "Birthday", ""} << "";
        QTest::newRow("multi-byte letters count as bytes") << QStringList{QString(121, QChar(0xE9)), "Birthday", ""}
                                                           << "";
        QTest::newRow("only dots") << QStringList{"..", "", ""} << "";
    }

    void dataFile()
    {
        QFETCH(QStringList, parts);
        QFETCH(QString, name);

        const QString file = Store::dataFile(parts[0], parts[1], parts[2]);
        QCOMPARE(file, name.isEmpty() ? QString() : Store::dataDir() + name);
    }

    // A path that cannot be made behaves as a missing file for every operation.
    void unsafePathIsAMissingFile()
    {
        const QString outside = m_home.path() + QStringLiteral("/xPic");
        QFile::remove(outside);
        const QString file = Store::dataFile(QStringLiteral("../.."), QStringLiteral("x"), QStringLiteral("Pic"));
        QVERIFY(!RecordFile::rewriteValue(file, QStringLiteral("evil")));
        QVERIFY(!RecordFile::rewriteRecord(file, {"evil"}));
        QVERIFY(!RecordFile::rewriteList(file, {"evil"}));
        QString value;
        QVERIFY(!RecordFile::readValue(file, value));
        QVERIFY(!RecordFile::exists(file));
        QVERIFY(RecordFile::remove(file));
        QVERIFY(!QFile::exists(outside));
    }

    // A file whose name is as long as paths allow can be rewritten, not only created.
    void longestNameRewrites()
    {
        const QString file = Store::dataFile(QString(Store::maxFileNameBytes, QLatin1Char('n')));
        QVERIFY(RecordFile::rewriteRecord(file, {"first"}));
        QVERIFY(RecordFile::rewriteRecord(file, {"second"}));
        QString value;
        QVERIFY(RecordFile::readValue(file, value));
        QCOMPARE(value, "second");
    }

    void directories()
    {
        QVERIFY(Store::dataDir().startsWith(m_home.path()));
        QVERIFY(Store::dataDir().endsWith(QStringLiteral("/Kinfolio/Data/")));
        QVERIFY(!Store::makeDataDir()); // exists already
        QVERIFY(Store::appDir().endsWith(QStringLiteral("/share/kinfolio/")));
    }
};

QTEST_GUILESS_MAIN(TestRecordFile)
#include "tst_recordfile.moc"
