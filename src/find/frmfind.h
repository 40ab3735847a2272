#pragma once

#include "controls/colorvalue.h"
#include "model/findindex.h"

#include <QWidget>

class AddressBook;
class FoundList;
class QLineEdit;
class QTreeView;

// The Find window: a search box and the contacts matching what it holds,
// each with its category and the field that matched, over the whole book.
// It only shows; the contact the user chooses is shown by whoever listens.
class FrmFind : public QWidget
{
    Q_OBJECT

public:
    // Starts reading the book for its index.
    explicit FrmFind(AddressBook &book);
    ~FrmFind() override;

    QLineEdit *txtFind = nullptr;
    QTreeView *lstFound = nullptr;

    FindIndex &index() { return m_index; }

    void txtFind_Change();
    // The match chosen in the list, if any, shown in the main window.
    void lstFound_DblClick();

    // Paints the window in the colour scheme's colours.
    void paint(ColorValue formBack, ColorValue boxBack, ColorValue boxText);

signals:
    void contactChosen(const QString &category, const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    FindIndex m_index;
    FoundList *m_found = nullptr;
};
