#pragma once

#include "platform/platform.h"

class QPrinter;

// The real desktop: Qt's dialogs, CUPS's default printer, processes.
class QtPlatform : public Platform
{
public:
    using Platform::showMessage;
    void showMessage(QWidget *parent, const QString &prompt, const QString &title) override;
    bool askYesNo(QWidget *parent, const QString &prompt, const QString &title) override;
    QString inputBox(QWidget *parent, const QString &prompt, const QString &title) override;
    std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) override;
    QString chooseOpenFile(QWidget *parent, const QString &filter) override;
    bool printLines(const QStringList &lines) override;
    bool printImage(const QImage &image) override;
    std::optional<RegistryValue> readRegistry(const QString &root, const QString &key,
                                              const QString &valueName) override;
    bool startProgram(const QString &path) override;
    void endProgram() override;

    // One print job on the given printer: lines too long for the page wrap,
    // and a page that is full continues on the next. A job that fails is
    // aborted, never left open.
    static bool printLinesOn(QPrinter &printer, const QStringList &lines);
    // The image scaled to fit one page.
    static bool printImageOn(QPrinter &printer, const QImage &image);
};
