#pragma once

#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QValidator>

#include "store/recordfile.h"

// The detail boxes never take the character the data files cannot hold in a
// value: a box that showed one would show what is not stored.
inline constexpr QChar refusedCharacter = RecordFile::unquotable;

// Drops refused characters from what is typed or pasted into a line box,
// keeping the rest, and takes a line break as a space: the box would hide it,
// yet store it.
class LineBoxValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

// A multi-line box that refuses the same characters and can limit the length
// of what the user types or pastes, as a one-line box's maximum length does.
class MultiLineBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

    void setMaxLength(int length) { m_maxLength = length; }
    int maxLength() const { return m_maxLength; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    // What of text fits in place of the selection.
    QString accepted(QString text) const;

    int m_maxLength = -1;
};

// A list box whose selection only the choice of another entry changes: a
// click on its blank part, Ctrl+click or Ctrl+Space never leaves it with
// nothing selected, since the window would go on showing a contact that no
// longer receives what is typed. Moving into it with the keyboard picks the
// first entry, not the one after it.
class ListBox : public QListWidget
{
    Q_OBJECT

public:
    using QListWidget::QListWidget;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void focusInEvent(QFocusEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    // The focus shows as on the buttons: Qt's styles mark at most the current
    // entry, faintly, and nothing while there is none.
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
};

// A drop-down list the user picks from, which shows the focus as the buttons do.
class DropDownList : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent *event) override;
};
