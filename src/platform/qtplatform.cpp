#include "platform/qtplatform.h"

#include <QApplication>
#include <QFile>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextLayout>

#include <algorithm>
#include <memory>

void QtPlatform::showMessage(QWidget *parent, const QString &prompt, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::Ok, parent);
    box.exec();
}

void QtPlatform::showNotice(QWidget *parent, const QString &prompt)
{
    delete m_notice;
    m_notice = new QMessageBox(QMessageBox::NoIcon, appTitle(), prompt, QMessageBox::Ok, parent);
    m_notice->setAttribute(Qt::WA_DeleteOnClose);
    m_notice->setWindowModality(Qt::NonModal);
    // The keyboard stays where the user types, also where the window system
    // makes every new window active (it does so later, so asked again).
    m_notice->setAttribute(Qt::WA_ShowWithoutActivating);
    QWidget *typing = QApplication::activeWindow();
    m_notice->show();
    if (typing)
        typing->activateWindow();
}

bool QtPlatform::askYesNo(QWidget *parent, const QString &prompt, const QString &title, bool yesOnEscape)
{
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(yesOnEscape ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString QtPlatform::inputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &text)
{
    bool ok = false;
    const QString typed = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, text, &ok);
    return ok ? typed : QString();
}

std::optional<QColor> QtPlatform::chooseColor(QWidget *parent, const QColor &initial)
{
    QColorDialog dialog(initial, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedColor();
}

QString QtPlatform::chooseOpenFile(QWidget *parent, const QString &filter, const QString &dir)
{
    return QFileDialog::getOpenFileName(parent, QString(), dir, filter);
}

QString QtPlatform::chooseSaveFile(QWidget *parent, const QString &filter, const QString &suggested)
{
    return QFileDialog::getSaveFileName(parent, QString(), suggested, filter);
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

// Most printers cannot print near the paper's edge, and print that runs up to
// it looks wrong even where they can.
constexpr qreal leastMarginMm = 15;

// Starts the job inside the margins a person expects, or the printer's own
// where it needs more.
bool begin(QPrinter &printer, QPainter &painter)
{
    QPageLayout layout = printer.pageLayout();
    layout.setUnits(QPageLayout::Millimeter);
    const QMarginsF least = layout.minimumMargins();
    const auto side = [](qreal printerLeast) { return std::max(printerLeast, leastMarginMm); };
    // On paper too small for them the printer's own margins stay.
    printer.setPageMargins(QMarginsF(side(least.left()), side(least.top()), side(least.right()), side(least.bottom())),
                           QPageLayout::Millimeter);
    return painter.begin(&printer);
}

// The part of the page inside the margins, in the painter's coordinates.
QRectF printable(const QPrinter &printer)
{
    return QRectF(QPointF(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
}

} // namespace

Platform::PrintResult QtPlatform::printLines(const QStringList &lines)
{
    const auto printer = defaultPrinter();
    if (!printer)
        return PrintResult::NoPrinter;
    return printLinesOn(*printer, lines) ? PrintResult::Printed : PrintResult::Failed;
}

Platform::PrintResult QtPlatform::printWindow(QWidget &window)
{
    const auto printer = defaultPrinter();
    if (!printer)
        return PrintResult::NoPrinter;
    return printWindowOn(*printer, window) ? PrintResult::Printed : PrintResult::Failed;
}

bool QtPlatform::printLinesOn(QPrinter &printer, const QStringList &lines)
{
    QPainter painter;
    if (!begin(printer, painter))
        return false;
    const QRectF page = printable(printer);
    const qreal lineHeight = QFontMetricsF(painter.font(), &printer).lineSpacing();
    // A value with no space left to break at (a long e-mail address, a
    // pasted link) breaks where the line ends rather than running off the paper.
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    qreal y = 0;
    for (const QString &line : lines) {
        QTextLayout layout(line, painter.font(), &printer);
        layout.setTextOption(wrap);
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

bool QtPlatform::printWindowOn(QPrinter &printer, QWidget &window)
{
    // Qt renders a widget straight onto a printer through a bitmap. Recorded
    // as drawing commands first, the window is drawn again at the printer's
    // resolution, its text as text.
    QPicture picture;
    QPainter recorder(&picture);
    window.render(&recorder);
    recorder.end();
    QPainter painter;
    if (!begin(printer, painter))
        return false;
    // A picture plays at its own size in inches on any device.
    const QSizeF played(window.width() * qreal(printer.logicalDpiX()) / picture.logicalDpiX(),
                        window.height() * qreal(printer.logicalDpiY()) / picture.logicalDpiY());
    const QSizeF size = played.scaled(printable(printer).size(), Qt::KeepAspectRatio);
    painter.scale(size.width() / played.width(), size.height() / played.height());
    painter.drawPicture(0, 0, picture);
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
