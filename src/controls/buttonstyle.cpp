#include "controls/buttonstyle.h"

#include "controls/controls.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>

namespace {

class GraphicalButtonStyle : public QProxyStyle
{
public:
    GraphicalButtonStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element != PE_PanelButtonCommand) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const bool pressed = option->state & (State_Sunken | State_On);
        const QColor face = option->palette.color(QPalette::Button);
        const QRect r = option->rect.adjusted(0, 0, -1, -1);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->fillRect(r, pressed ? face.darker(115) : face);
        // A raised edge: light above and left, dark below and right; swapped when pressed.
        const QColor light = face.lighter(135);
        const QColor dark = face.darker(170);
        painter->setPen(pressed ? dark : light);
        painter->drawLine(r.topLeft(), r.topRight());
        painter->drawLine(r.topLeft(), r.bottomLeft());
        painter->setPen(pressed ? light : dark);
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->drawLine(r.topRight(), r.bottomRight());
        if (option->state & State_HasFocus)
            drawFocusFrame(*painter, r.adjusted(3, 3, -3, -3), face);
        painter->restore();
    }

    // Captions too wide for their button wrap onto more lines instead of being cut.
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
        if (element != CE_PushButtonLabel || !button || !button->icon.isNull()) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        if (!proxy()->styleHint(SH_UnderlineShortcut, button, widget))
            flags |= Qt::TextHideMnemonic;
        const QRect text = button->rect.adjusted(2, 1, -2, -1);
        proxy()->drawItemText(painter, text, flags, button->palette, button->state & State_Enabled, button->text,
                              QPalette::ButtonText);
    }
};

} // namespace

void drawFocusFrame(QPainter &painter, const QRect &inside, const QColor &background)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(background.lightness() > 128 ? Qt::black : Qt::white, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(inside);
    painter.restore();
}

QStyle *graphicalButtonStyle()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = new GraphicalButtonStyle;
        style->setParent(qApp);
    }
    return style;
}

QPushButton *graphicalButton(QWidget *container, const char *name, const QString &caption, int left, int top,
                             int width, int height)
{
    auto *button = Controls::place(new QPushButton(caption), container, name, left, top, width, height);
    button->setAutoDefault(false);
    button->setStyle(graphicalButtonStyle());
    return button;
}
