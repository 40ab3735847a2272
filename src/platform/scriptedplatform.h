#pragma once

#include "platform/platform.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QQueue>

// A platform whose user answers from a script and whose printer and registry
// are in memory. Every dialog shown is recorded, in order.
class ScriptedPlatform : public Platform
{
public:
    struct Shown
    {
        enum Kind { Message, Question, Input, ColorChooser, FileChooser, Notice } kind;
        QString prompt;
        QString title;
        bool operator==(const Shown &) const = default;
    };

    // The script: answers are taken from the front. A dialog shown with no
    // answer left is recorded in `unanswered` and answered with a cancel.
    QQueue<QString> inputs;
    QQueue<bool> answers;
    QQueue<std::optional<QColor>> colors;
    QQueue<QString> files;

    // What happened.
    QList<Shown> shown;
    QStringList unanswered;
    QList<QStringList> printedTexts;
    QList<QImage> printedWindows; // each as it looked when printed
    QStringList openedIn; // the folder each open-file chooser opened in
    QStringList filledIn; // the text each input box was filled in with
    QStringList started;
    int endProgramCalls = 0;

    // The machine.
    PrintResult printing = PrintResult::Printed;
    bool canStartPrograms = true;
    QHash<QString, RegistryValue> registry; // keyed by registryKey()
    static QString registryKey(const QString &root, const QString &key, const QString &valueName)
    {
        return root + QLatin1Char('\\') + key + QLatin1Char('|') + valueName;
    }

    // Messages and notices shown, prompt only, in order.
    QStringList messages() const;

    using Platform::showMessage;
    void showMessage(QWidget *parent, const QString &prompt, const QString &title) override;
    void showNotice(QWidget *parent, const QString &prompt) override;
    bool askYesNo(QWidget *parent, const QString &prompt, const QString &title, bool yesOnEscape = false) override;
    using Platform::inputBox;
    QString inputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &text) override;
    std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) override;
    QString chooseOpenFile(QWidget *parent, const QString &filter, const QString &dir = {}) override;
    QString chooseSaveFile(QWidget *parent, const QString &filter, const QString &suggested) override;
    PrintResult printLines(const QStringList &lines) override;
    PrintResult printWindow(QWidget &window) override;
    std::optional<RegistryValue> readRegistry(const QString &root, const QString &key,
                                              const QString &valueName) override;
    bool startProgram(const QString &path) override;
    void endProgram() override;
};
