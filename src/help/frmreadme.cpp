#include "help/frmreadme.h"

#include "controls/appicon.h"
#include "controls/controls.h"
#include "store/paths.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>

namespace {

// The border and title bar, in twips, where the window system does not tell
// them (before the window is first shown, or with no window manager): what
// leaves the controls 120 twips from every edge of the inside, as the resize
// margins of 325 across and 1125 - 495 below the button's top intend.
constexpr int nominalFrameWidth = 325 - 2 * 120;
constexpr int nominalFrameHeight = 1125 - 495 - 120;

} // namespace

FrmReadme::FrmReadme() : QWidget(nullptr, Qt::Window)
{
    setObjectName(QStringLiteral("frmReadme"));
    setWindowTitle(QStringLiteral("How does Kinfolio work?"));
    setWindowIcon(kinfolioIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(Controls::windowFont());

    wbsReadme = Controls::place(new QTextBrowser, this, "wbsReadme", 120, 120, 2295, 1455);
    wbsReadme->setOpenExternalLinks(true);
    wbsReadme->setAccessibleName(QStringLiteral("Help page"));
    cmdClose = Controls::place(new QPushButton(QStringLiteral("&Close")), this, "cmdClose", 120, 1680, 1215, 495);
    setTabOrder(wbsReadme, cmdClose);
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });

    // First shown at its designed inside size, in the middle of the screen.
    resize(px(8880, Qt::Horizontal), px(6030, Qt::Vertical));
    QRect outer(QPoint(), size() + Controls::frameSize(this, nominalFrameWidth, nominalFrameHeight));
    outer.moveCenter(screen()->availableGeometry().center());
    move(outer.topLeft());

    Form_Load();
}

int FrmReadme::px(int twips, Qt::Orientation direction) const
{
    return Controls::twipsToPixels(this, twips, direction);
}

QString FrmReadme::pagePath()
{
    return Store::appDir() + QStringLiteral("Readme.htm");
}

void FrmReadme::Form_Load()
{
    wbsReadme->setSource(QUrl::fromLocalFile(pagePath()));
    // A browser that cannot open a page says so; an empty window would not.
    if (wbsReadme->document()->isEmpty())
        wbsReadme->setHtml(QStringLiteral("<h3>The help page cannot be shown</h3><p>Kinfolio looks for it at %1</p>")
                               .arg(pagePath().toHtmlEscaped()));
}

// The rule is written for the window's outer size, border and title bar
// included. A window made smaller than its margins (as when minimised) would
// give the controls a negative size; they keep a size of zero instead.
void FrmReadme::Form_Resize()
{
    const QSize outer = size() + Controls::frameSize(this, nominalFrameWidth, nominalFrameHeight);
    const int controlWidth = qMax(0, outer.width() - px(325, Qt::Horizontal));
    cmdClose->setGeometry(cmdClose->x(), outer.height() - px(1125, Qt::Vertical), controlWidth, cmdClose->height());
    wbsReadme->resize(controlWidth, qMax(0, outer.height() - px(1375, Qt::Vertical)));
}

void FrmReadme::cmdClose_Click()
{
    close();
}

void FrmReadme::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void FrmReadme::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdClose_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}
