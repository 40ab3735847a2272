// What a screen reader finds in each window: a name for every control that
// takes the focus, no two alike, and the label it reads being the one drawn
// beside the control.

#include "support/testsupport.h"

#include "help/frmabout.h"
#include "help/frmreadme.h"

#include <QAccessible>

namespace {

// The label a screen reader reads for a control, if one is tied to it.
QAccessibleInterface *labelOf(QAccessibleInterface *control)
{
    for (const auto &[label, relation] : control->relations(QAccessible::Label)) {
        if (label->role() == QAccessible::StaticText && !label->text(QAccessible::Name).isEmpty())
            return label;
    }
    return nullptr;
}

// How far apart two rectangles are.
int gap(const QRect &a, const QRect &b)
{
    return qMax(0, qMax(a.left() - b.right(), b.left() - a.right())) + qMax(0, qMax(a.top() - b.bottom(), b.top() - a.bottom()));
}

// Whether the eye takes `label` for the control's: it stands left of the
// control in its rows, or above it in its columns.
bool beside(const QRect &label, const QRect &control)
{
    const bool rows = label.top() <= control.bottom() && control.top() <= label.bottom();
    const bool columns = label.left() <= control.right() && control.left() <= label.right();
    return (rows && label.left() < control.left()) || (columns && label.top() < control.top());
}

// Every control below `node` that takes the focus, by object name, with its
// name: its own, else its label's (a combo box's own name is its current
// entry on Linux). What lies inside such a control is its own part. A label
// tied to a control must be the one a sighted user reads for it: beside it,
// and no other label of its container beside it and closer.
void focusable(QAccessibleInterface *node, QMap<QString, QString> &found, QStringList &misplacedLabels)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        const auto *widget = qobject_cast<const QWidget *>(child->object());
        if (!widget || !child->state().focusable) {
            focusable(child, found, misplacedLabels);
            continue;
        }
        QAccessibleInterface *label = labelOf(child);
        const QString own = child->role() == QAccessible::ComboBox ? QString() : child->text(QAccessible::Name);
        found.insert(widget->objectName(), !own.isEmpty() ? own : label ? label->text(QAccessible::Name) : QString());
        if (!label)
            continue;
        const QRect place = widget->geometry(), tied = qobject_cast<const QWidget *>(label->object())->geometry();
        const QList<QLabel *> labels = widget->parentWidget()->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
        if (!beside(tied, place) || std::any_of(labels.cbegin(), labels.cend(), [&](const QLabel *other) {
                return beside(other->geometry(), place) && gap(other->geometry(), place) < gap(tied, place);
            }))
            misplacedLabels.append(widget->objectName());
    }
}

} // namespace

class TestAccessibility : public FixtureTest
{
    Q_OBJECT

private slots:
    void namedControls_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("controls"); // how many take the focus, so none is missed
        QTest::newRow("main window") << "frmMain" << 24;
        QTest::newRow("picture") << "frmPic" << 2;
        QTest::newRow("colours") << "frmColors" << 9;
        QTest::newRow("About") << "frmAbout" << 2;
        QTest::newRow("Readme") << "frmReadme" << 2;
    }

    void namedControls()
    {
        QFETCH(QString, window);
        QFETCH(int, controls);
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        w.mnuAbout->trigger();
        w.mnuReadme->trigger();
        const QMap<QString, QWidget *> windows{{"frmMain", &w},
                                               {"frmPic", &w.picture.frmPic()},
                                               {"frmColors", &w.colors.frmColors()},
                                               {"frmAbout", w.help.frmAbout()},
                                               {"frmReadme", w.help.frmReadme()}};

        QMap<QString, QString> found;
        QStringList misplacedLabels;
        focusable(QAccessible::queryAccessibleInterface(windows.value(window)), found, misplacedLabels);
        QCOMPARE(found.size(), controls);
        QStringList unnamedOrAlike;
        for (auto control = found.cbegin(); control != found.cend(); ++control) {
            if (control->isEmpty() || found.values().count(*control) > 1)
                unnamedOrAlike.append(control.key() + ": \"" + *control + '"');
        }
        QVERIFY2(unnamedOrAlike.isEmpty(), qPrintable(unnamedOrAlike.join(", ")));
        QVERIFY2(misplacedLabels.isEmpty(), qPrintable("labelled by another label: " + misplacedLabels.join(", ")));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
