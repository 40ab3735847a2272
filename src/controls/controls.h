#pragma once

// Small helpers that make Qt's controls behave as the windows' handlers expect:
// placement in twips, lists sorted ignoring case, and change notifications
// only on real changes.

#include "store/order.h"

#include <QComboBox>
#include <QFont>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QStringList>

#include <algorithm>

namespace Controls {

// The windows' font: Comic Sans MS where the system has it, its free
// look-alike otherwise.
inline QFont windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Comic Sans MS"), QStringLiteral("Comic Neue")});
    font.setPointSizeF(8.25);
    return font;
}

// Converts a length in twips (1/1440 inch) to pixels at the screen's logical DPI.
inline int twipsToPixels(const QWidget *widget, int twips, Qt::Orientation direction)
{
    const int dpi = direction == Qt::Horizontal ? widget->logicalDpiX() : widget->logicalDpiY();
    return qRound(twips * dpi / 1440.0);
}

inline int pixelsToTwips(const QWidget *widget, int pixels, Qt::Orientation direction)
{
    const int dpi = direction == Qt::Horizontal ? widget->logicalDpiX() : widget->logicalDpiY();
    return qRound(pixels * 1440.0 / dpi);
}

// A window's border and title bar as the window system reports them; where it
// reports none (before the window is first shown, or with no window manager),
// the given nominal size in twips.
inline QSize frameSize(const QWidget *window, int nominalWidth, int nominalHeight)
{
    const QSize frame = window->frameGeometry().size() - window->size();
    if (frame.width() > 0 || frame.height() > 0)
        return frame;
    return {twipsToPixels(window, nominalWidth, Qt::Horizontal), twipsToPixels(window, nominalHeight, Qt::Vertical)};
}

// Puts a control into its container at a place given in twips, under its design name.
template <typename Widget>
Widget *place(Widget *widget, QWidget *container, const char *name, int left, int top, int width, int height)
{
    widget->setParent(container);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twipsToPixels(container, left, Qt::Horizontal), twipsToPixels(container, top, Qt::Vertical),
                        twipsToPixels(container, width, Qt::Horizontal),
                        twipsToPixels(container, height, Qt::Vertical));
    return widget;
}

using Order::lessIgnoringCase;
using Order::sortedIgnoringCase;

// The row at which text goes in a list sorted ignoring case: after every
// entry that compares equal, so equal entries keep the order they came in.
template <typename TextAt>
int sortedRow(int count, const QString &text, TextAt textAt)
{
    int low = 0;
    int high = count;
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (lessIgnoringCase(text, textAt(mid)))
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

// Inserts at the sorted place and returns the row. Selection does not change.
inline int insertSorted(QListWidget *list, const QString &text)
{
    const int row = sortedRow(list->count(), text, [list](int i) { return list->item(i)->text(); });
    list->insertItem(row, text);
    return row;
}

// Inserts at the sorted place and returns the row. A combo box would select
// the first entry put into it and report that; here the selection stays.
inline int insertSorted(QComboBox *combo, const QString &text)
{
    const int row = sortedRow(combo->count(), text, [combo](int i) { return combo->itemText(i); });
    const QSignalBlocker quiet(combo);
    const bool noneSelected = combo->currentIndex() < 0;
    combo->insertItem(row, text);
    if (noneSelected)
        combo->setCurrentIndex(-1);
    return row;
}

// Adds entries read from a file, each at its sorted place.
inline void addSorted(QListWidget *list, const QStringList &texts)
{
    if (list->count() == 0) {
        list->addItems(sortedIgnoringCase(texts));
        return;
    }
    for (const QString &text : texts)
        insertSorted(list, text);
}

inline void addSorted(QComboBox *combo, const QStringList &texts)
{
    if (combo->count() == 0) {
        const QSignalBlocker quiet(combo);
        combo->addItems(sortedIgnoringCase(texts));
        combo->setCurrentIndex(-1);
        return;
    }
    for (const QString &text : texts)
        insertSorted(combo, text);
}

inline QStringList entries(const QListWidget *list)
{
    QStringList texts;
    texts.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

inline QStringList entries(const QComboBox *combo)
{
    QStringList texts;
    texts.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
}

// The text of the selected entry, or the empty text when none is selected.
inline QString selectedText(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

// Empties a list without reporting a selection change: emptying a list is not
// a choice of the user's.
inline void clear(QListWidget *list)
{
    const QSignalBlocker quiet(list);
    list->clear();
}

// Removes the selected entry; afterwards nothing is selected, and nothing is reported.
inline void removeSelected(QListWidget *list)
{
    const QSignalBlocker quiet(list);
    const QList<QListWidgetItem *> selected = list->selectedItems();
    if (!selected.isEmpty())
        delete list->takeItem(list->row(selected.first()));
    list->clearSelection();
    list->setCurrentRow(-1);
}

inline void removeSelected(QComboBox *combo)
{
    const QSignalBlocker quiet(combo);
    if (combo->currentIndex() >= 0)
        combo->removeItem(combo->currentIndex());
    combo->setCurrentIndex(-1);
}

inline QString text(const QLineEdit *box) { return box->text(); }
inline QString text(const QPlainTextEdit *box) { return box->toPlainText(); }

// Sets a box's text. Its change notification runs only if the text differs,
// for the multi-line boxes too. A one-line box shows the start of what it is given.
inline void setText(QLineEdit *box, const QString &value)
{
    box->setText(value);
    box->setCursorPosition(0);
}
inline void setText(QPlainTextEdit *box, const QString &value)
{
    if (box->toPlainText() != value)
        box->setPlainText(value);
}

} // namespace Controls
