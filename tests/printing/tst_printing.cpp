// Print Text and Print Screen: the report's lines, the answers, and real
// paper through the CUPS-PDF queue the test command sets up.

#include "support/testsupport.h"

#include "platform/qtplatform.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString queue = QStringLiteral("KinfolioPDF");

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(20000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

int pages(const QString &pdf)
{
    const QRegularExpressionMatch match = QRegularExpression("Pages:\\s+(\\d+)").match(run("pdfinfo", {pdf}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QStringList completedJobs()
{
    return run("lpstat", {"-W", "completed", "-o", queue}).split('\n', Qt::SkipEmptyParts);
}

// Waits for the queue to finish one more job than before and returns its PDF,
// which CUPS-PDF writes into the PDF folder of the job owner's home (the
// account's, not $HOME).
QString awaitJob(const QStringList &before)
{
    const passwd *account = getpwuid(getuid());
    const QDir folder(QString::fromLocal8Bit(account ? account->pw_dir : "/nonexistent") + "/PDF");
    for (int tries = 0; tries < 150; ++tries) {
        const QStringList after = completedJobs();
        if (after.size() > before.size() + 1)
            return QStringLiteral("more than one job");
        if (after.size() == before.size() + 1) {
            const QString id = after.last().section(' ', 0, 0).section('-', -1);
            const QStringList files = folder.entryList({"*job_" + id + ".pdf"});
            if (!files.isEmpty())
                return folder.filePath(files.first());
        }
        QTest::qWait(200);
    }
    return QString();
}

} // namespace

class TestPrinting : public FixtureTest
{
    Q_OBJECT

private slots:
    void report_data()
    {
        QTest::addColumn<QByteArray>("dependants"); // Ann's file
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QStringList>("lines");

        const QString rule(55, '-');
        const QStringList head{"Ann", rule, "Relation: ", "Ann's sister", "", "Birthday: ", "1 May, 1970", "",
                               "Children/Dependants/Etc: "};
        const QStringList tail{"", "Address: ", "12 Elm St, Flat 2", "Leeds", "", "Driving Directions: ", "M1 north",
                               "", "then left", "", "Home Phone #: ", "111", "", "Cell Phone #: ", "222", "",
                               "Work Phone #: ", "333", "", "Fax #: ", "444", "", "E-Mail: ", "Ann@mail.org", "",
                               "Notes for phone numbers: ", "mornings only"};
        QTest::newRow("three dependants") << listBytes({"Zoe", "tim", "Anna"}) << true
                                          << head + QStringList{"Anna", "tim", "Zoe"} + tail;
        QTest::newRow("no dependants") << QByteArray() << true << head + tail;
        QStringList empty{"No Contact Name Selected", rule, "Relation: ", "", "", "Birthday: ", "", "",
                          "Children/Dependants/Etc: ", ""};
        for (const char *label : {"Address: ", "Driving Directions: ", "Home Phone #: ", "Cell Phone #: ",
                                  "Work Phone #: ", "Fax #: ", "E-Mail: "})
            empty << label << "" << "";
        QTest::newRow("no name selected") << QByteArray() << false << (empty << "Notes for phone numbers: " << "");
    }

    // Through the menu (Ctrl+T), which works with no name selected too.
    void report()
    {
        QFETCH(QByteArray, dependants);
        QFETCH(bool, selected);
        QFETCH(QStringList, lines);

        f->putStandardBook();
        f->put("FamilyAnnDependantsList", dependants);
        FrmMain &w = f->startOn("Family", "Ann");
        if (!selected)
            f->pickCategory("work"); // empties the boxes
        f->platform.answers.enqueue(true);
        w.mnuPrintTexzt->trigger();
        QCOMPARE(f->platform.printedTexts, QList<QStringList>{lines});
    }

    void answers_data()
    {
        QTest::addColumn<QString>("command"); // "menu": Print Screen's menu item with no name selected
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("printer");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("text, No") << "text" << false << true << QStringList{"Print cancelled."};
        QTest::newRow("text, no printer") << "text" << true << false << QStringList{};
        QTest::newRow("screen, Yes") << "screen" << true << true << QStringList{"Printing..."};
        QTest::newRow("screen, No") << "screen" << false << true << QStringList{"Print Screen cancelled."};
        QTest::newRow("screen, no printer") << "screen" << true << false << QStringList{};
        QTest::newRow("screen, nothing selected") << "menu" << true << true << QStringList{"Printing..."};
    }

    void answers()
    {
        QFETCH(QString, command);
        QFETCH(bool, yes);
        QFETCH(bool, printer);
        QFETCH(QStringList, messages);

        f->putStandardBook();
        FrmMain &w = command == "menu" ? f->start() : f->startOn("Family", "Ann");
        f->platform.hasPrinter = printer;
        f->platform.answers.enqueue(yes);
        if (command == "menu")
            w.mnuPrintScreen->trigger(); // while its button is disabled
        else
            (command == "screen" ? w.cmdPrintScreen : w.cmdPrintText)->click();
        const QString question = command == "text"
                                     ? "This will print all information on the selected contact name. Are you sure?"
                                     : "This will print the form as you see it now. Are you sure?";
        QCOMPARE(f->platform.shown.first(), (Shown{Shown::Question, question, "Delete Category"}));
        QCOMPARE(f->platform.messages(), messages);
        const bool printed = yes && printer;
        QCOMPARE(f->platform.printedTexts.size(), command == "text" && printed ? 1 : 0);
        QCOMPARE(f->platform.printedImages.size(), command != "text" && printed ? 1 : 0);
        if (command != "text" && printed)
            QCOMPARE(f->platform.printedImages.first().size(), w.grab().size() * w.devicePixelRatioF());
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
        QStringList lines{"Ann Lee", QString(55, '-'), ""};
        for (int i = 0; i < 60; ++i)
            lines[2] += QStringLiteral("turn%1 ").arg(i);
        for (int i = 0; i < 150; ++i)
            lines << QStringLiteral("line %1").arg(i);
        QVERIFY(QtPlatform::printLinesOn(printer, lines));

        QVERIFY(pages(pdf) >= 2);
        const QString text = run("pdftotext", {pdf, "-"});
        QVERIFY(text.contains("Ann Lee") && text.contains("line 149"));
        for (int i = 0; i < 60; ++i)
            QVERIFY2(text.contains(QStringLiteral("turn%1").arg(i)), qPrintable(QString::number(i)));
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
        if (!run("lpstat", {"-v", queue}).contains(queue) || QPrinterInfo::defaultPrinter().printerName() != queue)
            QSKIP("no CUPS-PDF queue KinfolioPDF as the default destination (scripts/test.sh sets one up as root)");
        QtPlatform platform;
        f->putStandardBook();
        FrmMain &w = f->startOn("Family", "Ann");
        const QStringList before = completedJobs();
        QVERIFY(screen ? platform.printImage(w.grab().toImage()) : platform.printLines(w.printing.reportLines()));
        const QString pdf = awaitJob(before);
        QVERIFY2(QFile::exists(pdf), qPrintable("no new PDF from the queue: " + pdf));
        QCOMPARE(pages(pdf), 1);
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
