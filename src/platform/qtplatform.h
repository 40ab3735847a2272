#pragma once

#include "platform/platform.h"

#include <QMessageBox>
#include <QPointer>

class QPrinter;

// The real desktop: Qt's dialogs, CUPS's default printer, processes.
class QtPlatform : public Platform
{
public:
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

    // One print job on the given printer, inside margins of at least 15 mm
    // (more where the printer needs more). A job that fails is aborted, never
    // left open.
    // Lines too long for the page wrap, between words where they can and
    // anywhere where they cannot; a page that is full continues on the next.
    static bool printLinesOn(QPrinter &printer, const QStringList &lines);
    // The window drawn at the printer's resolution, scaled to fit one page.
    static bool printWindowOn(QPrinter &printer, QWidget &window);

private:
    QPointer<QMessageBox> m_notice;
};
