#include "platform/qtplatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

// The real dialogs, answered by a "user" acting on the modal window once it is up.
class TestQtPlatform : public QObject
{
    Q_OBJECT

private:
    QtPlatform platform;

    template <typename Dialog>
    void whenShown(std::function<void(Dialog *)> act)
    {
        QTimer::singleShot(0, this, [act] {
            auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            act(dialog);
        });
    }

private slots:
    void message()
    {
        whenShown<QMessageBox>([](QMessageBox *box) {
            QCOMPARE(box->windowTitle(), "Kinfolio");
            QCOMPARE(box->text(), "Please select a name to remove.");
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
            box->button(QMessageBox::Ok)->click();
        });
        platform.showMessage(nullptr, QStringLiteral("Please select a name to remove."));
    }

    void question_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("press");
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << QMessageBox::Yes << true;
        QTest::newRow("no") << QMessageBox::No << false;
    }

    void question()
    {
        QFETCH(QMessageBox::StandardButton, press);
        QFETCH(bool, yes);
        whenShown<QMessageBox>([press](QMessageBox *box) {
            QCOMPARE(box->windowTitle(), "Delete Category");
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(static_cast<QAbstractButton *>(box->defaultButton()), box->button(QMessageBox::Yes));
            box->button(press)->click();
        });
        QCOMPARE(platform.askYesNo(nullptr, QStringLiteral("Sure?"), QStringLiteral("Delete Category")), yes);
    }

    void input_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("result");
        QTest::newRow("OK") << true << "Family";
        QTest::newRow("Cancel gives the empty text") << false << "";
    }

    void input()
    {
        QFETCH(bool, accept);
        QFETCH(QString, result);
        whenShown<QInputDialog>([accept](QInputDialog *dialog) {
            QCOMPARE(dialog->windowTitle(), "Add Name");
            QCOMPARE(dialog->labelText(), "Please type in a name to add to the database");
            QCOMPARE(dialog->textValue(), QString()); // empty default
            dialog->setTextValue(QStringLiteral("Family"));
            accept ? dialog->accept() : dialog->reject();
        });
        QCOMPARE(platform.inputBox(nullptr, QStringLiteral("Please type in a name to add to the database"),
                                   QStringLiteral("Add Name")),
                 result);
    }

    void registryHasOnlyTheSystemInformationPath()
    {
        QVERIFY(!platform.readRegistry(QStringLiteral("HKEY_LOCAL_MACHINE"),
                                       QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                                       QStringLiteral("MSINFO")));
        const auto value = platform.readRegistry(QStringLiteral("HKEY_LOCAL_MACHINE"),
                                                 QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                                                 QStringLiteral("PATH"));
        if (value) {
            QCOMPARE(value->type, quint32(Platform::RegSz));
            QVERIFY(value->data.endsWith('\0'));
        }
    }
};

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
