#include "controls/textboxes.h"

#include "controls/buttonstyle.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QTextCursor>

QValidator::State LineBoxValidator::validate(QString &input, int &pos) const
{
    for (qsizetype i = input.size() - 1; i >= 0; --i) {
        const bool pair = input[i] == QLatin1Char('\n') && i > 0 && input[i - 1] == QLatin1Char('\r');
        if (input[i] == refusedCharacter || pair) {
            input.remove(i, 1);
            if (i < pos)
                --pos;
        } else if (input[i] == QLatin1Char('\n') || input[i] == QLatin1Char('\r')
                   || input[i] == QChar::LineSeparator || input[i] == QChar::ParagraphSeparator) {
            input[i] = QLatin1Char(' ');
        }
    }
    return Acceptable;
}

QString MultiLineBox::accepted(QString text) const
{
    text.remove(refusedCharacter);
    if (m_maxLength >= 0) {
        const qsizetype kept = toPlainText().size() - textCursor().selectedText().size();
        text.truncate(qMax<qsizetype>(0, m_maxLength - kept));
        // A character made of two code units is kept whole or not at all.
        if (!text.isEmpty() && text.back().isHighSurrogate())
            text.chop(1);
    }
    return text;
}

void MultiLineBox::keyPressEvent(QKeyEvent *event)
{
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && (typed[0].isPrint() || typed[0] == QLatin1Char('\r'));
    if (printable && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && accepted(typed) != typed) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void MultiLineBox::inputMethodEvent(QInputMethodEvent *event)
{
    const QString commit = accepted(event->commitString());
    if (commit == event->commitString()) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent filtered(event->preeditString(), event->attributes());
    filtered.setCommitString(commit, event->replacementStart(), event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&filtered);
}

void MultiLineBox::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText())
        return;
    QString text = source->text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    insertPlainText(accepted(text));
    ensureCursorVisible();
}

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    if (!index.isValid() || command.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::NoUpdate;
    return command;
}

// With nothing chosen a key moves from the top, as in any list: End picks the
// last entry and Page Down a page down, the first key down the first entry.
QModelIndex ListBox::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (currentIndex().isValid() || count() == 0)
        return QListWidget::moveCursor(action, modifiers);
    const QModelIndex first = model()->index(0, 0);
    if (action == MoveDown || action == MoveNext)
        return first;
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    return QListWidget::moveCursor(action, modifiers);
}

// On focus Qt makes the first entry current without selecting it, so the
// next Down would pick the second and, with one entry, no key would pick any.
// With no current entry the first key that moves picks the first one.
void ListBox::focusInEvent(QFocusEvent *event)
{
    QListWidget::focusInEvent(event);
    if (selectedItems().isEmpty() && currentIndex().isValid())
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    viewport()->update();
}

void ListBox::focusOutEvent(QFocusEvent *event)
{
    QListWidget::focusOutEvent(event);
    viewport()->update();
}

void ListBox::paintEvent(QPaintEvent *event)
{
    QListWidget::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(viewport());
        drawFocusFrame(painter, viewport()->rect().adjusted(1, 1, -2, -2), palette().color(QPalette::Base));
    }
}

// Scrolling moves what is drawn, the frame too: it is drawn afresh.
void ListBox::scrollContentsBy(int dx, int dy)
{
    QListWidget::scrollContentsBy(dx, dy);
    if (hasFocus())
        viewport()->update();
}

void DropDownList::paintEvent(QPaintEvent *event)
{
    QComboBox::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        drawFocusFrame(painter, rect().adjusted(3, 3, -4, -4), palette().color(QPalette::Button));
    }
}
