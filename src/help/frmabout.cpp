#include "help/frmabout.h"

#include "controls/appicon.h"
#include "controls/controls.h"
#include "kinfolio/version.h"
#include "platform/platform.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <optional>

using Controls::place;

namespace {

// Where Windows keeps the System Information program: its full path, or else
// the directory that holds MSINFO32.EXE.
const QString rootLocalMachine = QStringLiteral("HKEY_LOCAL_MACHINE");
const QString keySysInfo = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString valueSysInfo = QStringLiteral("PATH");
const QString keySysInfoLocation = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString valueSysInfoLocation = QStringLiteral("MSINFO");

// A registry value is read into a buffer of this many characters; a longer
// value does not fit and so cannot be read.
constexpr qsizetype registryBufferSize = 1024;

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

QLabel *label(QWidget *container, const char *name, const QString &caption, int left, int top, int width, int height)
{
    auto *text = place(new QLabel(caption), container, name, left, top, width, height);
    text->setTextFormat(Qt::PlainText);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setWordWrap(true);
    setTextColor(text, Qt::black);
    return text;
}

// A straight line of the separator, from (left, top) to (right, top) in
// twips, `thickness` pixels high.
QFrame *line(QWidget *container, const char *name, int left, int top, int right, int thickness, const QColor &color)
{
    const auto px = [container](int twips) { return Controls::twipsToPixels(container, twips, Qt::Horizontal); };
    auto *stroke = new QFrame(container);
    stroke->setObjectName(QString::fromLatin1(name));
    stroke->setGeometry(px(left), Controls::twipsToPixels(container, top, Qt::Vertical), px(right) - px(left) + 1,
                        thickness);
    stroke->setAutoFillBackground(true);
    QPalette palette = stroke->palette();
    palette.setColor(QPalette::Window, color);
    stroke->setPalette(palette);
    return stroke;
}

} // namespace

FrmAbout::FrmAbout(Platform &platform) : QDialog(nullptr), platform(platform)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(kinfolioIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFixedSize(Controls::twipsToPixels(this, 5865, Qt::Horizontal),
                 Controls::twipsToPixels(this, 4260, Qt::Vertical));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    // The system's dialog font at the size dialogs were laid out for: at the
    // larger sizes desktops use today, the texts would not fit their places.
    QFont dialogFont = font();
    dialogFont.setPointSizeF(8);
    setFont(dialogFont);

    picIcon = place(new QLabel, this, "picIcon", 120, 120, 540, 540);
    picIcon->setPixmap(kinfolioIcon().pixmap(32, 32));
    picIcon->adjustSize(); // the picture box takes the size of its picture

    lblTitle = label(this, "lblTitle", Platform::appTitle(), 1050, 240, 3885, 480);
    lblTitle->setFont(Controls::windowFont());
    lblVersion = label(this, "lblVersion", QStringLiteral("Version: 1.0"), 1050, 780, 3885, 225);
    lblDescription = label(this, "lblDescription",
                           QStringLiteral("Kinfolio 1.0 is an electronic address book.  This program is used to store "
                                          "contact information, from your friends phone numbers to driving directions "
                                          "to a relative's house.  This software is for personal use and is not a "
                                          "professional tool. "),
                           1050, 1125, 3885, 1170);

    Line1[1] = line(this, "Line1(1)", 120, 2445, 5760, 1, QColor(0x80, 0x80, 0x80));
    Line1[0] = line(this, "Line1(0)", 105, 2460, 5280, 2, Qt::white);

    lblDisclaimer = label(this, "lblDisclaimer",
                          QStringLiteral("Warning: this program is protected by copyright. Copying it or passing it "
                                         "on without the author's permission is not allowed. Kinfolio comes with no "
                                         "warranty of any kind: you use it at your own risk."),
                          255, 2625, 3870, 1545);

    cmdOK = place(new QPushButton(QStringLiteral("OK")), this, "cmdOK", 4440, 3240, 1260, 345);
    cmdOK->setDefault(true);
    cmdSysInfo = place(new QPushButton(QStringLiteral("&System Info...")), this, "cmdSysInfo", 4440, 3720, 1245, 345);
    // Clicked, it keeps the focus; Enter still means OK, not a second start.
    cmdSysInfo->setAutoDefault(false);
    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] { cmdSysInfo_Click(); });

    // In the middle of the screen rather than over the main window.
    QRect outer(QPoint(), size());
    outer.moveCenter(screen()->availableGeometry().center());
    move(outer.topLeft());

    Form_Load();
}

void FrmAbout::Form_Load()
{
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(KINFOLIO_VERSION_MAJOR)
                            .arg(KINFOLIO_VERSION_MINOR)
                            .arg(KINFOLIO_VERSION_REVISION));
}

void FrmAbout::cmdOK_Click()
{
    done(Accepted); // closes, and with that discards, the box
}

void FrmAbout::reject()
{
    cmdOK_Click();
}

void FrmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void FrmAbout::StartSysInfo()
{
    QString SysInfoPath;
    bool found = GetKeyValue(rootLocalMachine, keySysInfo, valueSysInfo, SysInfoPath);
    if (!found && GetKeyValue(rootLocalMachine, keySysInfoLocation, valueSysInfoLocation, SysInfoPath)) {
        SysInfoPath += QStringLiteral("\\MSINFO32.EXE");
        found = QFileInfo::exists(SysInfoPath);
    }
    // A value of another kind reads as success with an empty path, which
    // names no program to start.
    if (found && !SysInfoPath.isEmpty() && platform.startProgram(SysInfoPath))
        return;
    platform.showMessage(this, QStringLiteral("System Information Is Unavailable At This Time"), Platform::appTitle());
}

bool FrmAbout::GetKeyValue(const QString &KeyRoot, const QString &KeyName, const QString &SubKeyRef, QString &KeyVal)
{
    // Opening the key, reading the value and closing the key are one call of
    // the registry view; it fails when the key or the value is missing.
    const std::optional<Platform::RegistryValue> value = platform.readRegistry(KeyRoot, KeyName, SubKeyRef);
    if (!value || value->data.size() > registryBufferSize) {
        KeyVal.clear();
        return false;
    }
    // The size read counts a text's closing NUL; it is not part of the text.
    QByteArray kept = value->data;
    if (kept.endsWith('\0'))
        kept.chop(1);
    switch (value->type) {
    case Platform::RegSz:
        KeyVal = QString::fromLocal8Bit(kept);
        break;
    case Platform::RegDword: {
        // Little-endian; the dropped NUL was a high byte of zero.
        quint32 number = 0;
        for (qsizetype i = qMin<qsizetype>(kept.size(), 4) - 1; i >= 0; --i)
            number = number << 8 | quint8(kept.at(i));
        KeyVal = QString::number(number);
        break;
    }
    default:
        break; // any other kind of value leaves KeyVal as it was
    }
    return true;
}
