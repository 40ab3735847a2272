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
        if (s.kind == Shown::Message)
            result.append(s.prompt);
    }
    return result;
}

void ScriptedPlatform::showMessage(QWidget *, const QString &prompt, const QString &title)
{
    shown.append({Shown::Message, prompt, title});
}

bool ScriptedPlatform::askYesNo(QWidget *, const QString &prompt, const QString &title)
{
    shown.append({Shown::Question, prompt, title});
    return take(answers, unanswered, prompt, false);
}

QString ScriptedPlatform::inputBox(QWidget *, const QString &prompt, const QString &title)
{
    shown.append({Shown::Input, prompt, title});
    return take(inputs, unanswered, prompt, QString());
}

std::optional<QColor> ScriptedPlatform::chooseColor(QWidget *, const QColor &)
{
    shown.append({Shown::ColorChooser, QString(), QString()});
    return take(colors, unanswered, QStringLiteral("colour chooser"), std::optional<QColor>());
}

QString ScriptedPlatform::chooseOpenFile(QWidget *, const QString &filter)
{
    shown.append({Shown::FileChooser, filter, QString()});
    return take(files, unanswered, QStringLiteral("file chooser"), QString());
}

QString ScriptedPlatform::chooseSaveFile(QWidget *, const QString &filter, const QString &suggested)
{
    shown.append({Shown::FileChooser, filter, suggested});
    return take(files, unanswered, QStringLiteral("file chooser"), QString());
}

bool ScriptedPlatform::printLines(const QStringList &lines)
{
    if (!hasPrinter)
        return false;
    printedTexts.append(lines);
    return true;
}

bool ScriptedPlatform::printWindow(QWidget &window)
{
    if (!hasPrinter)
        return false;
    printedWindows.append(window.grab().toImage());
    return true;
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
