#include "support/testsupport.h"

#include <QProcess>
#include <QRandomGenerator>

#include <unistd.h>

// The real program types into a contact's ten boxes, or adds and removes
// categories and names, and is killed with SIGKILL at random moments. After
// every kill each field file must hold, whole, a value it had while the
// program typed, the restarted program must show what the files hold, and
// every listed contact must have all its files. KINFOLIO_CRASH_SEED and
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

// The field file that keeps a box.
static QString fileOf(int box)
{
    return "FamilyAnn" + (box >= firstNumber ? "Numbers" : boxNames[box].mid(3).replace("NumNotes", "NumbNotes"));
}

// Each field file's name and content while the boxes hold these values.
static Files stored(const QStringList &values)
{
    Files bytes{{fileOf(firstNumber), RecordFile::encodeRecord(values.mid(firstNumber))}};
    for (int box = 0; box < firstNumber; ++box)
        bytes.insert(fileOf(box), RecordFile::encodeRecord({values[box]}));
    return bytes;
}

// The typist: reports how many temporaries its start-up left and what the
// boxes show once the contact is selected, then types without end and reports
// each keystroke done, straight to the pipe so the test reads all reported
// before the kill.
static int typist(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ScriptedPlatform platform;
    FrmMain frmMain(platform);
    const qsizetype temporaries = QDir(Store::dataDir()).entryList({".kinfolio-*"}, QDir::Files | QDir::Hidden).size();
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
    QByteArray report = QByteArray::number(temporaries) + ' ' + values.join('\t').toUtf8().toPercentEncoding() + '\n';
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

// Reports how many temporaries its start-up left, then adds and removes
// categories and names without end, reporting each change done.
static int changer(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ScriptedPlatform platform;
    FrmMain w(platform);
    const QByteArray seed = argv[2];
    QByteArray report = QByteArray::number(QDir(Store::dataDir()).entryList({".kinfolio-*"}, QDir::Files | QDir::Hidden).size()) + '\n';
    QRandomGenerator random(seed.toUInt());
    for (int change = 1;; ++change) {
        if (::write(STDOUT_FILENO, report.constData(), size_t(report.size())) != report.size())
            ::_exit(1);
        const QString made = QString("%1-%2").arg(QString(seed)).arg(change);
        const int what = random.bounded(10);
        if (what == 0 || w.cboRelationship->count() < 2) {
            platform.inputs.enqueue("C" + made);
            w.cmdAddRelationship->click();
        } else {
            w.cboRelationship->setCurrentIndex(random.bounded(w.cboRelationship->count()));
            platform.answers.enqueue(true);
            if (what == 1) {
                w.cmdRemoveRelationship->click();
            } else if (what < 6 || w.lstNames->count() == 0) {
                platform.inputs.enqueue("N" + made);
                w.cmdAddName->click();
            } else {
                w.lstNames->setCurrentRow(random.bounded(w.lstNames->count()));
                w.cmdRemoveName->click();
            }
            platform.answers.clear();
        }
        report = QByteArray::number(change) + '\n';
    }
}

class TestCrash : public QObject
{
    Q_OBJECT

private:
    // A contact listed without one of its field files, if any; counts those listed.
    static QString listedWithoutFiles(const QString &dataDir, int &listed)
    {
        listed = 0;
        QStringList categories;
        RecordFile::readList(dataDir + "RelationsList", categories);
        for (const QString &category : categories) {
            QStringList names;
            RecordFile::readList(dataDir + "NamesList" + category, names);
            for (const QString &name : names) {
                for (const QString &suffix : ContactFields::files()) {
                    if (!QFile::exists(dataDir + category + name + suffix))
                        return category + '/' + name + " without " + suffix;
                }
                ++listed;
            }
        }
        return {};
    }

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
        int temporaries = 0;
        qint64 keystrokes = 0;
        double lost = 0, mostLost = 0; // milliseconds of typing the disk had not caught up with
        for (int round = 0; round <= kills; ++round) {
            QProcess typist;
            typist.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            typist.start(QCoreApplication::applicationFilePath(), {"type", QString::number(seed + round)});
            while (!typist.canReadLine() && typist.waitForReadyRead(30000)) {
            }
            const QList<QByteArray> started = typist.readLine().trimmed().split(' ');
            QCOMPARE(started.value(0), "0"); // the last kill's temporaries are gone
            QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(started.value(1))).split('\t'), values);
            const int typing = round < kills ? moments.bounded(1, 60) : 0;
            QTest::qSleep(typing);
            typist.kill();
            QVERIFY(typist.waitForFinished());

            // What the boxes held after each keystroke reported done, and
            // after the one that may have been under way.
            QRandomGenerator random(seed + round);
            const qsizetype done = typist.readAllStandardOutput().count('\n');
            QList<QStringList> typed{values};
            for (qsizetype k = 0; k <= done; ++k) {
                QStringList next = typed.last();
                type(random, next);
                typed.append(next);
            }
            QList<Files> states;
            for (const QStringList &boxes : typed)
                states.append(stored(boxes));

            // Saving runs behind the typing: each field file holds, whole, a
            // value it had since the last start, and the boxes it feeds are
            // shown so after the next.
            const Files found = f.files(false);
            int left = 0;
            qsizetype behind = 0;
            for (auto [name, bytes] : found.asKeyValueRange()) {
                // A kill before a new version replaces the old one leaves it
                // beside it, never read and deleted by the next start; only a
                // named temporary can be cut short.
                if (name.startsWith(".kinfolio-")) {
                    const auto version = [&bytes](const QByteArray &content) { return content.startsWith(bytes); };
                    QVERIFY2(std::any_of(states.cbegin(), states.cend(),
                                         [&](const Files &state) { return std::any_of(state.cbegin(), state.cend(), version); }),
                             qPrintable(name));
                    ++left;
                    continue;
                }
                if (!states.first().contains(name)) {
                    QVERIFY2(bytes == files.value(name), qPrintable(name));
                    continue;
                }
                qsizetype k = states.size();
                while (k-- > 0 && states[k].value(name) != bytes) {
                }
                QVERIFY2(k >= 0, qPrintable(QString("round %1: %2 holds %3").arg(round).arg(name, bytes.toPercentEncoding())));
                for (int box = 0; box < boxNames.size(); ++box) {
                    if (fileOf(box) == name)
                        values[box] = typed[k][box];
                }
                behind = std::max(behind, done - k);
            }
            QCOMPARE(found.size() - left, files.size());
            keystrokes += done;
            // At the typist's pace, which is far beyond a person's.
            const double behindMs = double(behind) * typing / double(std::max<qsizetype>(done, 1));
            lost += behindMs;
            mostLost = std::max(mostLost, behindMs);
            temporaries += left;
        }
        qInfo("%d kills survived, %lld keystrokes checked; the field file furthest behind lacked the last %.1f ms "
              "of typing on average, %.1f ms at most; %d temporaries were left, the next start deleted them",
              kills, keystrokes, lost / std::max(kills, 1), mostLost, temporaries);
    }

    void killedWhileChangingNames()
    {
        const quint32 seed = qEnvironmentVariable("KINFOLIO_CRASH_SEED", "20240617").toUInt();
        const int kills = qEnvironmentVariable("KINFOLIO_KILLS", "200").toInt() / 2;
        Fixture f;
        QVERIFY(f.put({{"RelationsList", listBytes({"Family", "Friends"})}, {"NamesListFamily", listBytes({"Ann", "Bo"})}}));
        for (const char *name : {"Ann", "Bo"})
            QVERIFY(f.put(contactFiles("Family", name)));
        QRandomGenerator moments(seed);
        int changes = 0, temporaries = 0, mostListed = 0;
        for (int round = 0; round <= kills; ++round) {
            QProcess changer;
            changer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            changer.start(QCoreApplication::applicationFilePath(), {"change", QString::number(seed + round)});
            while (!changer.canReadLine() && changer.waitForReadyRead(30000)) {
            }
            QCOMPARE(changer.readLine().trimmed(), "0"); // the last kill's temporaries are gone
            QTest::qSleep(round < kills ? moments.bounded(1, 100) : 0);
            changer.kill();
            QVERIFY(changer.waitForFinished());
            changes += int(changer.readAllStandardOutput().count('\n'));
            temporaries += int(QDir(f.dataDir()).entryList({".kinfolio-*"}, QDir::Files | QDir::Hidden).size());
            int listed = 0;
            const QString missing = listedWithoutFiles(f.dataDir(), listed);
            QVERIFY2(missing.isEmpty(), qPrintable(QString("round %1: %2").arg(round).arg(missing)));
            mostListed = std::max(mostListed, listed);
        }
        qInfo("%d kills while adding and removing categories and names survived, %d changes made; never a contact "
              "listed without its files (at most %d listed); %d temporaries were left, the next start deleted them",
              kills, changes, mostListed, temporaries);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "type") == 0)
        return typist(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "change") == 0)
        return changer(argc, argv);
    QCoreApplication app(argc, argv);
    TestCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash.moc"
