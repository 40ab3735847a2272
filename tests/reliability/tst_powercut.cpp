#include "support/testsupport.h"

#include <QRandomGenerator>

#include <fcntl.h>
#include <linux/types.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Power cuts on a real ext4 file system in a loop device: the moment the real window calls a change stored, the file
// system is shut down without flushing its journal, as a power cut leaves it, and mounted again. KINFOLIO_POWERCUTS
// sets the number of cuts. Needs root, losetup, mount and mkfs.ext4.
#define EXT4_IOC_SHUTDOWN _IOR('X', 125, __u32)
constexpr __u32 goingDownWithoutLogFlush = 0x2; // EXT4_GOING_FLAGS_NOLOGFLUSH

class TestPowerCut : public QObject
{
    Q_OBJECT
    QTemporaryDir m_scratch;
    QString m_device, m_mounted = m_scratch.filePath("mounted");

    // Runs a command: empty if it succeeded, else what it said.
    static QString run(const QString &program, const QStringList &arguments, QString *output = nullptr)
    {
        const QStringList ran = runProgram(program, arguments);
        if (output)
            *output = ran[1];
        return ran[0] == "0" ? QString() : program + ": " + ran.join(' ');
    }
    QString dataDir() const { return m_mounted + "/home/Kinfolio/Data/"; }

private slots:
    void initTestCase()
    {
        const QString image = m_scratch.filePath("disk.img");
        QVERIFY(QDir().mkpath(m_mounted) && QFile(image).open(QIODevice::WriteOnly) && QFile::resize(image, 64 << 20));
        QString why = ::geteuid() != 0 ? "the test must run as root" : run("mkfs.ext4", {"-q", "-F", image});
        if (why.isEmpty())
            why = run("losetup", {"--find", "--show", image}, &m_device);
        if (!why.isEmpty() && qEnvironmentVariable("CI") == "true") // where it should run, it fails
            QFAIL(qPrintable("cannot cut the power: " + why));
        if (!why.isEmpty())
            QSKIP(qPrintable("cannot cut the power: " + why));
    }

    void cleanupTestCase()
    {
        if (!m_device.isEmpty()) {
            run("umount", {m_mounted});
            run("losetup", {"--detach", m_device});
        }
    }

    void powerCut()
    {
        const int cuts = qEnvironmentVariable("KINFOLIO_POWERCUTS", "12").toInt();
        QRandomGenerator random(20240617);
        // A long commit interval: nothing reaches the disk but what the program syncs.
        const QStringList mount{"-o", "commit=600", m_device, m_mounted};
        QCOMPARE(run("mount", mount), QString());
        Files start{{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann"})}};
        start.insert(contactFiles("Family", "Ann"));
        QVERIFY(putFiles(dataDir(), start));
        QCOMPARE(run("sync", {}), QString());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_mounted + "/home"));

        QStringList names{"Ann"}, removed;
        QString birthday = "1 May, 1970";
        const char *kinds[] = {"keystroke", "new contact", "removed contact"};
        for (int cut = 0; cut < cuts; ++cut) {
            {
                ScriptedPlatform platform;
                FrmMain w(platform);
                w.cboRelationship->setCurrentIndex(0);
                // The change under test comes last, right before the cut.
                for (int step = 1; step <= 3; ++step) {
                    const int kind = (cut + step) % 3;
                    if (kind == 0) {
                        w.lstNames->setCurrentRow(0); // Ann
                        const QString keys = QString(QChar('a' + random.bounded(26))).repeated(random.bounded(1, 4));
                        typeAtEnd(w.txtBirthday, keys);
                        QVERIFY(RecordFile::flush()); // stored: now it must survive
                        birthday += keys;
                    } else if (kind == 1) {
                        names.append(QString("Name%1").arg(cut, 3, 10, QChar('0')));
                        platform.inputs.enqueue(names.last());
                        w.cmdAddName->click();
                    } else if (names.size() > 1) {
                        w.lstNames->setCurrentRow(int(names.size()) - 1);
                        platform.answers.enqueue(true);
                        removed.append(names.takeLast());
                        QCOMPARE(w.currentName(), removed.last());
                        w.cmdRemoveName->click();
                    }
                }
                const int fd = ::open(QFile::encodeName(m_mounted).constData(), O_RDONLY | O_DIRECTORY);
                __u32 flags = goingDownWithoutLogFlush;
                QVERIFY2(fd >= 0 && ::ioctl(fd, EXT4_IOC_SHUTDOWN, &flags) == 0, "the file system would not shut down");
                ::close(fd);
                QVERIFY(platform.unanswered.isEmpty());
            }
            QCOMPARE(run("umount", {m_mounted}), QString());
            QCOMPARE(run("mount", mount), QString());

            const char *last = kinds[cut % 3];
            const Files found = filesIn(dataDir(), false);
            QVERIFY2(found.value("FamilyAnnBirthday") == RecordFile::encodeRecord({birthday}), last);
            QVERIFY2(found.value("NamesListFamily") == listBytes(names), last);
            for (const QString &name : names + removed)
                for (const QString &suffix : ContactFields::files())
                    QVERIFY2(found.contains("Family" + name + suffix) == names.contains(name),
                             qPrintable(QString("%1: %2's %3").arg(last, name, suffix)));
        }
        qInfo("%d power cuts, each right after a change was stored: %d after a keystroke, %d after adding a contact, "
              "%d after removing one", cuts, (cuts + 2) / 3, (cuts + 1) / 3, cuts / 3);
    }
};

QTEST_MAIN(TestPowerCut)
#include "tst_powercut.moc"
