#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Everything Kinfolio asks of the desktop beyond its own windows: modal
// dialogs, the printer, the registry and starting other programs. The program
// uses QtPlatform; tests script the user's answers with ScriptedPlatform.
class Platform
{
public:
    virtual ~Platform() = default;

    // The program's title, shown by boxes that have no title of their own.
    static QString appTitle() { return QStringLiteral("Kinfolio"); }

    // A message with a single OK button and no icon.
    virtual void showMessage(QWidget *parent, const QString &prompt, const QString &title) = 0;
    void showMessage(QWidget *parent, const QString &prompt) { showMessage(parent, prompt, appTitle()); }
    // The same message shown without taking the keyboard: the user sees it at
    // once and goes on typing where the focus is. A newer one replaces it.
    virtual void showNotice(QWidget *parent, const QString &prompt) = 0;

    // A Yes/No question with no icon, Yes being the default. True for Yes.
    // Escape answers No, or Yes where No is the answer that loses something.
    virtual bool askYesNo(QWidget *parent, const QString &prompt, const QString &title, bool yesOnEscape = false) = 0;

    // A one-line text prompt, filled in with text. Cancel gives the empty text.
    virtual QString inputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &text) = 0;
    QString inputBox(QWidget *parent, const QString &prompt, const QString &title)
    {
        return inputBox(parent, prompt, title, {});
    }

    // Colour chooser; nothing when cancelled.
    virtual std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) = 0;

    // Open-file chooser with a Qt filter string, opening in dir (or where the
    // chooser likes); the empty text when cancelled.
    virtual QString chooseOpenFile(QWidget *parent, const QString &filter, const QString &dir = {}) = 0;
    // Save-file chooser, which asks before a file is replaced; the empty text when cancelled.
    virtual QString chooseSaveFile(QWidget *parent, const QString &filter, const QString &suggested) = 0;

    // Prints on the system's default printer as one job: lines of text, or a
    // window as it looks now, drawn afresh onto one page. A failed job is
    // never left open.
    enum class PrintResult { Printed, NoPrinter, Failed };
    virtual PrintResult printLines(const QStringList &lines) = 0;
    virtual PrintResult printWindow(QWidget &window) = 0;

    // A read-only view of the registry: the value's type and raw bytes.
    struct RegistryValue
    {
        quint32 type = 0;
        QByteArray data;
    };
    enum RegistryType : quint32 { RegSz = 1, RegExpandSz = 2, RegDword = 4 };
    virtual std::optional<RegistryValue> readRegistry(const QString &root, const QString &key,
                                                      const QString &valueName) = 0;

    // Starts another program by its path, detached. False when it cannot start.
    virtual bool startProgram(const QString &path) = 0;

    // Ends the program at once, leaving no window behind.
    virtual void endProgram() = 0;
};
