#include "colors/frmcolors.h"

#include "controls/appicon.h"
#include "controls/buttonstyle.h"
#include "controls/controls.h"
#include "platform/platform.h"

#include <QCloseEvent>
#include <QFrame>
#include <QPushButton>

using Controls::place;

FrmColors::FrmColors(Platform &platform) : QWidget(nullptr, Qt::Window), platform(platform)
{
    setObjectName(QStringLiteral("frmColors"));
    setWindowTitle(QStringLiteral("Edit Colors"));
    setWindowIcon(kinfolioIcon());
    setFixedSize(Controls::twipsToPixels(this, 5580, Qt::Horizontal), Controls::twipsToPixels(this, 3690, Qt::Vertical));
    setAutoFillBackground(true);

    const auto button = [this](const char *name, const QString &caption, int left, int top, ColorRole role) {
        QPushButton *push = graphicalButton(this, name, caption, left, top, 1695, 495);
        connect(push, &QPushButton::clicked, this, [this, role] { PickColor(role); });
        return push;
    };
    const auto swatch = [this](const char *name, int left, int top, ColorRole role) {
        auto *shape = place(new QFrame, this, name, left, top, 495, 495);
        shape->setFrameStyle(QFrame::Box | QFrame::Plain);
        shape->setAutoFillBackground(true);
        setWidgetColor(shape, QPalette::WindowText, 0);
        shape->setProperty("role", static_cast<int>(role));
        setWidgetColor(shape, QPalette::Window, colorRole(role).builtIn);
        return shape;
    };

    cmdFormBackColor = button("cmdFormBackColor", QStringLiteral("Form Background"), 240, 360, ColorRole::FormBack);
    shpFormBack = swatch("shpFormBack", 2040, 360, ColorRole::FormBack);
    shpTextBoxBack = swatch("shpTextBoxBack", 2880, 360, ColorRole::TextBoxBack);
    cmdTextBoxBack = button("cmdTextBoxBack", QStringLiteral("Text box backgrounds"), 3480, 360, ColorRole::TextBoxBack);
    cmdContactNameTitle =
        button("cmdContactNameTitle", QStringLiteral("Contact Name Title"), 240, 960, ColorRole::NameTitle);
    shpNameTitle = swatch("shpNameTitle", 2040, 960, ColorRole::NameTitle);
    shpTextBoxText = swatch("shpTextBoxText", 2880, 960, ColorRole::TextBoxText);
    cmdTextBoxText = button("cmdTextBoxText", QStringLiteral("Text box text"), 3480, 960, ColorRole::TextBoxText);
    cmdFrameTitleText = button("cmdFrameTitleText", QStringLiteral("Frame title text"), 240, 1560, ColorRole::FrameTitle);
    shpFrameTitle = swatch("shpFrameTitle", 2040, 1560, ColorRole::FrameTitle);
    shpMinorButtons = swatch("shpMinorButtons", 2880, 1560, ColorRole::MinorButtons);
    cmdMinorBack = button("cmdMinorBack", QStringLiteral("Minor Buttons background"), 3480, 1560, ColorRole::MinorButtons);
    cmdDetailTitles = button("cmdDetailTitles", QStringLiteral("Detail titles"), 240, 2160, ColorRole::DetailTitle);
    shpDetailTitle = swatch("shpDetailTitle", 2040, 2160, ColorRole::DetailTitle);
    shpMainButtons = swatch("shpMainButtons", 2880, 2160, ColorRole::MainButtons);
    cmdMainBack = button("cmdMainBack", QStringLiteral("Main Buttons Background"), 3480, 2160, ColorRole::MainButtons);

    Line1 = place(new QFrame, this, "Line1", 240, 2850, 4920, 60);
    Line1->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    cmdClose = graphicalButton(this, "cmdClose", QStringLiteral("&Close"), 240, 3000, 4935, 495);
    setWidgetColor(cmdClose, QPalette::Button, DefaultColor::MainButtons);
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });

    const QWidget *order[] = {cmdClose,       cmdContactNameTitle, cmdFormBackColor, cmdTextBoxBack, cmdDetailTitles,
                              cmdTextBoxText, cmdMinorBack,        cmdMainBack,      cmdFrameTitleText};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget *>(order[i - 1]), const_cast<QWidget *>(order[i]));
}

QFrame *FrmColors::swatch(ColorRole role) const
{
    switch (role) {
    case ColorRole::FormBack: return shpFormBack;
    case ColorRole::NameTitle: return shpNameTitle;
    case ColorRole::FrameTitle: return shpFrameTitle;
    case ColorRole::DetailTitle: return shpDetailTitle;
    case ColorRole::TextBoxBack: return shpTextBoxBack;
    case ColorRole::TextBoxText: return shpTextBoxText;
    case ColorRole::MinorButtons: return shpMinorButtons;
    case ColorRole::MainButtons: return shpMainButtons;
    }
    return nullptr;
}

ColorValue FrmColors::fillColor(ColorRole role) const
{
    return toColorValue(swatch(role)->palette().color(QPalette::Window));
}

void FrmColors::setFillColor(ColorRole role, ColorValue value)
{
    setWidgetColor(swatch(role), QPalette::Window, value);
}

void FrmColors::PickColor(ColorRole role)
{
    // The chooser opens on the part's own colour, so OK without a choice changes nothing.
    const std::optional<QColor> chosen = platform.chooseColor(this, toQColor(fillColor(role)));
    if (!chosen || !chosen->isValid())
        return; // a cancelled chooser changes nothing
    const ColorValue value = toColorValue(*chosen);
    setFillColor(role, value);
    emit colorPicked(role, value);
}

// Closing would lose the colours the swatches hold: the title bar's close hides, as Close does.
void FrmColors::closeEvent(QCloseEvent *event)
{
    event->ignore();
    cmdClose_Click();
}

// Close comes first in the tab order and has the focus whenever the window opens.
void FrmColors::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    cmdClose->setFocus(Qt::OtherFocusReason);
}
