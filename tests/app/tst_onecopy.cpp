// Copies of the real program on one data directory: a second start brings
// the first to the front and ends without a window of its own, and a copy
// that was killed leaves no lock that keeps the next one out.

#include "app/onecopy.h"
#include "store/paths.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestOneCopy : public QObject
{
    Q_OBJECT

private slots:
    void oneWriter()
    {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        QVERIFY(Store::makeDataDir());
        QProcess first;
        first.start(KINFOLIO_PROGRAM, {});
        QTRY_VERIFY(QFile::exists(Store::dataDir() + ".kinfolio.lock"));

        QProcess second;
        second.start(KINFOLIO_PROGRAM, {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0); // the first answered it, and came to the front
        QCOMPARE(first.state(), QProcess::Running);
        OneCopy probe(Store::dataDir());
        QVERIFY(!probe.lead());

        first.kill();
        QVERIFY(first.waitForFinished());
        QVERIFY(probe.lead());
    }
};

QTEST_GUILESS_MAIN(TestOneCopy)
#include "tst_onecopy.moc"
