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

// Where the tests must run, on CI, what they need being missing fails them
// rather than letting them pass unrun.
#define SKIP_UNLESS_CI(reason)                                                                                         \
    do {                                                                                                               \
        if (qEnvironmentVariable("CI") == QLatin1String("true"))                                                       \
            QFAIL(reason);                                                                                             \
        QSKIP(reason);                                                                                                 \
    } while (false)

namespace {

const QString queue = QStringLiteral("KinfolioPDF");

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(20000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The smallest rectangle holding everything printed on the page.
QRect inkOn(const QImage &page)
{
    const QImage gray = page.convertToFormat(QImage::Format_Grayscale8);
    int left = gray.width(), top = gray.height(), right = -1, bottom = -1;
    for (int y = 0; y < gray.height(); ++y) {
        const uchar *row = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            if (row[x] < 250) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = y;
            }
        }
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

class TestPrinting : public FixtureTest
{
    Q_OBJECT

private slots:
    // Print Text or Print Screen, by its menu item (which works with no name
    // selected too) or its button: the question, then what is printed or said.
    void commands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("contact"); // of Family; none: the category work chosen
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("printer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("lines"); // the report printed, if any

        const QString rule(55, '-');
        QStringList ann{"Ann", rule, "Relation: ", "Ann's sister", "", "Birthday: ", "1 May, 1970", "",
                        "Children/Dependants/Etc: ", "Anna", "tim", "Zoe", "", "Address: ", "12 Elm St, Flat 2", "Leeds", "",
                        "Driving Directions: ", "M1 north", "", "then left", "", "Home Phone #: ", "111", "",
                        "Cell Phone #: ", "222", "", "Work Phone #: ", "333", "", "Fax #: ", "444", "", "E-Mail: ",
                        "Ann@mail.org", "", "Notes for phone numbers: ", "mornings only"};
        QStringList empty{rule, "Relation: ", "", "", "Birthday: ", "", "", "Children/Dependants/Etc: ", ""};
        for (const char *label : {"Address: ", "Driving Directions: ", "Home Phone #: ", "Cell Phone #: ",
                                  "Work Phone #: ", "Fax #: ", "E-Mail: "})
            empty << label << "" << "";
        empty << "Notes for phone numbers: " << "";
        const QStringList none;

        QTest::newRow("text by menu") << "mnuPrintTexzt" << "Ann" << true << true << "" << ann;
        QTest::newRow("text by menu, nothing filled in") << "mnuPrintTexzt" << "Bo" << true << true << "" << QStringList{"Bo"} + empty;
        QTest::newRow("text by menu, no name selected")
            << "mnuPrintTexzt" << "" << true << true << "" << QStringList{"No Contact Name Selected"} + empty;
        QTest::newRow("text button, No") << "cmdPrintText" << "Ann" << false << true << "Print cancelled." << none;
        QTest::newRow("text button, no printer") << "cmdPrintText" << "Ann" << true << false << "" << none;
        QTest::newRow("screen button, Yes") << "cmdPrintScreen" << "Ann" << true << true << "Printing..." << none;
        QTest::newRow("screen button, No") << "cmdPrintScreen" << "Ann" << false << true << "Print Screen cancelled." << none;
        QTest::newRow("screen button, no printer") << "cmdPrintScreen" << "Ann" << true << false << "" << none;
        QTest::newRow("screen by menu, no name selected") << "mnuPrintScreen" << "" << true << true << "Printing..." << none;
    }

    void commands()
    {
        QFETCH(QString, command);
        QFETCH(QString, contact);
        QFETCH(bool, yes);
        QFETCH(bool, printer);
        QFETCH(QString, message);
        QFETCH(QStringList, lines);
        QVERIFY(f->putStandardBook() && (contact.isEmpty() ? f->startOn("work") : f->startOn("Family", contact)));
        FrmMain &w = f->window();
        f->platform.hasPrinter = printer;
        f->platform.answers.enqueue(yes);
        if (auto *item = w.findChild<QAction *>(command))
            item->trigger();
        else
            w.findChild<QPushButton *>(command)->click();
        const bool text = command == "mnuPrintTexzt" || command == "cmdPrintText";
        const QString question = text ? "This will print all information on the selected contact name. Are you sure?"
                                      : "This will print the form as you see it now. Are you sure?";
        QCOMPARE(f->platform.shown.first(), (Shown{Shown::Question, question, "Delete Category"}));
        QCOMPARE(f->platform.messages(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(f->platform.printedTexts, lines.isEmpty() ? QList<QStringList>() : QList<QStringList>{lines});
        const bool image = !text && yes && printer;
        QCOMPARE(f->platform.printedWindows.size(), image ? 1 : 0);
        if (image)
            QCOMPARE(f->platform.printedWindows.first().size(), w.grab().size() * w.devicePixelRatioF());
    }

    // What prints stays whole and inside margins of 15 mm (more where the
    // printer needs more) on every page: long lines wrap, at a space where
    // there is one, and a long report goes on to more pages; the window prints
    // on one page, filling its width with its proportions kept, its text as
    // text. On a PDF file and through the real default printer, where each
    // command makes exactly one job.
    void paper_data()
    {
        QTest::addColumn<bool>("throughQueue");
        QTest::addColumn<bool>("screen");
        QTest::addColumn<qreal>("printerMargin"); // mm the printer cannot print on
        QTest::newRow("Print Text to a file") << false << false << 0.0;
        QTest::newRow("Print Text to a file, printer margin 20 mm") << false << false << 20.0;
        QTest::newRow("Print Screen to a file") << false << true << 0.0;
        QTest::newRow("Print Text through the queue") << true << false << 0.0;
        QTest::newRow("Print Screen through the queue") << true << true << 0.0;
    }

    void paper()
    {
        QFETCH(bool, throughQueue);
        QFETCH(bool, screen);
        QFETCH(qreal, printerMargin);
        for (const char *tool : {"pdftotext", "pdftoppm"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                SKIP_UNLESS_CI((QByteArray(tool) + " (poppler-utils) is not installed").constData());
        }
        if (throughQueue && QPrinterInfo::defaultPrinter().printerName() != queue)
            SKIP_UNLESS_CI("no CUPS-PDF queue KinfolioPDF as the default destination (scripts/test.sh sets one up)");
        QStringList lines{"Ann Lee", QString(55, '-'), ""};
        for (int i = 0; i < 60; ++i)
            lines[2] += QStringLiteral("turn%1 ").arg(i);
        lines << QString("0123456789").repeated(15); // no space to break at
        for (int i = 0; i < 150; ++i)
            lines << QStringLiteral("line %1").arg(i);
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Ann"));
        QWidget &window = f->window();
        QString pdf = f->home.filePath("report.pdf");
        if (!throughQueue) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            const QMarginsF least(printerMargin, printerMargin, printerMargin, printerMargin);
            printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, least,
                                              QPageLayout::Millimeter, least));
            QVERIFY(screen ? QtPlatform::printWindowOn(printer, window) : QtPlatform::printLinesOn(printer, lines));
        } else {
            // CUPS-PDF writes into the PDF folder of the job owner's home (the
            // account's, not $HOME), named after the job's title, so the job's
            // file may be new or an old one written again.
            const passwd *account = getpwuid(getuid());
            const QDir folder(QString::fromLocal8Bit(account ? account->pw_dir : "/nonexistent") + "/PDF");
            const auto written = [&folder] {
                QMap<QString, QDateTime> files;
                for (const QFileInfo &file : folder.entryInfoList(QDir::Files))
                    files.insert(file.fileName(), file.lastModified());
                return files;
            };
            const QMap<QString, QDateTime> before = written();
            QtPlatform platform;
            QVERIFY(screen ? platform.printWindow(window) : platform.printLines(lines));
            QTRY_VERIFY_WITH_TIMEOUT(run("lpstat", {"-o", queue}).isEmpty(), 30000); // every job done
            QStringList made;
            for (const auto &[file, time] : written().asKeyValueRange()) {
                if (before.value(file) != time)
                    made << file;
            }
            QCOMPARE(made.size(), 1);
            pdf = folder.filePath(made.first());
        }

        // The pages as a person sees them, at 72 dpi: a pixel is a point.
        const QDir pages(f->home.filePath("pages"));
        QVERIFY(pages.mkpath("."));
        run("pdftoppm", {"-r", "72", "-gray", pdf, pages.filePath("page")});
        const QStringList files = pages.entryList(QDir::Files);
        QVERIFY2(screen ? files.size() == 1 : files.size() >= 2, qPrintable(files.join(' ')));
        const qreal margin = std::max(15.0, printerMargin) * 72 / 25.4 - 1; // a pixel for rounding
        for (const QString &file : files) {
            const QImage page(pages.filePath(file));
            const QRect ink = inkOn(page);
            const QMargins clear(ink.left(), ink.top(), page.width() - 1 - ink.right(),
                                 page.height() - 1 - ink.bottom());
            QVERIFY2(!ink.isEmpty() && std::min({clear.left(), clear.top(), clear.right(), clear.bottom()}) >= margin,
                     qPrintable(QStringLiteral("%1: %2 clear of %3 pt needed").arg(file, QDebug::toString(clear))
                                    .arg(margin)));
            if (screen) { // as wide as the margins allow, as high as the window's proportions make it
                QCOMPARE_LE(std::max(clear.left(), clear.right()), margin + 3);
                QCOMPARE_LE(std::abs(ink.height() - ink.width() * window.height() / window.width()), 2);
            }
        }

        // The queue's PDFs keep no text to compare.
        if (throughQueue)
            return;
        const auto bare = [](QString text) { return text.remove(QRegularExpression("\\s")); };
        const QString text = bare(run("pdftotext", {"-layout", pdf, "-"}));
        if (screen) {
            for (const char *shown : {"Ann", "Ann's sister", "Print Text", "Children/Dependants/Etc.:"})
                QVERIFY2(text.contains(bare(shown)), qPrintable(shown));
        } else {
            QCOMPARE(text, bare(lines.join(QString())));
        }
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
