#pragma once

#include "platform/platform.h"

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
};
