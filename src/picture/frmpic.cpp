#include "picture/frmpic.h"

#include "controls/appicon.h"
#include "controls/buttonstyle.h"
#include "controls/controls.h"
#include "store/recordfile.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

// The window's border and title bar, in twips, where the window system does
// not tell them (before the window is first shown, or with no window manager):
// what the designed window puts around its designed picture box.
constexpr int nominalFrameWidth = 4365 + 350 - 4665;
constexpr int nominalFrameHeight = 2595 + 1800 - 3825;

} // namespace

FrmPic::FrmPic() : QWidget(nullptr, Qt::Window)
{
    setObjectName(QStringLiteral("frmPic"));
    setWindowTitle(QStringLiteral("Picture"));
    setWindowIcon(kinfolioIcon());
    setFont(Controls::windowFont());
    setAutoFillBackground(true);
    setWidgetColor(this, QPalette::Window, DefaultColor::FormBack);
    setFixedSize(Controls::twipsToPixels(this, 4665, Qt::Horizontal),
                 Controls::twipsToPixels(this, 3825, Qt::Vertical));

    picItem = Controls::place(new QLabel, this, "picItem", 120, 120, 4365, 2595);
    picItem->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picItem->setAccessibleName(QStringLiteral("Picture"));
    cmdAddPic = graphicalButton(this, "cmdAddPic", QStringLiteral("Change &Picture"), 120, 2760, 4455, 495);
    setWidgetColor(cmdAddPic, QPalette::Button, DefaultColor::MinorButtons);
    cmdClose = graphicalButton(this, "cmdClose", QStringLiteral("&Close"), 120, 3240, 4455, 495);
    setWidgetColor(cmdClose, QPalette::Button, DefaultColor::MainButtons);
    cmdClose->setDefault(true);
    setTabOrder(cmdAddPic, cmdClose);

    connect(cmdAddPic, &QPushButton::clicked, this, [this] { cmdAddPic_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

QString FrmPic::pictureFilter()
{
    QStringList patterns;
    for (const QByteArray &suffix : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(suffix);
    return QStringLiteral("Pictures (") + patterns.join(QLatin1Char(' '))
           + QStringLiteral(");;jpg/jpeg Files (*.jpg *.jpeg);;gif Files (*.gif);;All Files (*)");
}

QString FrmPic::pictureKinds()
{
    const QList<QByteArray> read = QImageReader::supportedImageFormats();
    QStringList kinds;
    for (const auto &[suffix, kind] : {std::pair{"jpeg", "JPEG"}, {"png", "PNG"}, {"gif", "GIF"}, {"bmp", "BMP"},
                                       {"webp", "WebP"}, {"tiff", "TIFF"}}) {
        if (read.contains(suffix))
            kinds << QString::fromLatin1(kind);
    }
    const QString last = kinds.takeLast();
    return kinds.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

bool FrmPic::loadPicture(const QString &path, const QString &whose)
{
    QImage image;
    QByteArray bytes;
    if (RecordFile::readPicture(path, bytes)) {
        QBuffer buffer(&bytes);
        // The name's suffix helps with formats that have no signature.
        QImageReader reader(&buffer, QFileInfo(path).suffix().toLatin1());
        reader.setAutoTransform(true);
        image = reader.read();
    }
    // A screen reader says whose picture is shown, or that there is none.
    picItem->setAccessibleDescription(image.isNull() ? QStringLiteral("No picture")
                                                     : QStringLiteral("Picture of ") + whose);
    if (image.isNull()) {
        picItem->clear();
    } else {
        // The picture box takes the size of the image it shows, unless the
        // window would then not fit the screen: a photo from a phone is
        // shown smaller, in its own proportions.
        const QSize room = largestPicture();
        if (image.width() > room.width() || image.height() > room.height())
            image = image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        picItem->setPixmap(QPixmap::fromImage(image));
        picItem->resize(image.size());
    }
    picItem_Change();
    return path.isEmpty() || !image.isNull();
}

QSize FrmPic::largestPicture() const
{
    const QScreen *shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shownOn)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    const QSize available = shownOn->availableGeometry().size();
    return {qMax(1, available.width() - Controls::twipsToPixels(this, 350, Qt::Horizontal)),
            qMax(1, available.height() - Controls::twipsToPixels(this, 1800, Qt::Vertical))};
}

void FrmPic::picItem_Change()
{
    // The design fits the window's outer size to the picture box; Qt sizes
    // the inside, so take the border and title bar off again.
    const QSize frame = Controls::frameSize(this, nominalFrameWidth, nominalFrameHeight);
    const int outerHeight = Controls::pixelsToTwips(this, picItem->height(), Qt::Vertical) + 1800;
    const int outerWidth = Controls::pixelsToTwips(this, picItem->width(), Qt::Horizontal) + 350;
    setFixedSize(qMax(0, Controls::twipsToPixels(this, outerWidth, Qt::Horizontal) - frame.width()),
                 qMax(0, Controls::twipsToPixels(this, outerHeight, Qt::Vertical) - frame.height()));
    const int buttonWidth = Controls::twipsToPixels(this, outerWidth - 350, Qt::Horizontal);
    cmdAddPic->setGeometry(cmdAddPic->x(), Controls::twipsToPixels(this, outerHeight - 1600, Qt::Vertical), buttonWidth,
                           cmdAddPic->height());
    cmdClose->setGeometry(cmdClose->x(), Controls::twipsToPixels(this, outerHeight - 1075, Qt::Vertical), buttonWidth,
                          cmdClose->height());
}

void FrmPic::cmdAddPic_Click()
{
    emit changePictureClicked();
}

void FrmPic::cmdClose_Click()
{
    hide();
    emit closed();
}

void FrmPic::paint(ColorValue formBack, ColorValue minorButtons, ColorValue mainButtons)
{
    setWidgetColor(this, QPalette::Window, formBack);
    setWidgetColor(cmdAddPic, QPalette::Button, minorButtons);
    setWidgetColor(cmdClose, QPalette::Button, mainButtons);
}

// Enter presses the button that has the focus, and otherwise Close, the
// window's default button.
void FrmPic::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    auto *focused = qobject_cast<QPushButton *>(focusWidget());
    (focused ? focused : cmdClose)->click();
}

// Fitted while hidden, the window could only guess its frame; shown, it
// knows it.
void FrmPic::showEvent(QShowEvent *event)
{
    picItem_Change();
    QWidget::showEvent(event);
}

// The title bar's close does what Close does, so the check box stays in step.
void FrmPic::closeEvent(QCloseEvent *event)
{
    event->ignore();
    cmdClose_Click();
}
