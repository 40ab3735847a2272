#pragma once

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

// Writes the files into dir (ending in '/'); a name ending in '/' puts a directory there.
[[nodiscard]] bool putFiles(const QString &dir, const Files &files);
Files filesIn(const QString &dataDir, bool storedFirst = true);
// The files written (+) or deleted (-), in name order; all of a contact's field files are one entry, name and '*'.
QStringList changedFiles(const Files &before, const Files &now);
QByteArray listBytes(const QStringList &entries);
// Every file of one contact, each as a hand edit or the Windows program may leave it, so a needless rewrite shows.
Files contactFiles(const QString &category, const QString &name);
// A book of two categories: Big of 1,000 contacts (8,000 files) and Small of one, Ann.
Files bigCategoryBook();
// Person N in Group N % 7 with home number N, one in ten with a photo.
QByteArray generatedCards(int count);
// What is wrong with the book: a list unreadable, a listed contact without a file and, unless allowed (an add cut
// short leaves them), a file no list names. listed: the contacts listed, "category/name".
QStringList bookFaults(const QString &dataDir, bool unlistedAllowed, QStringList *listed = nullptr);
// Runs a program to its end, with these variables (unset where empty): exit code or "not ended", output, errors.
QStringList runProgram(const QString &program, const QStringList &arguments, const QMap<QString, QString> &variables = {},
                       const QByteArray &input = {});
void typeAtEnd(QWidget *box, const QString &text);
// Family: Ann, Anna and Zoë with contactFiles(), Bo with none; Friend: Bob; Friends: Carl; Fam: no names file; work:
// empty. Out of order, in mixed case, with prefixes (Fam + ilyAnn names Family + Ann's files) on purpose.
Files standardBook();

// What the user sees of windows' controls, a line each, then the menus' items.
QString describe(const QList<QWidget *> &windows);
// The text of tests/data/<name>; what the test saw is written to <name> here, to copy over after a deliberate change.
QString storedText(const QString &name, const QString &seen);

class Fixture
{
public:
    Fixture() { qputenv("XDG_DATA_HOME", home.path().toLocal8Bit()); }

    QString dataDir() const { return home.path() + QStringLiteral("/Kinfolio/Data/"); }
    [[nodiscard]] bool put(const Files &files) const { return putFiles(dataDir(), files); }
    [[nodiscard]] bool putStandardBook() const { return put(standardBook()); }
    Files files(bool storedFirst = true) const { return filesIn(dataDir(), storedFirst); }
    QByteArray file(const QString &name) const { return files().value(name); }

    FrmMain &start() { return *(m_window = std::make_unique<FrmMain>(platform)); }
    [[nodiscard]] bool startOn(const QString &category, const QString &name = {});
    FrmMain &window() { return *m_window; }
    // Shows the window and makes it active, so keys reach it.
    [[nodiscard]] bool showActive();
    [[nodiscard]] bool pickCategory(const QString &category);
    [[nodiscard]] bool pickName(const QString &name);

    // The ten detail boxes' texts, in the order the report prints them.
    QStringList texts() const;
    // "category/name | names on|off | details on|off | empty|filled | contact name label".
    QString state() const;
    // What act did, a line each: the dialogs shown, state() and the lists (chosen in brackets) where changed, changedFiles().
    QStringList after(const std::function<void()> &act);

    ScriptedPlatform platform;
    QTemporaryDir home;

private:
    std::unique_ptr<FrmMain> m_window;
};

// Every case has a fresh Fixture and must answer every dialog it causes.
class FixtureTest : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<Fixture> f;

private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup();
};
