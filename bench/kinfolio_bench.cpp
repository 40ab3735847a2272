// Times the program's own code paths in-process, against the real windows,
// and prints each case beside its floor: the same file or widget work done
// alone. Figures are reported, never asserted.

#include "app/frmmain.h"
#include "platform/scriptedplatform.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "exchange/vcardfiles.h"
#include "model/findindex.h"
#include "model/vcardcontact.h"
#include "store/keptcards.h"
#include "support/davservers.h"
#include "sync/booksync.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QImageReader>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <malloc.h>
#include <time.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <thread>
#include <memory>
#include <vector>

namespace {

struct Sizes
{
    int keys = 1000;
    int names = 32767;
    int contacts = 1000;
    int categories = 1000;
    int repeats = 20;
    std::vector<int> scaling{1000, 4000, 16000, 32767};
    int cards = 10000;
    int pacedKeys = 200;
    int burst = 10000;
    int found = 10000;
    std::vector<int> synced{1000, 10000};
};

// Milliseconds of each repetition.
using Samples = std::vector<double>;

double percentile(Samples samples, double p)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(p * double(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}

void row(const char *name, const Samples &measured, const Samples &floor)
{
    const double median = percentile(measured, 0.5);
    const double floorMedian = percentile(floor, 0.5);
    std::printf("| %-34s | %10.3f | %10.3f | %10.3f | %6.2fx |\n", name, median, percentile(measured, 0.99), floorMedian,
                floorMedian > 0 ? median / floorMedian : 0.0);
    std::fflush(stdout);
}

template <typename Work>
double time(Work &&work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The same, in the window thread's own CPU time: on a machine other work
// keeps busy, what a key costs without the time spent waiting for a core.
template <typename Work>
double cpuTime(Work &&work)
{
    timespec start{}, end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    work();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    return double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
}

QString data(const QString &name)
{
    return Store::dataDir() + name;
}

void writeList(const QString &name, const QStringList &entries)
{
    RecordFile::rewriteList(data(name), entries);
}

QStringList namesList(int count, const QString &prefix = QStringLiteral("Name"))
{
    // In order, as the program writes its lists.
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names << prefix + QString::number(i).rightJustified(6, QLatin1Char('0'));
    return names;
}

// A contact with every file filled in, its picture a JPEG of about 200 KB.
void writeContact(const QString &category, const QString &name, const QString &picture,
                  RecordFile::Mode mode = RecordFile::Stored)
{
    const QString p = category + name;
    RecordFile::rewriteRecord(data(p + "Birthday"), {"1 May 1970"}, mode);
    RecordFile::rewriteRecord(data(p + "Relation"), {"aunt"}, mode);
    RecordFile::rewriteRecord(data(p + "Address"), {"12 Elm Street, Flat 2\nLeeds\nLS1 4AB"}, mode);
    RecordFile::rewriteRecord(data(p + "DrivingDirections"), {QString(400, 'd')}, mode);
    RecordFile::rewriteRecord(data(p + "Numbers"), {"0113 496 0000", "07700 900000", "0113 496 0001", "", "ann@example.org"}, mode);
    RecordFile::rewriteRecord(data(p + "NumbNotes"), {"evenings only"}, mode);
    RecordFile::rewriteList(data(p + "DependantsList"), {"Tom", "Tim", "Zoe"}, mode);
    if (!picture.isEmpty())
        RecordFile::rewriteValue(data(p + "Pic"), picture, mode);
}

QString makeJpeg(const QString &dir)
{
    QImage image(700, 700, QImage::Format_RGB32);
    auto *random = QRandomGenerator::global();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 3 + random->bounded(40)) & 255, (y * 2 + random->bounded(40)) & 255, 128));
    const QString path = dir + QStringLiteral("/picture.jpg");
    image.save(path, "JPEG", 85);
    return path;
}

class Bench
{
public:
    explicit Bench(const Sizes &sizes) : m_sizes(sizes)
    {
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
        // The program's runtime folder, where no session gives one, is made in the cache: the home's is left alone.
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toLocal8Bit());
        Store::makeDataDir();
    }

    // A window with Ann of Family, every file filled in, selected.
    std::unique_ptr<FrmMain> windowOnAnn()
    {
        writeList("RelationsList", {"Family"});
        writeList("NamesListFamily", {"Ann"});
        writeContact("Family", "Ann", {});
        auto frm = std::make_unique<FrmMain>(m_platform);
        frm->cboRelationship->setCurrentIndex(0);
        frm->lstNames->setCurrentRow(0);
        return frm;
    }

    void keystroke()
    {
        const std::unique_ptr<FrmMain> window = windowOnAnn();
        FrmMain &frm = *window;
        frm.txtBirthday->clear();
        // Interleaved with its floor, so both see the same disk. A birthday
        // is typed afresh every 25 keys, as a person would: one 1,000-letter
        // line would time the box laying out its text, not the keystroke.
        Samples measured, floor;
        QString text;
        for (int i = 0; i < m_sizes.keys; ++i) {
            if (i % 25 == 0) {
                Controls::setText(frm.txtBirthday, {});
                text.clear();
            }
            measured.push_back(time([&] { QTest::keyClick(frm.txtBirthday, Qt::Key_A); }));
            text += QLatin1Char('a');
            floor.push_back(time([&] { RecordFile::rewriteRecord(data("FloorBirthday"), {text}); }));
        }
        row("keystroke (txtBirthday)", measured, floor);
    }

    // Keystrokes at a person's pace while every sync takes delay ms more, as
    // on a spinning disk, a USB stick or a network home; the floor is the
    // same keystrokes with no delay. Needs the fault shim, which slows the
    // syncs, preloaded (see main).
    void slowSync(const std::vector<int> &delays)
    {
        const std::unique_ptr<FrmMain> window = windowOnAnn();
        FrmMain &frm = *window;
        const auto typeKeys = [&](Samples &samples) {
            for (int i = 0; i < m_sizes.pacedKeys; ++i) {
                if (i % 25 == 0)
                    Controls::setText(frm.txtBirthday, {});
                samples.push_back(time([&] { QTest::keyClick(frm.txtBirthday, Qt::Key_A); }));
                QTest::qWait(10); // a fast typist's pace: the writer is busy in a sync at every key
            }
        };
        Samples floor;
        typeKeys(floor);
        RecordFile::flush();
        for (const int delay : delays) {
            qputenv("KINFOLIO_DELAY", QByteArray::number(delay));
            Samples measured;
            typeKeys(measured);
            const double stored = time([] { RecordFile::flush(); });
            qunsetenv("KINFOLIO_DELAY");
            row(qPrintable(QStringLiteral("keystroke, sync +%1 ms").arg(delay)), measured, floor);
            std::printf("  (the last key was on the disk %.0f ms after it was typed)\n", stored);
        }
    }

    void selectContact()
    {
        const QString jpeg = makeJpeg(m_images.path());
        writeList("RelationsList", {"Family"});
        writeList("NamesListFamily", {"Ann", "Bob"});
        writeContact("Family", "Ann", jpeg);
        writeContact("Family", "Bob", jpeg);
        FrmMain frm(m_platform);
        frm.cboRelationship->setCurrentIndex(0);
        const auto selecting = [&] {
            Samples samples;
            for (int i = 0; i < m_sizes.repeats * 5; ++i)
                samples.push_back(time([&] { frm.lstNames->setCurrentRow(i % 2); }));
            return samples;
        };
        const Samples measured = selecting();
        Samples floor;
        for (int i = 0; i < m_sizes.repeats * 5; ++i) {
            floor.push_back(time([&] {
                QStringList fields;
                for (const char *suffix : {"Birthday", "Address", "DrivingDirections", "NumbNotes", "Relation"})
                    RecordFile::readRecord(data(QStringLiteral("FamilyAnn") + suffix), 1, fields);
                RecordFile::readRecord(data("FamilyAnnNumbers"), 5, fields);
                RecordFile::readList(data("FamilyAnnDependantsList"), fields);
                QString path;
                RecordFile::readValue(data("FamilyAnnPic"), path);
                QImageReader(path).read();
            }));
        }
        row("select contact (200 KB JPEG)", measured, floor);
        frm.chkPic->setChecked(true);
        row("  with the picture window open", selecting(), floor);
    }

    // Selecting a category of n names, and adding a name to it.
    void category(int n, bool report)
    {
        QDir(Store::dataDir()).removeRecursively();
        Store::makeDataDir();
        writeList("RelationsList", {"Big", "Empty"});
        writeList("NamesListBig", namesList(n));
        FrmMain frm(m_platform);
        Samples select, selectFloor, add, addFloor;
        const int repeats = std::max(3, m_sizes.repeats / 2);
        for (int i = 0; i < repeats; ++i) {
            frm.cboRelationship->setCurrentIndex(1);
            select.push_back(time([&] { frm.cboRelationship->setCurrentIndex(0); }));
        }
        QListWidget list;
        for (int i = 0; i < repeats; ++i) {
            list.clear();
            selectFloor.push_back(time([&] {
                QStringList names;
                RecordFile::readList(data("NamesListBig"), names);
                list.addItems(names);
            }));
        }
        if (report && n == m_sizes.names)
            reportMemory();
        // Adding a name also makes the contact's eight files: those and the
        // list, written alone, in one group as the program writes them. Each
        // add is interleaved with its floors, so that all see the same disk.
        const QStringList grown = namesList(n + 1);
        Samples withContactFloor;
        for (int i = 0; i < repeats; ++i) {
            m_platform.inputs.enqueue(QStringLiteral("Added%1").arg(i, 4, 10, QLatin1Char('0')));
            add.push_back(time([&] { frm.cmdAddName->click(); }));
            addFloor.push_back(time([&] { RecordFile::rewriteList(data("FloorNames"), grown); }));
            const QString contact = QStringLiteral("FloorBig%1").arg(i);
            withContactFloor.push_back(time([&] {
                RecordFile::WriteGroup files;
                for (const QString &suffix : FileName::contactSuffixes) {
                    if (suffix == FileName::Numbers)
                        RecordFile::rewriteRecord(data(contact + suffix), {"", "", "", "", ""});
                    else if (suffix == FileName::DependantsList)
                        RecordFile::rewriteList(data(contact + suffix), {});
                    else if (suffix != FileName::Pic)
                        RecordFile::rewriteRecord(data(contact + suffix), {""});
                }
                RecordFile::rewriteList(data("FloorNames"), grown);
            }));
        }
        if (report) {
            row(qPrintable(QStringLiteral("select category (%1 names)").arg(n)), select, selectFloor);
            row(qPrintable(QStringLiteral("add name (%1 names)").arg(n)), add, addFloor);
            row("  against list + contact files", add, withContactFloor);
        } else {
            std::printf("| %6d names | select %9.3f us/entry | add %9.3f us/entry |\n", n,
                        1000.0 * percentile(select, 0.5) / n, 1000.0 * percentile(add, 0.5) / n);
        }
    }

    // Renaming a category, then removing it; the rename's floor is that removal.
    void removeCategory()
    {
        Samples measured, floor, renamed;
        const int repeats = std::max(2, m_sizes.repeats / 4);
        const QStringList names = namesList(m_sizes.contacts);
        for (int i = 0; i < repeats; ++i) {
            writeList("RelationsList", {"Family"});
            writeList("NamesListFamily", names);
            for (const QString &name : names)
                writeContact("Family", name, QStringLiteral("/pictures/") + name + ".jpg");
            FrmMain frm(m_platform);
            frm.cboRelationship->setCurrentIndex(0);
            m_platform.inputs.enqueue(QStringLiteral("Kin"));
            renamed.push_back(time([&] { frm.mnuRenameRelationship->trigger(); }));
            m_platform.answers.enqueue(true);
            measured.push_back(time([&] { frm.cmdRemoveRelationship->click(); }));
        }
        for (int i = 0; i < repeats; ++i) {
            for (const QString &name : names)
                writeContact("Family", name, QStringLiteral("/pictures/") + name + ".jpg");
            floor.push_back(time([&] {
                for (const QString &name : names)
                    for (const QString &suffix : FileName::contactSuffixes)
                        QFile::remove(data("Family" + name + suffix));
            }));
        }
        row(qPrintable(QStringLiteral("remove category (%1 contacts)").arg(m_sizes.contacts)), measured, floor);
        row(qPrintable(QStringLiteral("rename category (%1 contacts)").arg(m_sizes.contacts)), renamed, measured);
    }

    void startUp()
    {
        QDir(Store::dataDir()).removeRecursively();
        Store::makeDataDir();
        writeList("RelationsList", namesList(m_sizes.categories, QStringLiteral("Category")));
        for (const char *file : {"FormBackColor", "NameTitleColor", "FrameTitleColor", "DetailTitleColor",
                                 "TextBoxBackColor", "TextBoxTextColor", "MinorButtonsColor", "MainButtonsColor"})
            RecordFile::rewriteValue(data(file), qint64(255));
        // The floor window holds the same kinds of control, in the same
        // places and font, and the same menus, with none of the program's
        // own work.
        QList<std::pair<QByteArray, QRect>> controls;
        QList<std::pair<QString, QList<QAction *>>> menus;
        FrmMain model(m_platform);
        for (const QWidget *control : model.client->findChildren<QWidget *>()) {
            if (!control->objectName().isEmpty() && !control->objectName().startsWith(QLatin1String("qt_")))
                controls.append({control->metaObject()->className(), control->geometry()});
        }
        for (QAction *menu : model.menuBar()->actions())
            menus.append({menu->text(), menu->menu()->actions()});
        const auto floorWindow = [&] {
            QMainWindow window;
            window.setFont(Controls::windowFont());
            for (const auto &[title, actions] : menus) {
                QMenu *menu = window.menuBar()->addMenu(title);
                for (const QAction *action : actions) {
                    if (action->isSeparator())
                        menu->addSeparator();
                    else
                        menu->addAction(action->text())->setShortcut(action->shortcut());
                }
            }
            auto *client = new QWidget;
            window.setCentralWidget(client);
            client->setFixedSize(model.client->size());
            for (const auto &[kind, place] : controls)
                makeControl(kind, client)->setGeometry(place);
            showAndPaint(window, *client);
        };
        // Interleaved, so both see the same machine; start-up is short and
        // easily disturbed, so it is repeated more than the other cases.
        Samples measured, floor;
        for (int i = 0; i < m_sizes.repeats * 3; ++i) {
            measured.push_back(time([&] {
                FrmMain frm(m_platform);
                showAndPaint(frm, *frm.client);
            }));
            floor.push_back(time(floorWindow));
        }
        row(qPrintable(QStringLiteral("start-up (%1 categories)").arg(m_sizes.categories)), measured, floor);
    }

    // A category's contacts out as vCards from the data directory, and the
    // cards back into an empty one, every file and picture written. Floors:
    // reading the same files alone; the cards read and mapped alone.
    void vcard()
    {
        const int count = m_sizes.cards;
        const QStringList names = namesList(count);
        // A contact photo of the size phones keep, 96 x 96 pixels of noise.
        QImage thumbnail(96, 96, QImage::Format_RGB32);
        auto *random = QRandomGenerator::global();
        for (int y = 0; y < thumbnail.height(); ++y)
            for (int x = 0; x < thumbnail.width(); ++x)
                thumbnail.setPixel(x, y, qRgb(random->bounded(256), random->bounded(256), random->bounded(256)));
        const QString picture = m_images.filePath(QStringLiteral("thumbnail.jpg"));
        thumbnail.save(picture, "JPEG", 85);
        {
            // Tens of thousands of files, stored a group at a time as an import
            // stores them: a group holds each of its files open until it is synced.
            RecordFile::WriteGroup files;
            for (qsizetype i = 0; i < names.size(); ++i) {
                writeContact("Family", names[i], picture);
                if ((i + 1) % 512 == 0)
                    files.commit();
            }
        }
        RecordFile::rewriteList(data("RelationsList"), {"Family"});
        RecordFile::rewriteList(data("NamesListFamily"), names);
        QByteArray image;
        RecordFile::readBytes(picture, image);
        // Into an empty book made for the purpose, the program's data
        // directory taken as it takes it at start; the book is left as it was.
        const auto intoEmptyBook = [&](const char *pattern, const auto &work) {
            const QByteArray home = qgetenv("XDG_DATA_HOME");
            QTemporaryDir empty(m_home.filePath(QLatin1String(pattern)));
            qputenv("XDG_DATA_HOME", empty.path().toLocal8Bit());
            Store::makeDataDir();
            const double ms = time(work);
            qputenv("XDG_DATA_HOME", home);
            Store::makeDataDir();
            settleRemoved(empty);
            return ms;
        };
        // The floor of an import: the same files and pictures stored alone,
        // in groups and made in place as the import stores them.
        const auto storeAlone = [&] {
            const QString pictures = Store::picturesDir();
            QDir().mkpath(pictures);
            RecordFile::WriteGroup files;
            for (qsizetype i = 0; i < names.size(); ++i) {
                const QString stored = pictures + names[i] + QStringLiteral(".jpg");
                writeContact("Family", names[i], stored, RecordFile::FreshInPlace);
                RecordFile::rewriteBytes(stored, image, RecordFile::FreshInPlace);
                if ((i + 1) % 512 == 0)
                    files.commit();
            }
        };
        Samples out, outFloor, in, inFloor;
        QByteArray cards;
        for (int i = 0; i < std::max(3, m_sizes.repeats / 4); ++i) {
            out.push_back(time([&] {
                cards.clear();
                const VcardFiles::Outcome outcome = VcardFiles::exportCards(cards);
                if (!outcome.ok) qWarning("%s", qPrintable(outcome.message));
            }));
            outFloor.push_back(time([&] {
                QByteArray bytes;
                for (const QString &name : names) {
                    for (const QString &suffix : FileName::contactSuffixes)
                        RecordFile::readBytes(data("Family" + name + suffix), bytes);
                    RecordFile::readBytes(picture, bytes);
                }
            }));
            in.push_back(intoEmptyBook("../kinfolio-import-XXXXXX", [&] {
                QBuffer buffer(&cards);
                buffer.open(QIODevice::ReadOnly);
                const VcardFiles::Outcome outcome = VcardFiles::importCards(buffer);
                if (!outcome.failure.isEmpty()) qWarning("%s", qPrintable(outcome.failure));
            }));
            inFloor.push_back(time([&] { Vcard::importCards(cards); })
                              + intoEmptyBook("../kinfolio-alone-XXXXXX", storeAlone));
        }
        row(qPrintable(QStringLiteral("export %1 vCards").arg(count)), out, outFloor);
        row(qPrintable(QStringLiteral("import %1 vCards (%2 MB), into an empty book").arg(count).arg(cards.size() >> 20)),
            in, inFloor);

        // The whole import as a person runs it, the program started on the
        // file. Floor: the files stored alone, as above.
        const QString file = m_images.filePath(QStringLiteral("cards.vcf"));
        QFile saved(file);
        if (!saved.open(QIODevice::WriteOnly) || saved.write(cards) != cards.size())
            qWarning("%s cannot be written", qPrintable(file));
        saved.close();
        Samples command, commandFloor;
        // The child's own high-water mark, read while it runs: its rusage would count this
        // process's memory, which the child held between fork and exec.
        qlonglong peakKb = 0;
        for (int i = 0; i < 3; ++i) {
            QTemporaryDir empty(m_home.filePath(QStringLiteral("../kinfolio-command-XXXXXX")));
            QProcess program;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_DATA_HOME"), empty.path());
            program.setProcessEnvironment(environment);
            command.push_back(time([&] {
                program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/kinfolio"), {QStringLiteral("--import"), file});
                QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
                while (!program.waitForFinished(5)) {
                    if (status.open(QIODevice::ReadOnly)) {
                        const QByteArray text = status.readAll();
                        const qsizetype at = text.indexOf("VmHWM:");
                        peakKb = std::max(peakKb, text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLongLong());
                        status.close();
                    }
                }
            }));
            settleRemoved(empty);
            commandFloor.push_back(intoEmptyBook("../kinfolio-alone-XXXXXX", storeAlone));
        }
        row("  the same with kinfolio --import", command, commandFloor);
        std::printf("(peak memory of kinfolio --import: %.1f MB)\n", double(peakKb) / 1024.0);
        Samples exportCommand;
        for (int i = 0; i < 3; ++i) {
            QProcess program;
            exportCommand.push_back(time([&] {
                program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/kinfolio"), {QStringLiteral("--export"), file});
                program.waitForFinished(-1);
            }));
        }
        row("export with kinfolio --export", exportCommand, outFloor);
    }

    // Find over a book of many contacts in 20 categories, each contact with
    // every field filled in and names drawn from a few hundred, some accented.
    // Measured: the index read off the window's thread (and the longest the
    // window is held meanwhile), its memory beside the text it holds, and a
    // query per key typed, as a word is typed letter by letter, beside a
    // plain QString::contains over the same folded text.
    void find()
    {
        QDir(Store::dataDir()).removeRecursively();
        Store::makeDataDir();
        const QStringList first{"Ann", "Émile", "José", "Zoë", "Martin", "Sara", "Björn", "Chloé", "Ravi", "Mei",
                                "Tom", "Inés", "Oskar", "Lena", "Noah", "Ada", "Kofi", "Yuki", "Hugo", "Nora"};
        const QStringList last{"Lee", "Dupré", "García", "Müller", "Smith", "Okafor", "Nguyen", "Rossi", "Kowalski",
                               "Brown", "Novák", "Silva", "Haddad", "Jensen", "Tanaka", "Ó Briain"};
        auto *random = QRandomGenerator::global();
        QStringList categories;
        QHash<QString, QStringList> names;
        QStringList folded; // the floor's strings: each contact's text folded, as the index holds it
        qsizetype textBytes = 0;
        for (int i = 0; i < m_sizes.found; ++i) {
            const QString category = QStringLiteral("Group %1").arg(i % 20);
            const QString name = first[random->bounded(first.size())] + ' ' + last[random->bounded(last.size())]
                                 + QStringLiteral(" %1").arg(i);
            if (!names.contains(category))
                categories.append(category);
            names[category].append(name);
            const auto phone = [random] {
                return QStringLiteral("(%1) 555-%2").arg(random->bounded(200, 999)).arg(random->bounded(10000), 4, 10, QLatin1Char('0'));
            };
            const QHash<QString, QByteArray> files{
                {"Birthday", RecordFile::encodeRecord({QStringLiteral("%1 May 19%2").arg(1 + i % 28).arg(40 + i % 60)})},
                {"Relation", RecordFile::encodeRecord({i % 3 ? "cousin" : "neighbour"})},
                {"Address", RecordFile::encodeRecord({QStringLiteral("%1 Elm Street, Flat 2\nLeeds\nLS1 4AB").arg(i)})},
                {"DrivingDirections", RecordFile::encodeRecord({"M1 north, then the second left after the church"})},
                {"Numbers", RecordFile::encodeRecord({phone(), phone(), phone(), "", QStringLiteral("person%1@example.org").arg(i)})},
                {"NumbNotes", RecordFile::encodeRecord({"evenings only"})},
                {"DependantsList", RecordFile::encodeList({"Tom", "Tim", "Zoë"})}};
            QString text = name + '\n' + category;
            for (const auto &[suffix, bytes] : files.asKeyValueRange()) {
                QFile file(data(category + name + suffix));
                if (file.open(QIODevice::WriteOnly))
                    file.write(bytes);
                textBytes += bytes.size();
                QStringList values;
                RecordFile::Reader reader(bytes);
                for (QString value; reader.readField(value);)
                    values.append(value);
                text += '\n' + values.join('\n');
                // The index holds the numbers' digits alone too.
                for (qsizetype number = 0; suffix == "Numbers" && number < 4; ++number)
                    text += '\n' + QString(values.value(number)).remove(QRegularExpression(QStringLiteral("\\D")));
            }
            folded.append(QString::fromUtf8(FindIndex::fold(text)));
        }
        writeList("RelationsList", categories);
        for (const QString &category : categories)
            writeList("NamesList" + category, names[category]);

        FrmMain frm(m_platform);
        const auto inUse = [] {
            // Every arena's, the reading thread's among them.
            char *xml = nullptr;
            size_t size = 0;
            FILE *out = open_memstream(&xml, &size);
            malloc_info(0, out);
            std::fclose(out);
            const QByteArray info(xml, qsizetype(size));
            std::free(xml);
            const auto last = [&info](const char *tag) {
                const qsizetype at = info.lastIndexOf(tag);
                const qsizetype from = info.indexOf("size=\"", at) + 6;
                return info.mid(from, info.indexOf('"', from) - from).toLongLong();
            };
            return last("<system type=\"current\"") + last("<total type=\"mmap\"") - last("<total type=\"fast\"")
                   - last("<total type=\"rest\"");
        };
        const qint64 before = inUse();
        Samples built, held;
        QElapsedTimer building;
        building.start();
        auto index = std::make_unique<FindIndex>(frm.addressBook);
        double longest = 0;
        while (index->filling())
            longest = std::max(longest, time([] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }));
        built.push_back(double(building.nsecsElapsed()) / 1e6);
        held.push_back(longest);
        const qint64 memory = inUse() - before;
        row(qPrintable(QStringLiteral("find: index %1 contacts, off-thread").arg(index->contacts())), built, {});
        row("  longest the window was held", held, {});
        std::printf("(index: %.1f MB in use for %.1f MB of folded text; the contacts' files hold %.1f MB)\n",
                    double(memory) / 1e6, double(index->textBytes()) / 1e6, double(textBytes) / 1e6);

        const QStringList words{"martin", "dupree", "garcia", "leeds ", "cousin", "person", "muller", "church",
                                "555014", "example", "okafor", "jensen", "neighb", "tanaka", "evenin", "chloe "};
        const qsizetype typed[] = {1, 2, 3, 6};
        for (const qsizetype length : typed) {
            Samples measured, floor;
            for (int repeat = 0; repeat < 3; ++repeat) {
                for (const QString &word : words) {
                    const QString query = word.left(length);
                    measured.push_back(cpuTime([&] { index->search(query); }));
                    const QString needle = QString::fromUtf8(FindIndex::fold(query));
                    floor.push_back(cpuTime([&] {
                        qsizetype hits = 0;
                        for (const QString &text : folded)
                            hits += text.contains(needle);
                        return hits;
                    }));
                }
            }
            row(qPrintable(QStringLiteral("  query of %1 letters").arg(length)), measured, floor);
            std::printf("  (worst %.3f ms, floor worst %.3f ms)\n", percentile(measured, 1), percentile(floor, 1));
        }
        Samples digits, digitsFloor;
        for (int repeat = 0; repeat < 16; ++repeat) {
            const QString query = QString::number(5550000 + random->bounded(10000));
            digits.push_back(cpuTime([&] { index->search(query); }));
            digitsFloor.push_back(cpuTime([&] {
                qsizetype hits = 0;
                for (const QString &text : folded)
                    hits += text.contains(query);
                return hits;
            }));
        }
        row("  a number's 7 digits", digits, digitsFloor);
        std::printf("  (worst %.3f ms, floor worst %.3f ms)\n", percentile(digits, 1), percentile(digitsFloor, 1));

        // Through the window: a key typed into its search box, the list shown again.
        index.reset();
        frm.mnuFind_Click();
        while (frm.frmFind()->index().filling())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        Samples keys;
        for (const QString &word : words) {
            frm.frmFind()->txtFind->clear();
            for (const QChar c : word)
                keys.push_back(cpuTime([&] { QTest::keyClick(frm.frmFind()->txtFind, c.toLatin1()); }));
        }
        row("  a key in the Find box, list shown", keys, {});
        std::printf("  (worst %.3f ms)\n", percentile(keys, 1));
    }

    void scaling()
    {
        std::printf("\nScaling (median time per entry; flat means no quadratic step):\n");
        for (const int n : m_sizes.scaling)
            category(n, false);
    }

    // Another program (a sync tool catching up) writes a burst of contact files, then the names list of the
    // category shown with one name more. Measured: the longest the window's event loop is held at a time, from the
    // first file to the new name shown (the largest category shown), in the window thread's own CPU time, as the
    // floor: that list read and put into a list widget, once. The longest in wall-clock time, which counts waiting
    // for a core on a busy machine, is printed after.
    void outsideBurst()
    {
        QDir(Store::dataDir()).removeRecursively();
        Store::makeDataDir();
        const int n = m_sizes.names;
        writeList("RelationsList", {"Big"});
        writeList("NamesListBig", namesList(n));
        FrmMain frm(m_platform);
        frm.cboRelationship->setCurrentIndex(0);
        frm.lstNames->setCurrentRow(0);
        Samples held, floor;
        double longestWall = 0;
        const int repeats = 3;
        for (int i = 0; i < repeats; ++i) {
            const QStringList names = namesList(n + i + 1);
            std::thread other([&] {
                for (int file = 0; file < m_sizes.burst; ++file) {
                    QFile contact(data(QStringLiteral("BigOther%1%2Birthday").arg(i).arg(file)));
                    if (contact.open(QIODevice::WriteOnly))
                        contact.write("\"\"\r\n");
                }
                QFile list(data("NamesListBig"));
                if (list.open(QIODevice::WriteOnly))
                    list.write(RecordFile::encodeList(names));
            });
            double longest = 0;
            while (frm.lstNames->count() != names.size()) {
                double wall = 0;
                longest = std::max(longest, cpuTime([&] { wall = time([] { QCoreApplication::processEvents(); }); }));
                longestWall = std::max(longestWall, wall);
            }
            other.join();
            held.push_back(longest);
            QListWidget list;
            floor.push_back(cpuTime([&] {
                QStringList read;
                RecordFile::readList(data("NamesListBig"), read);
                list.addItems(read);
            }));
        }
        row(qPrintable(QStringLiteral("outside burst (%1 files)").arg(m_sizes.burst)), held, floor);
        std::printf("  (longest in wall-clock time %.3f ms)\n", longestWall);
    }

    // Against Radicale on loopback: the first sync of an address book of
    // cards (put into Radicale's folder directly, which sending would take
    // minutes a thousand) into an empty book, then a sync with nothing
    // changed (its requests counted in the server's log), an edit's way to
    // the server with the window's 3 s wait, and the book's first sync to an
    // empty address book (unless --no-send), each beside the same requests
    // made alone by a bare client. Memory: the peak after each size.
    void sync(bool send)
    {
        QString why;
        const std::unique_ptr<Server> server = startServer(QStringLiteral("radicale"), false, why);
        if (!server) {
            std::printf("(sync not run: %s)\n", qPrintable(why));
            return;
        }
        const auto collection = [&](const QString &name) {
            QDir().mkpath(server->dir.filePath("collection-root/ann/" + name));
            QFile props(server->dir.filePath("collection-root/ann/" + name + "/.Radicale.props"));
            if (props.open(QIODevice::WriteOnly))
                props.write(R"({"tag": "VADDRESSBOOK"})");
            return server->root.resolved(QUrl("/ann/" + name + '/'));
        };
        const auto requests = [&] {
            QFile log(server->dir.filePath("log"));
            return log.open(QIODevice::ReadOnly) ? log.readAll().count(" request for '") : 0;
        };
        CardDav::Client client;
        client.setCredentials(server->user, server->password);
        QNetworkAccessManager bare;
        const auto ask = [&](const QByteArray &verb, const QUrl &url, const QByteArray &body, const QByteArray &header,
                             const QByteArray &value) {
            QNetworkRequest request(url);
            request.setRawHeader("Authorization", "Basic " + QByteArray("ann:secret").toBase64());
            request.setRawHeader(header, value);
            request.setHeader(QNetworkRequest::ContentTypeHeader, verb == "PUT" ? "text/vcard" : "application/xml");
            QNetworkReply *reply = bare.sendCustomRequest(request, verb, body);
            while (!reply->isFinished())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            const QByteArray answer = reply->readAll();
            reply->deleteLater();
            return answer;
        };
        const QByteArray namespaces = R"(<?xml version="1.0" encoding="utf-8"?>)";
        const auto fresh = [] {
            RecordFile::flush();
            for (const char *folder : {"../Synced", "../Sync", "../Cards", ""}) // the data directory last: the others are named through it
                QDir(data(folder)).removeRecursively();
            Store::makeDataDir();
        };
        for (const int n : m_sizes.synced) {
            // The cards there: a contact with every file filled in, as this program writes it, under n names.
            fresh();
            writeContact("Family", QStringLiteral("Template"), {});
            const QByteArray model = Vcard::exportContact(Vcard::readContact("Family", QStringLiteral("Template")));
            const QStringList names = namesList(n);
            const QUrl received = collection(QStringLiteral("received%1").arg(n));
            QStringList hrefs;
            for (int i = 0; i < n; ++i) {
                const QString uid = QStringLiteral("seed-%1").arg(i);
                QFile card(server->dir.filePath("collection-root/ann/received" + QString::number(n) + '/' + uid + ".vcf"));
                if (card.open(QIODevice::WriteOnly))
                    card.write(QByteArray(model).replace("Template", names[i].toUtf8()).replace("VERSION:4.0\r\n", "VERSION:4.0\r\nUID:" + uid.toUtf8() + "\r\n"));
                hrefs.append(received.path() + uid + ".vcf");
            }
            // The floor: the same requests alone, after the sync: the listing, and multigets of
            // 200 cards, two asked at once, as the client asks them. The listing first once, to
            // have Radicale read its folder.
            const auto list = [&] {
                ask("REPORT", received,
                    namespaces + R"(<d:sync-collection xmlns:d="DAV:"><d:sync-token/><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>)",
                    "Depth", "0");
            };
            const auto listed = [&] {
                return time([&] {
                    list();
                    qsizetype next = 0;
                    int running = 0;
                    const auto multiget = [&](const auto &again) -> void {
                        QByteArray body = namespaces + R"(<c:addressbook-multiget xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:carddav"><d:prop><d:getetag/><c:address-data/></d:prop>)";
                        for (const QString &href : hrefs.mid(next, 200))
                            body += "<d:href>" + href.toUtf8() + "</d:href>";
                        next += 200, ++running;
                        QNetworkRequest request(received);
                        request.setRawHeader("Authorization", "Basic " + QByteArray("ann:secret").toBase64());
                        request.setRawHeader("Depth", "1");
                        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/xml");
                        QNetworkReply *reply = bare.sendCustomRequest(request, "REPORT", body + "</c:addressbook-multiget>");
                        QObject::connect(reply, &QNetworkReply::finished, reply, [&, reply, again] {
                            reply->readAll();
                            reply->deleteLater();
                            --running;
                            if (next < hrefs.size())
                                again(again);
                        });
                    };
                    for (int i = 0; i < 2 && next < hrefs.size(); ++i)
                        multiget(multiget);
                    while (running > 0)
                        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                });
            };
            list();
            fresh();
            AddressBook book;
            book.load();
            Sync::Settings settings{received, server->user, {QStringLiteral("3.0")}, true, {}};
            Sync::Known known;
            Sync::Summary summary;
            const auto once = [&](Sync::Known &known) {
                bool ended = false;
                Sync::Run run(book, client, settings, &known);
                run.start([&](const Sync::Summary &s) { summary = s, ended = true; });
                while (!ended)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            };
            const QString label = QStringLiteral(" (%1 contacts)").arg(n);
            const double receiving = time([&] { once(known); });
            if (summary.received != n)
                std::printf("(the first sync received %d of %d: %s %s)\n", summary.received, n, qPrintable(summary.error),
                            qPrintable(summary.details.join(u' ').left(300)));
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            row(qPrintable("sync: first, received" + label), {receiving}, {listed()});
            std::printf("(peak memory after receiving %d contacts: %.1f MB)\n", n, double(usage.ru_maxrss) / 1024.0);

            // Interleaved with its floor, the same REPORT alone, so both meet the server alike.
            Samples unchanged, report;
            qsizetype asked = 0;
            for (int i = 0; i < 5; ++i) {
                const qsizetype before = requests();
                unchanged.push_back(time([&] { once(known); }));
                asked = requests() - before;
                QFile token(data("../Sync/Token"));
                const QByteArray tokenBytes = token.open(QIODevice::ReadOnly) ? token.readAll() : QByteArray();
                report.push_back(time([&] {
                    ask("REPORT", settings.book,
                        namespaces + R"(<d:sync-collection xmlns:d="DAV:"><d:sync-token>)" + tokenBytes
                            + R"(</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>)",
                        "Depth", "0");
                }));
            }
            row(qPrintable("sync: nothing changed" + label), unchanged, report);
            std::printf("(%lld request(s); ", qlonglong(asked));
            Sync::Known anew;
            std::printf("the first sync of a process, every file's signature compared: %.1f ms)\n", time([&] { once(anew); }));

            // An edit through the book, noted as the window notes it, synced 3 s later as the window does.
            book.openContact("Family", names.first());
            QElapsedTimer edited;
            edited.start();
            book.setField(FileName::Numbers, 1, QStringLiteral("07700 900999"));
            known.noteContact("Family", names.first());
            QTest::qWait(3000);
            once(known);
            std::printf("(an edit was on the server %.0f ms after it was made, the window's 3 s wait included; sent %d)\n",
                        double(edited.nsecsElapsed()) / 1e6, summary.sent);
            if (!send)
                continue;

            // The book, as received, to an empty address book; the floor: the same PUTs alone, of the cards as they went.
            RecordFile::flush();
            for (const char *folder : {"../Synced", "../Sync"})
                QDir(data(folder)).removeRecursively();
            settings.book = collection(QStringLiteral("sent%1").arg(n));
            Sync::Known none;
            const double sent = time([&] { once(none); });
            if (summary.sent != n)
                std::printf("(the first sync sent %d of %d: %s)\n", summary.sent, n, qPrintable(summary.error));
            QHash<QString, QByteArray> cards;
            hrefs.clear();
            for (const QString &name : names)
                hrefs.append(settings.book.path() + KeptCards::read("Family", name).first("UID")->text() + ".vcf");
            bool fetched = false;
            client.fetch(settings.book, hrefs, [&](const CardDav::Entry &entry, const QByteArray &card) { cards.insert(entry.href, card); },
                         [&](const CardDav::Outcome &) { fetched = true; });
            while (!fetched)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            const QUrl floorBook = collection(QStringLiteral("floor%1").arg(n));
            const double put = time([&] {
                for (auto it = cards.cbegin(); it != cards.cend(); ++it)
                    ask("PUT", floorBook.resolved(QUrl(floorBook.path() + it.key().section(u'/', -1))), *it, "If-None-Match", "*");
            });
            row(qPrintable("sync: first, sent" + label), {sent}, {put});
        }
    }

private:
    // A book of tens of thousands of files deleted, and the deletion on the
    // disk, so that the next case's first sync does not pay for it.
    static void settleRemoved(QTemporaryDir &dir)
    {
        dir.remove();
        ::sync();
    }

    // Shows a window and returns once its client area has been painted.
    static void showAndPaint(QWidget &window, QWidget &client)
    {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            std::printf("(a window was not exposed in time)\n");
        client.repaint();
    }

    static QWidget *makeControl(const QByteArray &kind, QWidget *parent)
    {
        if (kind == "QGroupBox")
            return new QGroupBox(QStringLiteral("Frame"), parent);
        if (kind == "QLabel")
            return new QLabel(QStringLiteral("Label:"), parent);
        if (kind == "QComboBox")
            return new QComboBox(parent);
        if (kind == "QListWidget")
            return new QListWidget(parent);
        if (kind == "QLineEdit")
            return new QLineEdit(parent);
        if (kind == "MultiLineBox" || kind == "QPlainTextEdit")
            return new QPlainTextEdit(parent);
        if (kind == "QCheckBox")
            return new QCheckBox(QStringLiteral("Check"), parent);
        return new QPushButton(QStringLiteral("Button"), parent);
    }

    static void reportMemory()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("(peak memory with the largest category shown: %.1f MB)\n", double(usage.ru_maxrss) / 1024.0);
    }

    Sizes m_sizes;
    // KINFOLIO_BENCH_DIR puts the data elsewhere, for instance on a tmpfs to
    // see the program's own cost without the disk's.
    QTemporaryDir m_home{qEnvironmentVariable("KINFOLIO_BENCH_DIR", QDir::tempPath()) + QStringLiteral("/kinfolio-XXXXXX")};
    QTemporaryDir m_images;
    ScriptedPlatform m_platform;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication app(argc, argv);

    Sizes sizes;
    if (QCoreApplication::arguments().contains(QStringLiteral("--small")))
        sizes = Sizes{50, 2000, 50, 50, 3, {500, 1000, 2000}, 100, 30, 500, 500, {20}};

    // The slowed-sync case runs in a copy of the bench with the fault shim
    // preloaded, which prints its rows into this table.
    if (qEnvironmentVariableIsSet("KINFOLIO_BENCH_SLOW_DISK")) {
        Bench(sizes).slowSync({30, 100});
        return 0;
    }

    std::printf("All times in ms. Floor: the same file or widget work alone, in the same run.\n\n");
    std::printf("| %-34s | %10s | %10s | %10s | %7s |\n", "case", "median", "p99", "floor", "ratio");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(12, '-').c_str(),
                std::string(12, '-').c_str(), std::string(12, '-').c_str(), std::string(9, '-').c_str());
    // Naming cases on the command line runs only those.
    QStringList only = QCoreApplication::arguments().mid(1);
    only.removeAll(QStringLiteral("--small"));
    // --synced=N: the sync case at that one size; --no-send: without its sending side, which takes minutes a thousand.
    const bool send = !only.removeAll(QStringLiteral("--no-send"));
    for (const QString &argument : std::exchange(only, {})) {
        if (argument.startsWith(QLatin1String("--synced=")))
            sizes.synced = {argument.sliced(9).toInt()};
        else
            only.append(argument);
    }
    const auto wanted = [&only](const char *name) { return only.isEmpty() || only.contains(QLatin1String(name)); };
    if (wanted("keystroke"))
        Bench(sizes).keystroke();
    if (wanted("slowsync")) {
        QProcess slowDisk;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KINFOLIO_FAULTSHIM));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
        environment.insert(QStringLiteral("KINFOLIO_BENCH_SLOW_DISK"), QStringLiteral("1"));
        slowDisk.setProcessEnvironment(environment);
        slowDisk.setProcessChannelMode(QProcess::ForwardedChannels);
        std::fflush(stdout);
        slowDisk.start(QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1));
        slowDisk.waitForFinished(-1);
    }
    if (wanted("contact"))
        Bench(sizes).selectContact();
    if (wanted("category"))
        Bench(sizes).category(sizes.names, true);
    if (wanted("outside"))
        Bench(sizes).outsideBurst();
    if (wanted("remove"))
        Bench(sizes).removeCategory();
    if (wanted("startup"))
        Bench(sizes).startUp();
    if (wanted("vcard"))
        Bench(sizes).vcard();
    if (wanted("scaling"))
        Bench(sizes).scaling();
    if (wanted("find"))
        Bench(sizes).find();
    if (wanted("sync"))
        Bench(sizes).sync(send);
    return 0;
}
