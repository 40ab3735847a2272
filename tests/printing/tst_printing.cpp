#include "support/testsupport.h"

#include "platform/qtplatform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using Shown = ScriptedPlatform::Shown;

namespace {

// The print queue the test command sets up: CUPS-PDF, which writes each job as a PDF file.
const QString queue = QStringLiteral("KinfolioPDF");

QString run(const QString &program, const QStringList &arguments, bool *ok = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool done = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit
                      && process.exitCode() == 0;
    if (ok)
        *ok = done;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

int pages(const QString &pdf)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(run(QStringLiteral("pdfinfo"), {pdf}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QStringList completedJobs()
{
    QStringList jobs;
    for (const QString &line : run(QStringLiteral("lpstat"), {"-W", "completed", "-o", queue}).split('\n'))
        if (!line.isEmpty())
            jobs << line.section(' ', 0, 0);
    return jobs;
}

// CUPS-PDF writes into the PDF folder of the job owner's home (the account's, not $HOME).
QString cupsPdfFolder()
{
    const passwd *account = getpwuid(getuid());
    return account ? QString::fromLocal8Bit(account->pw_dir) + QStringLiteral("/PDF") : QString();
}

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Fixture> f;

    // Family holds Ann Lee, with a value in every field.
    FrmMain &startOnAnn(const QByteArray &dependants)
    {
        f->put("RelationsList", listBytes({"Family", "Work"}));
        f->put("NamesListFamily", listBytes({"Ann Lee"}));
        f->put("FamilyAnn LeeRelation", "\"aunt\"\r\n");
        f->put("FamilyAnn LeeBirthday", "\"1 May\"\r\n");
        f->put("FamilyAnn LeeDependantsList", dependants);
        f->put("FamilyAnn LeeAddress", "\"12 Elm St\r\nLeeds\"\r\n");
        f->put("FamilyAnn LeeDrivingDirections", "\"M1\"\r\n");
        f->put("FamilyAnn LeeNumbers", "\"1\",\"2\",\"3\",\"4\",\"a@b.c\"\r\n");
        f->put("FamilyAnn LeeNumbNotes", "\"evenings\"\r\n");
        FrmMain &w = f->start();
        f->pickCategory("Family");
        f->pickName("Ann Lee");
        return w;
    }

    // Waits for the queue to finish one more job than before and returns its PDF.
    QString awaitJob(const QStringList &before)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 30000) {
            const QStringList after = completedJobs();
            if (after.size() > before.size()) {
                if (after.size() != before.size() + 1)
                    return QStringLiteral("more than one job");
                const QString id = after.last().section('-', -1);
                const QStringList files =
                    QDir(cupsPdfFolder()).entryList({QStringLiteral("*job_") + id + QStringLiteral(".pdf")});
                if (!files.isEmpty())
                    return cupsPdfFolder() + '/' + files.first();
            }
            QTest::qWait(200);
        }
        return QString();
    }

    void requireQueue()
    {
        bool ok = false;
        run(QStringLiteral("lpstat"), {"-v", queue}, &ok);
        if (!ok || QPrinterInfo::defaultPrinter().printerName() != queue)
            QSKIP("no CUPS-PDF queue KinfolioPDF as the default destination (scripts/test.sh sets one up as root)");
    }

private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup()
    {
        QVERIFY2(f->platform.unanswered.isEmpty(), qPrintable(f->platform.unanswered.join('|')));
        f.reset();
    }

    void report_data()
    {
        QTest::addColumn<QByteArray>("dependants");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QStringList>("lines");

        const QString rule(55, '-');
        const QStringList tail{"Address: ", "12 Elm St", "Leeds", "", "Driving Directions: ", "M1", "",
                               "Home Phone #: ", "1", "", "Cell Phone #: ", "2", "", "Work Phone #: ", "3", "",
                               "Fax #: ", "4", "", "E-Mail: ", "a@b.c", "", "Notes for phone numbers: ", "evenings"};
        QTest::newRow("no dependants") << QByteArray() << true
                                       << QStringList{"Ann Lee", rule, "Relation: ", "aunt", "", "Birthday: ", "1 May",
                                                      "", "Children/Dependants/Etc: ", ""} + tail;
        QTest::newRow("three dependants") << QByteArray("\"Zoe\"\r\n\"tim\"\r\n\"Al\"\r\n") << true
                                          << QStringList{"Ann Lee", rule, "Relation: ", "aunt", "", "Birthday: ",
                                                         "1 May", "", "Children/Dependants/Etc: ", "Al", "tim", "Zoe",
                                                         ""} + tail;
        QStringList empty{"No Contact Name Selected", rule, "Relation: ", "", "", "Birthday: ", "", "",
                          "Children/Dependants/Etc: ", ""};
        for (const char *label : {"Address: ", "Driving Directions: ", "Home Phone #: ", "Cell Phone #: ",
                                  "Work Phone #: ", "Fax #: ", "E-Mail: "})
            empty << label << "" << "";
        QTest::newRow("no name selected") << QByteArray() << false << (empty << "Notes for phone numbers: " << "");
    }

    void report()
    {
        QFETCH(QByteArray, dependants);
        QFETCH(bool, selected);
        QFETCH(QStringList, lines);

        FrmMain &w = startOnAnn(dependants);
        if (!selected)
            f->pickCategory("Work"); // empties the boxes; Ctrl+T still prints
        f->platform.answers.enqueue(true);
        w.mnuPrintTexzt->trigger();
        QCOMPARE(f->platform.shown,
                 (QList<Shown>{{Shown::Question,
                                "This will print all information on the selected contact name. Are you sure?",
                                "Delete Category"}}));
        QCOMPARE(f->platform.printedTexts, QList<QStringList>{lines});
    }

    void answers_data()
    {
        QTest::addColumn<bool>("screen");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("printer");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("text, no") << false << false << true << QStringList{"Print cancelled."};
        QTest::newRow("text, no printer") << false << true << false << QStringList{};
        QTest::newRow("screen, yes") << true << true << true << QStringList{"Printing..."};
        QTest::newRow("screen, no") << true << false << true << QStringList{"Print Screen cancelled."};
        QTest::newRow("screen, no printer") << true << true << false << QStringList{};
    }

    void answers()
    {
        QFETCH(bool, screen);
        QFETCH(bool, yes);
        QFETCH(bool, printer);
        QFETCH(QStringList, messages);

        FrmMain &w = startOnAnn({});
        f->platform.hasPrinter = printer;
        f->platform.answers.enqueue(yes);
        (screen ? w.cmdPrintScreen : w.cmdPrintText)->click();
        QCOMPARE(f->platform.messages(), messages);
        QCOMPARE(f->platform.printedTexts.size(), !screen && yes && printer ? 1 : 0);
        QCOMPARE(f->platform.printedImages.size(), screen && yes && printer ? 1 : 0);
        if (screen && yes && printer)
            QCOMPARE(f->platform.printedImages.first().size(), w.grab().size() * w.devicePixelRatioF());
    }

    // Print Screen also works with no contact, while its button is disabled.
    void printScreenWithNothingSelected()
    {
        FrmMain &w = f->start();
        QVERIFY(!w.cmdPrintScreen->isEnabled());
        f->platform.answers.enqueue(true);
        w.mnuPrintScreen->trigger();
        QCOMPARE(f->platform.printedImages.size(), 1);
        QCOMPARE(f->platform.messages(), QStringList{"Printing..."});
    }

    // Long lines wrap instead of running off the page; a long report goes on to more pages.
    void layoutOnPaper()
    {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const QString pdf = f->home.filePath("report.pdf");
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QStringList lines{QStringLiteral("Ann Lee"), QString(55, '-')};
        QString directions;
        for (int i = 0; i < 60; ++i)
            directions += QStringLiteral("turn%1 ").arg(i);
        lines << directions.trimmed();
        for (int i = 0; i < 150; ++i)
            lines << QStringLiteral("line %1").arg(i);
        QVERIFY(QtPlatform::printLinesOn(printer, lines));

        QVERIFY(pages(pdf) >= 2);
        const QString text = run(QStringLiteral("pdftotext"), {pdf, "-"});
        QVERIFY(text.contains("Ann Lee"));
        for (int i = 0; i < 60; ++i)
            QVERIFY2(text.contains(QStringLiteral("turn%1").arg(i)), qPrintable(QString::number(i)));
        QVERIFY(text.contains("line 149"));
    }

    // Through the real default printer: each command makes exactly one job, of the right size.
    void realQueue_data()
    {
        QTest::addColumn<bool>("screen");
        QTest::newRow("Print Text") << false;
        QTest::newRow("Print Screen") << true;
    }

    void realQueue()
    {
        QFETCH(bool, screen);
        requireQueue();
        QtPlatform platform;
        FrmMain &w = startOnAnn("\"Al\"\r\n");
        const QStringList before = completedJobs();
        QVERIFY(screen ? platform.printImage(w.grab().toImage()) : platform.printLines(w.printing.reportLines()));
        const QString pdf = awaitJob(before);
        QVERIFY2(QFile::exists(pdf), qPrintable("no new PDF from the queue: " + pdf));
        QCOMPARE(pages(pdf), 1);
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
