#include "support/testsupport.h"

#include <QProcess>
#include <QRandomGenerator>

#include <unistd.h>

// The real program types into a contact's ten boxes and is killed with
// SIGKILL at random moments. After every kill each field file must hold, byte
// for byte, its value from just before or just after the last keystroke, and
// the restarted program must show what the files hold. KINFOLIO_CRASH_SEED and
// KINFOLIO_KILLS change the seed and the number of kills.

const QStringList boxNames{"txtBirthday", "txtRelation", "txtAddress", "txtDrivingDirections", "txtNumNotes",
                           "txtHome",     "txtCell",     "txtWork",    "txtFax",               "txtEmail"};
constexpr int firstNumber = 5; // the five number boxes share one file

// One seed gives the typist and the test the same keys: characters, Enter
// (in the three multi-line boxes) and Backspace ('\b'), at the end of a box
// that holds at most 40. Returns the box and the key, typed into values.
static std::pair<int, QChar> type(QRandomGenerator &random, QStringList &values)
{
    static const QString keys = QStringLiteral("abcxyz0189 ,.-'éß€\n\b\b\b");
    const int box = random.bounded(int(boxNames.size()));
    QChar key = keys[random.bounded(int(keys.size()))];
    if (values[box].size() >= 40)
        key = '\b';
    else if (key == '\n' && (box < 2 || box >= firstNumber))
        key = ' ';
    if (key == '\b')
        values[box].chop(1);
    else
        values[box].append(key);
    return {box, key};
}

// Each field file's name and content while the boxes hold these values.
static Files stored(const QStringList &values)
{
    Files bytes{{"FamilyAnnNumbers", RecordFile::encodeRecord(values.mid(firstNumber))}};
    for (int box = 0; box < firstNumber; ++box)
        bytes.insert("FamilyAnn" + boxNames[box].mid(3).replace("NumNotes", "NumbNotes"),
                     RecordFile::encodeRecord({values[box]}));
    return bytes;
}

// The typist: reports what the boxes show once the contact is selected, then
// types without end and reports each keystroke done, straight to the pipe so
// the test reads all reported before the kill.
static int typist(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ScriptedPlatform platform;
    FrmMain frmMain(platform);
    frmMain.cboRelationship->setCurrentIndex(0);
    frmMain.lstNames->setCurrentRow(0);
    QStringList values;
    for (const QString &name : boxNames) {
        // Typing goes on at each box's end.
        auto *lines = frmMain.findChild<QPlainTextEdit *>(name);
        auto *line = frmMain.findChild<QLineEdit *>(name);
        if (lines)
            lines->moveCursor(QTextCursor::End);
        else
            line->end(false);
        values.append(lines ? lines->toPlainText() : line->text());
    }
    QByteArray report = values.join('\t').toUtf8().toPercentEncoding() + '\n';
    QRandomGenerator random(QByteArray(argv[2]).toUInt());
    for (int keystroke = 1;; ++keystroke) {
        if (::write(STDOUT_FILENO, report.constData(), size_t(report.size())) != report.size())
            ::_exit(1);
        const auto [box, key] = type(random, values);
        const Qt::Key code = key == '\b' ? Qt::Key_Backspace : key == '\n' ? Qt::Key_Return : Qt::Key_unknown;
        QWidget *target = frmMain.findChild<QWidget *>(boxNames[box]);
        QTest::sendKeyEvent(QTest::Click, target, code, QString(key), Qt::NoModifier);
        report = QByteArray::number(keystroke) + '\n';
    }
}

class TestCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedWhileTyping()
    {
        const quint32 seed = qEnvironmentVariable("KINFOLIO_CRASH_SEED", "20240617").toUInt();
        const int kills = qEnvironmentVariable("KINFOLIO_KILLS", "200").toInt();
        qInfo("seed %u, %d kills", seed, kills);

        Fixture f; // the typist inherits its data directory
        QStringList values{"1 May", "aunt", "12 Elm St\nLeeds", "", "mornings", "111", "", "333", "", "ann@lee.org"};
        Files files = stored(values);
        files.insert({{"RelationsList", "\"Family\"\r\n"}, {"NamesListFamily", "\"Ann\"\r\n"},
                      {"FamilyAnnDependantsList", "\"Tom\"\r\n"}});
        QVERIFY(f.put(files));

        QRandomGenerator moments(seed);
        QSet<QString> temporaries;
        qint64 keystrokes = 0;
        int interrupted = 0;
        for (int round = 0; round <= kills; ++round) {
            QProcess typist;
            typist.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            typist.start(QCoreApplication::applicationFilePath(), {"type", QString::number(seed + round)});
            while (!typist.canReadLine() && typist.waitForReadyRead(30000)) {
            }
            QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(typist.readLine().trimmed())).split('\t'), values);
            QTest::qSleep(round < kills ? moments.bounded(1, 60) : 0);
            typist.kill();
            QVERIFY(typist.waitForFinished());

            // The keystrokes reported done, and the one that may have been under way.
            QRandomGenerator random(seed + round);
            const qsizetype done = typist.readAllStandardOutput().count('\n');
            for (qsizetype k = 0; k < done; ++k)
                type(random, values);
            QStringList next = values;
            type(random, next);
            const Files before = stored(values), after = stored(next);
            files.insert(before);
            keystrokes += done;

            const Files found = f.files();
            for (auto [name, bytes] : found.asKeyValueRange()) {
                // A kill between linking a new version in and renaming it over
                // the old one leaves it beside it: complete, and never read.
                const QString target = name.section('.', 0, 0);
                if (name != target && !temporaries.contains(name) && after.contains(target)) {
                    QVERIFY2(bytes == before[target] || bytes == after[target], qPrintable(name));
                    temporaries.insert(name);
                } else if (name == target && bytes != files.value(name)) {
                    QVERIFY2(bytes == after.value(name),
                             qPrintable(QString("round %1: %2 holds %3").arg(round).arg(name, bytes.toPercentEncoding())));
                    values = next;
                    ++interrupted;
                }
            }
            files.insert(stored(values));
            QCOMPARE(found.size(), files.size() + temporaries.size());
        }
        qInfo("%d kills survived, %lld keystrokes checked; %d kills stopped a keystroke whose file was already "
              "replaced, %d between linking and renaming it",
              kills, keystrokes, interrupted, int(temporaries.size()));
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "type") == 0)
        return typist(argc, argv);
    QCoreApplication app(argc, argv);
    TestCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash.moc"
