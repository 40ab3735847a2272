#include "controls/textboxes.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

QValidator::State QuoteFreeValidator::validate(QString &input, int &pos) const
{
    for (qsizetype i = input.size() - 1; i >= 0; --i) {
        if (input[i] == refusedCharacter) {
            input.remove(i, 1);
            if (i < pos)
                --pos;
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

// On focus Qt makes the first entry current without selecting it, so the
// next Down would pick the second and, with one entry, no key would pick any.
// With no current entry the first key that moves picks the first one.
void ListBox::focusInEvent(QFocusEvent *event)
{
    QListWidget::focusInEvent(event);
    if (selectedItems().isEmpty() && currentIndex().isValid())
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}
