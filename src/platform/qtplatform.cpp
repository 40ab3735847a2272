#include "platform/qtplatform.h"

#include <QApplication>
#include <QFile>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextLayout>

#include <memory>

void QtPlatform::showMessage(QWidget *parent, const QString &prompt, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::Ok, parent);
    box.exec();
}

bool QtPlatform::askYesNo(QWidget *parent, const QString &prompt, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtPlatform::inputBox(QWidget *parent, const QString &prompt, const QString &title)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

std::optional<QColor> QtPlatform::chooseColor(QWidget *parent, const QColor &initial)
{
    QColorDialog dialog(initial, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedColor();
}

QString QtPlatform::chooseOpenFile(QWidget *parent, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

namespace {

// A printer on the system's default destination, or none.
std::unique_ptr<QPrinter> defaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    printer->setDocName(QStringLiteral("Kinfolio"));
    return printer;
}

bool fail(QPrinter &printer, QPainter &painter)
{
    printer.abort();
    painter.end();
    return false;
}

} // namespace

bool QtPlatform::printLines(const QStringList &lines)
{
    const auto printer = defaultPrinter();
    return printer && printLinesOn(*printer, lines);
}

bool QtPlatform::printImage(const QImage &image)
{
    const auto printer = defaultPrinter();
    return printer && printImageOn(*printer, image);
}

bool QtPlatform::printLinesOn(QPrinter &printer, const QStringList &lines)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const qreal lineHeight = QFontMetricsF(painter.font(), &printer).lineSpacing();
    qreal y = 0;
    for (const QString &line : lines) {
        QTextLayout layout(line, painter.font(), &printer);
        layout.beginLayout();
        for (QTextLine text = layout.createLine(); text.isValid(); text = layout.createLine())
            text.setLineWidth(page.width());
        layout.endLayout();
        // An empty line still takes its place on the page.
        const int rows = qMax(1, layout.lineCount());
        for (int row = 0; row < rows; ++row) {
            if (y + lineHeight > page.height()) {
                if (!printer.newPage())
                    return fail(printer, painter);
                y = 0;
            }
            if (row < layout.lineCount()) {
                const QTextLine text = layout.lineAt(row);
                text.draw(&painter, QPointF(0, y - text.y()));
            }
            y += lineHeight;
        }
    }
    return painter.end();
}

bool QtPlatform::printImageOn(QPrinter &printer, const QImage &image)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QSizeF size = QSizeF(image.size()).scaled(page.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRectF(QPointF(0, 0), size), image);
    return painter.end();
}

std::optional<Platform::RegistryValue> QtPlatform::readRegistry(const QString &root, const QString &key,
                                                                const QString &valueName)
{
    // Linux has no registry. The one value the program asks for names the
    // System Information program; here that is the first such tool on PATH.
    if (root != QLatin1String("HKEY_LOCAL_MACHINE")
        || key.compare(QLatin1String("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), Qt::CaseInsensitive) != 0
        || valueName.compare(QLatin1String("PATH"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    for (const char *tool : {"kinfocenter", "hardinfo2", "hardinfo", "gnome-system-monitor"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(tool));
        if (!path.isEmpty())
            return RegistryValue{RegSz, QFile::encodeName(path) + '\0'};
    }
    return std::nullopt;
}

bool QtPlatform::startProgram(const QString &path)
{
    return QProcess::startDetached(path, {});
}

void QtPlatform::endProgram()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    QCoreApplication::exit(0);
}
