#pragma once

// Everything a window test reaches: the windows, their controls' classes and Qt Test.
#include "app/frmmain.h"
#include "colors/frmcolors.h"
#include "picture/frmpic.h"
#include "platform/scriptedplatform.h"
#include "store/recordfile.h"
#include "view/contactfields.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Data files, name to content.
using Files = QMap<QString, QByteArray>;
using Shown = ScriptedPlatform::Shown;

// Every file of a directory, once the saves under way are stored (or as they are).
Files filesIn(const QString &dataDir, bool storedFirst = true);

// The bytes of a list file holding these entries.
QByteArray listBytes(const QStringList &entries);

// Every file of one contact, something in each: a comma, an apostrophe, line
// breaks and an empty line among the values, the dependants out of order, and
// the name in the relation, the e-mail address and the picture's path. Each
// file is stored as a hand edit or the Windows program may leave it (LF or CR
// line ends, none at the end, spaces, no quotes), not as the program writes
// it, so any rewrite of a file nobody changed shows.
Files contactFiles(const QString &category, const QString &name);

// What an add shows: its input box, then the message refusing it, if any.
QList<Shown> askedFor(const QString &prompt, const QString &title, const QString &message);

// Types text at the end of a box, as a person does after clicking behind
// what it shows.
void typeAtEnd(QWidget *box, const QString &text);

// The book most tests start from. Lists are stored out of order and in mixed
// case, so every list shown must be sorted. Family holds Ann, Anna and Zoë,
// with contactFiles(), and Bo, with no files; Friend holds Bob and Friends
// Carl; Fam has no names file and work an empty one. Categories and names that
// are prefixes of others, and Fam + ilyAnn naming Family + Ann's files, are
// there on purpose.
Files standardBook();

// One test's own data directory, a scripted user and the real main window.
// What can fail returns whether it worked, for the test to verify.
class Fixture
{
public:
    Fixture() { qputenv("XDG_DATA_HOME", home.path().toLocal8Bit()); }

    // The data directory's path, with a trailing '/'.
    QString dataDir() const { return home.path() + QStringLiteral("/Kinfolio/Data/"); }
    // Puts files into the data directory before or while the window runs.
    [[nodiscard]] bool put(const Files &files) const;
    [[nodiscard]] bool putStandardBook() const { return put(standardBook()); }
    // Puts a file where the data directory is: nothing can be stored there,
    // not even by making the directory again.
    [[nodiscard]] bool blockDataDir() const;
    // Every file of the data directory, once the saves under way are stored (or as they are).
    Files files(bool storedFirst = true) const;
    QByteArray file(const QString &name) const { return files().value(name); }

    // Starts the main window (runs its start-up).
    FrmMain &start() { return *(m_window = std::make_unique<FrmMain>(platform)); }
    // Starts it and picks the category and, if given, the name.
    [[nodiscard]] bool startOn(const QString &category, const QString &name = {});
    FrmMain &window() { return *m_window; }

    // The user picks a category / a name, as with the mouse.
    [[nodiscard]] bool pickCategory(const QString &category);
    [[nodiscard]] bool pickName(const QString &name);

    // The ten detail boxes' texts, in the order the report prints them.
    QStringList texts() const;
    // What the user sees of the selection, in one line:
    // "category/name | names on|off | details on|off | empty|filled | contact name label".
    QString state() const;

    ScriptedPlatform platform;
    QTemporaryDir home;

private:
    std::unique_ptr<FrmMain> m_window;
};

// A test class whose every case starts from a fresh Fixture and must have
// answered every dialog it caused.
class FixtureTest : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<Fixture> f;

private slots:
    void init();
    void cleanup();
};
