#include "app/textboxes.h"

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
