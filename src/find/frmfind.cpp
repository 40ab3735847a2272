#include "find/frmfind.h"

#include "controls/appicon.h"
#include "controls/controls.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeView>
#include <QVBoxLayout>

// The matches as the list shows them: a whole new set per query, so the view
// is reset rather than told row by row (which costs per row).
class FoundList : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    QList<FindIndex::Match> matches;

    void show(QList<FindIndex::Match> found)
    {
        beginResetModel();
        matches = std::move(found);
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(matches.size()); }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const FindIndex::Match &match = matches[index.row()];
        return index.column() == 0 ? match.name : index.column() == 1 ? match.category : match.field;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
            return {};
        return section == 0 ? QStringLiteral("Name") : section == 1 ? QStringLiteral("Category") : QStringLiteral("Found in");
    }
};

FrmFind::FrmFind(AddressBook &book) : QWidget(nullptr, Qt::Window), m_index(book), m_found(new FoundList(this))
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find"));
    setWindowIcon(kinfolioIcon());
    setFont(Controls::windowFont());
    setAutoFillBackground(true);
    resize(Controls::twipsToPixels(this, 6600, Qt::Horizontal), Controls::twipsToPixels(this, 4200, Qt::Vertical));

    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setAccessibleName(QStringLiteral("Find"));
    txtFind->setPlaceholderText(QStringLiteral("Name, category, number, address..."));
    txtFind->setClearButtonEnabled(true);
    txtFind->installEventFilter(this);
    lstFound = new QTreeView(this);
    lstFound->setObjectName(QStringLiteral("lstFound"));
    lstFound->setAccessibleName(QStringLiteral("Contacts found"));
    lstFound->setModel(m_found);
    lstFound->setRootIsDecorated(false);
    lstFound->setUniformRowHeights(true);
    lstFound->setAllColumnsShowFocus(true);
    lstFound->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstFound->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstFound->setSelectionMode(QAbstractItemView::SingleSelection);
    // Scrolling to the chosen match lays out every row first: done only where
    // the match is not the first, not at every key typed.
    lstFound->setAutoScroll(false);
    lstFound->header()->setStretchLastSection(true);
    lstFound->header()->resizeSection(0, Controls::twipsToPixels(this, 2400, Qt::Horizontal));
    lstFound->header()->resizeSection(1, Controls::twipsToPixels(this, 1800, Qt::Horizontal));
    setTabOrder(txtFind, lstFound);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtFind);
    layout->addWidget(lstFound);

    connect(txtFind, &QLineEdit::textChanged, this, &FrmFind::txtFind_Change);
    connect(lstFound, &QAbstractItemView::activated, this, &FrmFind::lstFound_DblClick);
    // Matches show as the index fills, and follow the book's changes.
    connect(&m_index, &FindIndex::changed, this, &FrmFind::txtFind_Change);
}

FrmFind::~FrmFind() = default;

void FrmFind::paint(ColorValue formBack, ColorValue boxBack, ColorValue boxText)
{
    setWidgetColor(this, QPalette::Window, formBack);
    for (QWidget *box : {static_cast<QWidget *>(txtFind), static_cast<QWidget *>(lstFound)}) {
        setWidgetColor(box, QPalette::Base, boxBack);
        setWidgetColor(box, QPalette::Text, boxText);
    }
}

// The contact chosen stays chosen while it still matches, however often the
// list is refreshed as the book changes.
void FrmFind::txtFind_Change()
{
    const QModelIndex chosen = lstFound->currentIndex();
    std::pair<QString, QString> kept;
    if (chosen.isValid())
        kept = {m_found->matches[chosen.row()].category, m_found->matches[chosen.row()].name};
    m_found->show(m_index.search(txtFind->text()));
    int row = 0;
    for (int i = 0; chosen.isValid() && i < m_found->matches.size(); ++i) {
        if (m_found->matches[i].category == kept.first && m_found->matches[i].name == kept.second) {
            row = i;
            break;
        }
    }
    if (m_found->matches.isEmpty())
        return;
    lstFound->setCurrentIndex(m_found->index(row, 0));
    if (row > 0)
        lstFound->scrollTo(lstFound->currentIndex());
}

void FrmFind::lstFound_DblClick()
{
    const QModelIndex chosen = lstFound->currentIndex();
    if (chosen.isValid())
        emit contactChosen(m_found->matches[chosen.row()].category, m_found->matches[chosen.row()].name);
}

// The search box keeps the keys; Up and Down move in the list, Enter shows
// the contact chosen there.
bool FrmFind::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtFind && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QCoreApplication::sendEvent(lstFound, event);
            lstFound->scrollTo(lstFound->currentIndex());
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            lstFound_DblClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmFind::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}
