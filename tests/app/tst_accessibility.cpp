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

// A control's name: its own, else its label's. A combo box's own name is its
// current entry on Linux, so only its label names it.
QString nameOf(QAccessibleInterface *control)
{
    const QString own = control->text(QAccessible::Name);
    if (control->role() != QAccessible::ComboBox && !own.isEmpty())
        return own;
    const QAccessibleInterface *label = labelOf(control);
    return label ? label->text(QAccessible::Name) : QString();
}

int gap(const QRect &a, const QRect &b)
{
    const int dx = qMax(0, qMax(a.left() - b.right(), b.left() - a.right()));
    const int dy = qMax(0, qMax(a.top() - b.bottom(), b.top() - a.bottom()));
    return dx + dy;
}

// Whether the eye takes `label` for the control's: it stands left of the
// control in its rows, or above it in its columns.
bool beside(const QRect &label, const QRect &control)
{
    const bool rows = label.top() <= control.bottom() && control.top() <= label.bottom();
    const bool columns = label.left() <= control.right() && control.left() <= label.right();
    return (rows && label.left() < control.left()) || (columns && label.top() < control.top());
}

// Whether `label` is the one a sighted user reads for the control: beside
// it, and no other label of its container beside it and closer.
bool seenAsLabel(const QWidget *control, const QWidget *label)
{
    const QRect place = control->geometry();
    if (!beside(label->geometry(), place))
        return false;
    const QList<QLabel *> labels = control->parentWidget()->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
    return std::none_of(labels.cbegin(), labels.cend(), [&](const QLabel *other) {
        return beside(other->geometry(), place) && gap(other->geometry(), place) < gap(label->geometry(), place);
    });
}

// Every control below `node` that takes the focus, by object name, with its
// name. What lies inside such a control (a combo box's list) is its own part.
void focusable(QAccessibleInterface *node, QMap<QString, QString> &found, QStringList &misplacedLabels)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        const auto *widget = qobject_cast<const QWidget *>(child->object());
        if (!widget || !child->state().focusable) {
            focusable(child, found, misplacedLabels);
            continue;
        }
        found.insert(widget->objectName(), nameOf(child));
        const QAccessibleInterface *label = labelOf(child);
        if (label && !seenAsLabel(widget, qobject_cast<const QWidget *>(label->object())))
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
