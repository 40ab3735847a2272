#include "platform/scriptedplatform.h"

#include <QApplication>
#include <QWidget>

namespace {

template <typename T>
T take(QQueue<T> &queue, QStringList &unanswered, const QString &prompt, T cancel)
{
    if (queue.isEmpty()) {
        unanswered.append(prompt);
        return cancel;
    }
    return queue.dequeue();
}

} // namespace

QStringList ScriptedPlatform::messages() const
{
    QStringList result;
    for (const Shown &s : shown) {
        if (s.kind == Shown::Message || s.kind == Shown::Notice)
            result.append(s.prompt);
    }
    return result;
}

void ScriptedPlatform::showMessage(QWidget *, const QString &prompt, const QString &title)
{
    shown.append({Shown::Message, prompt, title});
}

void ScriptedPlatform::showNotice(QWidget *, const QString &prompt)
{
    shown.append({Shown::Notice, prompt, appTitle()});
}

bool ScriptedPlatform::askYesNo(QWidget *, const QString &prompt, const QString &title, bool)
{
    shown.append({Shown::Question, prompt, title});
    return take(answers, unanswered, prompt, false);
}

QString ScriptedPlatform::inputBox(QWidget *, const QString &prompt, const QString &title, const QString &text)
{
    shown.append({Shown::Input, prompt, title});
    filledIn.append(text);
    return take(inputs, unanswered, prompt, QString());
}

std::optional<QColor> ScriptedPlatform::chooseColor(QWidget *, const QColor &initial)
{
    shown.append({Shown::ColorChooser, initial.name(), QString()});
    return take(colors, unanswered, QStringLiteral("colour chooser"), std::optional<QColor>());
}

QString ScriptedPlatform::chooseOpenFile(QWidget *, const QString &filter, const QString &dir)
{
    shown.append({Shown::FileChooser, filter, QString()});
    openedIn.append(dir);
    return take(files, unanswered, QStringLiteral("file chooser"), QString());
}

QString ScriptedPlatform::chooseSaveFile(QWidget *, const QString &filter, const QString &suggested)
{
    shown.append({Shown::FileChooser, filter, suggested});
    return take(files, unanswered, QStringLiteral("file chooser"), QString());
}

Platform::PrintResult ScriptedPlatform::printLines(const QStringList &lines)
{
    if (printing == PrintResult::Printed)
        printedTexts.append(lines);
    return printing;
}

Platform::PrintResult ScriptedPlatform::printWindow(QWidget &window)
{
    if (printing == PrintResult::Printed)
        printedWindows.append(window.grab().toImage());
    return printing;
}

std::optional<Platform::RegistryValue> ScriptedPlatform::readRegistry(const QString &root, const QString &key,
                                                                      const QString &valueName)
{
    const auto it = registry.constFind(registryKey(root, key, valueName));
    if (it == registry.constEnd())
        return std::nullopt;
    return *it;
}

bool ScriptedPlatform::startProgram(const QString &path)
{
    if (!canStartPrograms)
        return false;
    started.append(path);
    return true;
}

void ScriptedPlatform::endProgram()
{
    ++endProgramCalls;
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
}
