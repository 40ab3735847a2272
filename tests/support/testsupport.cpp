#include "support/testsupport.h"

#include "store/paths.h"

#include <QAccessible>
#include <QAction>
#include <QProcess>

bool putFiles(const QString &dir, const Files &files)
{
    QDir().mkpath(dir);
    for (const auto &[name, bytes] : files.asKeyValueRange()) {
        QFile file(dir + name);
        if (name.endsWith('/') ? !QFile::remove(dir + name.chopped(1)) || !QDir().mkdir(file.fileName())
                               : !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

Files filesIn(const QString &dataDir, bool storedFirst)
{
    if (storedFirst)
        RecordFile::flush();
    Files result;
    const QDir dir(dataDir);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            result.insert(name, file.readAll());
    }
    return result;
}

Files bigCategoryBook()
{
    QStringList names;
    Files book = contactFiles("Small", "Ann");
    for (int i = 0; i < 1000; ++i)
        book.insert(contactFiles("Big", names.emplace_back(QString("Name %1").arg(i))));
    book.insert({{"RelationsList", listBytes({"Big", "Small"})}, {"NamesListSmall", listBytes({"Ann"})},
                 {"NamesListBig", listBytes(names)}});
    return book;
}

QByteArray generatedCards(int count)
{
    QByteArray cards;
    for (int i = 0; i < count; ++i)
        cards += QString("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Person %1\r\nCATEGORIES:Group %2\r\nTEL;TYPE=home:%1\r\n%3"
                         "END:VCARD\r\n").arg(i).arg(i % 7).arg(i % 10 ? "" : "PHOTO:data:image/png;base64,iVBORw0KGgo=\r\n")
                     .toUtf8();
    return cards;
}

QStringList bookFaults(const QString &dataDir, bool unlistedAllowed, QStringList *listed)
{
    QStringList faults, categories;
    const auto read = [&](const QString &list, QStringList &entries) {
        if (!RecordFile::readList(dataDir + list, entries) && QFile::exists(dataDir + list))
            faults.append(list + " cannot be read");
    };
    read("RelationsList", categories);
    QSet<QString> named{"RelationsList"};
    if (listed)
        listed->clear();
    for (const QString &category : categories) {
        QStringList names;
        read("NamesList" + category, names);
        named.insert("NamesList" + category);
        for (const QString &name : names) {
            if (listed)
                listed->append(category + '/' + name);
            for (const QString &suffix : ContactFields::files())
                if (!QFile::exists(dataDir + category + name + suffix))
                    faults.append(category + '/' + name + " without " + suffix);
            for (const QString &suffix : FileName::contactSuffixes)
                named.insert(category + name + suffix);
        }
    }
    for (const QString &file : unlistedAllowed ? QStringList() : QDir(dataDir).entryList(QDir::Files))
        if (!named.contains(file))
            faults.append(file + " is named by no list");
    return faults;
}

QStringList changedFiles(const Files &before, const Files &now)
{
    QStringList changed;
    Files both = before;
    both.insert(now);
    for (const QString &name : both.keys())
        if (!now.contains(name) || before.value(name, "-") != now[name])
            changed << (now.contains(name) ? '+' : '-') + name;
    const QStringList fields = ContactFields::files();
    for (const QString &entry : QStringList(changed))
        if (entry.endsWith(FileName::Address)) {
            const QString contact = entry.chopped(FileName::Address.size());
            if (std::all_of(fields.cbegin(), fields.cend(), [&](const QString &suffix) { return changed.contains(contact + suffix); })) {
                for (const QString &suffix : fields)
                    changed.removeOne(contact + suffix);
                changed << contact + '*';
            }
        }
    std::sort(changed.begin(), changed.end(), [](const QString &a, const QString &b) { return a.mid(1) < b.mid(1); });
    return changed;
}

bool Fixture::startOn(const QString &category, const QString &name)
{
    start();
    return pickCategory(category) && (name.isEmpty() || pickName(name));
}

bool Fixture::showActive()
{
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    return QTest::qWaitForWindowActive(m_window.get());
}

bool Fixture::pickCategory(const QString &category)
{
    m_window->cboRelationship->setCurrentIndex(m_window->cboRelationship->findText(category));
    return m_window->cboRelationship->currentText() == category;
}

bool Fixture::pickName(const QString &name)
{
    for (QListWidgetItem *item : m_window->lstNames->findItems(name, Qt::MatchExactly))
        m_window->lstNames->setCurrentItem(item);
    return m_window->currentName() == name;
}

QStringList Fixture::texts() const
{
    QStringList texts;
    for (const ContactField &field : contactFields)
        texts += field.isList() ? QStringList() : ContactFields::values(*m_window, field);
    return texts;
}

QString Fixture::state() const
{
    const FrmMain &w = *m_window;
    const auto enabled = [](const QWidgetList &controls) {
        const auto on = std::count_if(controls.cbegin(), controls.cend(), [](QWidget *c) { return c->isEnabled(); });
        return on == controls.size() ? "on" : on == 0 ? "off" : "mixed";
    };
    const bool empty = texts().join(QString()).isEmpty() && w.lstChildren->count() == 0;
    return w.currentCategory() + '/' + w.currentName() + " | names " + enabled({w.lstNames, w.cmdAddName, w.cmdRemoveName})
           + " | details " + enabled(w.book.detailControls()) + (empty ? " | empty | " : " | filled | ") + w.lblName->text();
}

QStringList Fixture::after(const std::function<void()> &act)
{
    const auto shown = [this] {
        const auto list = [](const char *name, QStringList entries, int chosen) {
            if (chosen >= 0 && chosen < entries.size())
                entries[chosen] = '[' + entries[chosen] + ']';
            return name + (entries.isEmpty() ? QString() : ' ' + entries.join(", "));
        };
        const FrmMain &w = *m_window;
        return QStringList{state(), list("categories:", Controls::entries(w.cboRelationship), w.cboRelationship->currentIndex()),
                           list("names:", Controls::entries(w.lstNames), w.lstNames->currentRow()),
                           list("dependants:", Controls::entries(w.lstChildren), w.lstChildren->currentRow())};
    };
    const Files before = files(false); // a save still pending shows as the act's
    const QStringList was = shown();
    act();
    QStringList lines;
    for (const Shown &dialog : platform.shown) {
        static const char *const kinds[] = {"message", "question", "input", "colour chooser", "file chooser", "notice"};
        lines << QStringLiteral("%1: %2 [%3]").arg(kinds[dialog.kind], dialog.prompt, dialog.title).replace(dataDir(), "<dir>");
    }
    const QStringList is = shown();
    for (qsizetype i = 0; i < is.size(); ++i)
        if (is[i] != was[i])
            lines << is[i];
    const QStringList changed = changedFiles(before, files());
    if (!changed.isEmpty())
        lines << "files: " + changed.join(' ');
    return lines;
}

void FixtureTest::cleanup()
{
    QVERIFY2(f->platform.unanswered.isEmpty(), qPrintable(f->platform.unanswered.join('|')));
    f.reset();
}

QByteArray listBytes(const QStringList &entries)
{
    return entries.isEmpty() ? QByteArray() : ('"' + entries.join("\"\r\n\"") + "\"\r\n").toUtf8();
}

Files contactFiles(const QString &category, const QString &name)
{
    const QString prefix = category + name;
    const QByteArray n = name.toUtf8();
    return {{prefix + "Relation", "\"" + n + "'s sister\"\n"},
            {prefix + "Birthday", "\"1 May, 1970\"\r"},
            {prefix + "DependantsList", "\"Zoe\"\n\"tim\"\r\n\"Anna\""},
            {prefix + "Address", "\"12 Elm St, Flat 2\r\nLeeds\""},
            {prefix + "DrivingDirections", "  \"M1 north\r\n\r\nthen left\"\r\n"},
            {prefix + "Numbers", "\"111\", \"222\", \"333\", \"444\", \"" + n + "@mail.org\"\r\n"},
            {prefix + "NumbNotes", "mornings only\r\n"},
            {prefix + "Pic", "/pictures/" + n + ".jpg\r\n"}};
}

Files standardBook()
{
    Files book{{"RelationsList", listBytes({"work", "Friends", "Family", "Fam", "Friend"})},
               {"NamesListFamily", listBytes({"Anna", "Zoë", "Bo", "Ann"})},
               {"NamesListFriend", listBytes({"Bob"})},
               {"NamesListFriends", listBytes({"Carl"})},
               {"NamesListwork", ""}};
    for (const QString contact : {"Family/Ann", "Family/Anna", "Family/Zoë", "Friend/Bob", "Friends/Carl"})
        book.insert(contactFiles(contact.section('/', 0, 0), contact.section('/', 1)));
    return book;
}

QStringList runProgram(const QString &program, const QStringList &arguments, const QMap<QString, QString> &variables,
                       const QByteArray &input)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : variables.asKeyValueRange())
        value.isEmpty() ? environment.remove(name) : environment.insert(name, value);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? QString::number(process.exitCode()) : "not ended", QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed(),
            QString::fromLocal8Bit(process.readAllStandardError()).trimmed()};
}

void typeAtEnd(QWidget *box, const QString &text)
{
    QTest::keyClick(box, Qt::Key_End, qobject_cast<QPlainTextEdit *>(box) ? Qt::ControlModifier : Qt::NoModifier);
    QTest::keyClicks(box, text);
}

QString describe(const QList<QWidget *> &windows)
{
    QString text;
    for (QWidget *window : windows) {
        for (const QWidget *w : QWidgetList{window} + window->findChildren<QWidget *>()) {
            if (w->objectName().isEmpty() || w->objectName().startsWith("qt_") || (w != window && w->isWindow())) // menus
                continue;
            const QRect r = w->geometry();
            const QFont font = w->font();
            QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(const_cast<QWidget *>(w));
            QString labels, colours;
            for (const auto role : {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text, QPalette::Button, QPalette::ButtonText})
                colours += ' ' + w->palette().color(role).name();
            for (const auto &[label, relation] : spoken->relations(QAccessible::Label))
                labels += " by " + label->object()->objectName();
            text += QStringLiteral("%1 %2 %3,%4 %5x%6 \"%7\"%8 %9 %10%11%12%13\n")
                        .arg(w->objectName(), w->metaObject()->className()).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                        .arg(spoken->text(QAccessible::Name), labels, font.families().value(0), QString::number(font.pointSizeF()),
                             font.bold() ? " bold" : "", colours, w->isEnabled() ? "" : " off");
        }
        for (const QAction *action : window->findChildren<QAction *>())
            if (!action->objectName().isEmpty())
                text += QStringLiteral("%1 \"%2\" %3\n").arg(action->objectName(), action->text(), action->shortcut().toString());
    }
    return text;
}

QString storedText(const QString &name, const QString &seen)
{
    QFile mine(name), stored(QStringLiteral(KINFOLIO_TEST_DATA "/") + name);
    if (mine.open(QIODevice::WriteOnly))
        mine.write(seen.toUtf8());
    return stored.open(QIODevice::ReadOnly) ? QString::fromUtf8(stored.readAll()) : QString();
}
