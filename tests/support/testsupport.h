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

#include <functional>
#include <memory>

using Files = QMap<QString, QByteArray>; // data files, name to content
using Shown = ScriptedPlatform::Shown;

// Writes the files into dir (ending in '/'); a name ending in '/' puts a directory in that file's place.
[[nodiscard]] bool putFiles(const QString &dir, const Files &files);
// Every file of a directory, once the saves under way are stored (or as they are).
Files filesIn(const QString &dataDir, bool storedFirst = true);
// The files written (+) or deleted (-) between two states of a directory, in name order; a contact's every field
// file is one entry, its name and '*'.
QStringList changedFiles(const Files &before, const Files &now);
// The bytes of a list file holding these entries.
QByteArray listBytes(const QStringList &entries);
// Every file of one contact, each stored as a hand edit or the Windows program
// may leave it (LF or CR ends, none at the end, spaces, no quotes), so any
// rewrite of a file nobody changed shows.
Files contactFiles(const QString &category, const QString &name);
// A book of two categories: Big of 1,000 contacts (8,000 files) and Small of one, Ann.
Files bigCategoryBook();
// count cards, Person N in Group N % 7 with home number N, one in ten with a photo.
QByteArray generatedCards(int count);
// What is wrong with the book in a data directory, a line each: a list that cannot be read, a listed contact
// without one of its files and, unless unlistedAllowed (a crash leaves those of an add), a file no list names.
// listed counts the contacts listed.
QStringList bookFaults(const QString &dataDir, bool unlistedAllowed, qsizetype *listed = nullptr);
// Runs a program to its end (ten minutes at most), given input, with these variables set, or unset where empty: its
// exit code ("not ended" where it did not), standard output and standard error, trimmed.
QStringList runProgram(const QString &program, const QStringList &arguments, const QMap<QString, QString> &variables = {},
                       const QByteArray &input = {});
// Types text at the end of a box, as after a click behind its text.
void typeAtEnd(QWidget *box, const QString &text);
// Lists out of order and in mixed case. Family: Ann, Anna and Zoë with
// contactFiles(), Bo with none; Friend: Bob; Friends: Carl; Fam: no names
// file; work: an empty one. Prefixes (Fam + ilyAnn names Family + Ann's files) on purpose.
Files standardBook();

// What the user sees of windows and their controls, a line each: name, class,
// geometry, accessible name and labels, font, the window, text, box, box text,
// button and button text colours, whether disabled; then the menus' items.
QString describe(const QList<QWidget *> &windows);
// The text of tests/data/<name>. What the test saw is written to <name> in the current directory, to compare or to
// copy over after a deliberate change.
QString storedText(const QString &name, const QString &seen);

// One test's own data directory, a scripted user and the real main window.
class Fixture
{
public:
    Fixture() { qputenv("XDG_DATA_HOME", home.path().toLocal8Bit()); }

    // The data directory's path, with a trailing '/'.
    QString dataDir() const { return home.path() + QStringLiteral("/Kinfolio/Data/"); }
    [[nodiscard]] bool put(const Files &files) const { return putFiles(dataDir(), files); }
    [[nodiscard]] bool putStandardBook() const { return put(standardBook()); }
    Files files(bool storedFirst = true) const { return filesIn(dataDir(), storedFirst); }
    QByteArray file(const QString &name) const { return files().value(name); }

    FrmMain &start() { return *(m_window = std::make_unique<FrmMain>(platform)); }
    // Starts and picks the category and, if given, the name.
    [[nodiscard]] bool startOn(const QString &category, const QString &name = {});
    FrmMain &window() { return *m_window; }
    // Shows the window and makes it active, so keys reach it as a user's do.
    [[nodiscard]] bool showActive();
    // The user picks a category / a name, as with the mouse.
    [[nodiscard]] bool pickCategory(const QString &category);
    [[nodiscard]] bool pickName(const QString &name);

    // The ten detail boxes' texts, in the order the report prints them.
    QStringList texts() const;
    // "category/name | names on|off | details on|off | empty|filled | contact name label".
    QString state() const;
    // What act did, a line each: the dialogs shown (since the start, which may have something to say), state() and the three lists (the chosen entry in brackets)
    // where they changed, and changedFiles() once stored; the data directory written <dir>.
    QStringList after(const std::function<void()> &act);

    ScriptedPlatform platform;
    QTemporaryDir home;

private:
    std::unique_ptr<FrmMain> m_window;
};

// Every case starts from a fresh Fixture and must have answered every dialog it caused.
class FixtureTest : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<Fixture> f;

private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup();
};
