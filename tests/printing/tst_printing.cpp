// Print Text and Print Screen: the report's lines, the answers, and real
// paper through the CUPS-PDF queue the test command sets up.

#include "support/testsupport.h"

#include "platform/qtplatform.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
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

} // namespace

class TestPrinting : public FixtureTest
{
    Q_OBJECT

private slots:
    // The row's name says what the user does: Print Text or Print Screen, by
    // its menu item (which works with no name selected too) or its button.
    void commands_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("lines"); // the report printed, if any

        const QString rule(55, '-');
        const QStringList head{"Ann", rule, "Relation: ", "Ann's sister", "", "Birthday: ", "1 May, 1970", "",
                               "Children/Dependants/Etc: "};
        const QStringList tail{"", "Address: ", "12 Elm St, Flat 2", "Leeds", "", "Driving Directions: ", "M1 north",
                               "", "then left", "", "Home Phone #: ", "111", "", "Cell Phone #: ", "222", "",
                               "Work Phone #: ", "333", "", "Fax #: ", "444", "", "E-Mail: ", "Ann@mail.org", "",
                               "Notes for phone numbers: ", "mornings only"};
        QStringList empty{"No Contact Name Selected", rule, "Relation: ", "", "", "Birthday: ", "", "",
                          "Children/Dependants/Etc: ", ""};
        for (const char *label : {"Address: ", "Driving Directions: ", "Home Phone #: ", "Cell Phone #: ",
                                  "Work Phone #: ", "Fax #: ", "E-Mail: "})
            empty << label << "" << "";
        const QStringList none;

        QTest::newRow("text by menu") << true << "" << head + QStringList{"Anna", "tim", "Zoe"} + tail;
        QTest::newRow("text by menu, no dependants") << true << "" << head + tail;
        QTest::newRow("text by menu, no name selected") << true << "" << (empty << "Notes for phone numbers: " << "");
        QTest::newRow("text button, No") << false << "Print cancelled." << none;
        QTest::newRow("text button, no printer") << true << "" << none;
        QTest::newRow("screen button, Yes") << true << "Printing..." << none;
        QTest::newRow("screen button, No") << false << "Print Screen cancelled." << none;
        QTest::newRow("screen button, no printer") << true << "" << none;
        QTest::newRow("screen by menu, no name selected") << true << "Printing..." << none;
    }

    void commands()
    {
        const QString how = QTest::currentDataTag();
        QFETCH(bool, yes);
        QFETCH(QString, message);
        QFETCH(QStringList, lines);
        f->putStandardBook();
        if (how.contains("no dependants"))
            f->put("FamilyAnnDependantsList", "");
        FrmMain &w = f->startOn("Family", "Ann");
        if (how.contains("no name selected"))
            f->pickCategory("work"); // empties the boxes
        f->platform.hasPrinter = !how.contains("no printer");
        f->platform.answers.enqueue(yes);
        const bool text = how.startsWith("text");
        if (how.contains("menu"))
            (text ? w.mnuPrintTexzt : w.mnuPrintScreen)->trigger();
        else
            (text ? w.cmdPrintText : w.cmdPrintScreen)->click();
        const QString question = text ? "This will print all information on the selected contact name. Are you sure?"
                                      : "This will print the form as you see it now. Are you sure?";
        QCOMPARE(f->platform.shown.first(), (Shown{Shown::Question, question, "Delete Category"}));
        QCOMPARE(f->platform.messages(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(f->platform.printedTexts, lines.isEmpty() ? QList<QStringList>() : QList<QStringList>{lines});
        const bool image = !text && yes && f->platform.hasPrinter;
        QCOMPARE(f->platform.printedImages.size(), image ? 1 : 0);
        if (image)
            QCOMPARE(f->platform.printedImages.first().size(), w.grab().size() * w.devicePixelRatioF());
    }

    // Long lines wrap instead of running off the page and a long report goes
    // on to more pages, on a PDF file and through the real default printer,
    // where each command makes exactly one job.
    void paper_data()
    {
        QTest::addColumn<bool>("throughQueue");
        QTest::addColumn<bool>("screen");
        QTest::newRow("Print Text to a file") << false << false;
        QTest::newRow("Print Text through the queue") << true << false;
        QTest::newRow("Print Screen through the queue") << true << true;
    }

    void paper()
    {
        QFETCH(bool, throughQueue);
        QFETCH(bool, screen);
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        if (throughQueue && QPrinterInfo::defaultPrinter().printerName() != queue)
            QSKIP("no CUPS-PDF queue KinfolioPDF as the default destination (scripts/test.sh sets one up as root)");
        QStringList lines{"Ann Lee", QString(55, '-'), ""};
        for (int i = 0; i < 60; ++i)
            lines[2] += QStringLiteral("turn%1 ").arg(i);
        for (int i = 0; i < 150; ++i)
            lines << QStringLiteral("line %1").arg(i);
        QString pdf = f->home.filePath("report.pdf");
        if (!throughQueue) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            QVERIFY(QtPlatform::printLinesOn(printer, lines));
        } else {
            // CUPS-PDF writes into the PDF folder of the job owner's home (the
            // account's, not $HOME).
            const passwd *account = getpwuid(getuid());
            const QDir folder(QString::fromLocal8Bit(account ? account->pw_dir : "/nonexistent") + "/PDF");
            const QStringList before = folder.entryList(QDir::Files);
            QtPlatform platform;
            QVERIFY(screen ? platform.printImage(f->start().grab().toImage()) : platform.printLines(lines));
            QTRY_VERIFY_WITH_TIMEOUT(run("lpstat", {"-o", queue}).isEmpty(), 30000); // every job done
            QStringList made = folder.entryList(QDir::Files);
            made.removeIf([&](const QString &file) { return before.contains(file); });
            QCOMPARE(made.size(), 1);
            pdf = folder.filePath(made.first());
        }
        const QString text = run("pdftotext", {pdf, "-"});
        const qsizetype pages = text.count('\f'); // a form feed ends each page
        QVERIFY2(screen ? pages == 1 : pages >= 2, qPrintable(QString::number(pages)));
        // The queue's PDFs keep no text to compare.
        for (int i = 0; !throughQueue && i < 60; ++i)
            QVERIFY2(text.contains(QStringLiteral("turn%1").arg(i)), qPrintable(QString::number(i)));
        QVERIFY(throughQueue || (text.contains("Ann Lee") && text.contains("line 149")));
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
