// The real dialogs, answered by a "user" acting on the modal window once it is up.

#include "platform/qtplatform.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

class TestQtPlatform : public QObject
{
    Q_OBJECT

private:
    QtPlatform platform;

private slots:
    // A message has only OK; a question Yes and No, Yes the default; neither
    // has an icon. An input box starts empty, and Cancel gives the empty text.
    void dialogs_data()
    {
        QTest::addColumn<QString>("title"); // also tells which dialog
        QTest::addColumn<bool>("accept");   // OK or Yes
        QTest::newRow("message") << "Kinfolio" << true;
        QTest::newRow("question, Yes") << "Delete Category" << true;
        QTest::newRow("question, No") << "Delete Category" << false;
        QTest::newRow("input, OK") << "Add Name" << true;
        QTest::newRow("input, Cancel") << "Add Name" << false;
    }

    void dialogs()
    {
        QFETCH(QString, title);
        QFETCH(bool, accept);
        const QString prompt = "Please type in a name to add to the database";
        const bool message = title == "Kinfolio";
        QTimer::singleShot(0, this, [=] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            // A failed check returns early: close rather than wait forever.
            const auto close = qScopeGuard([dialog] { if (dialog->isVisible()) dialog->reject(); });
            QCOMPARE(dialog->windowTitle(), title);
            if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                QCOMPARE(input->labelText(), prompt);
                QCOMPARE(input->textValue(), QString());
                input->setTextValue(QStringLiteral("Family"));
                return accept ? input->accept() : input->reject();
            }
            auto *box = qobject_cast<QMessageBox *>(dialog);
            QVERIFY(box);
            QCOMPARE(box->text(), prompt);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->standardButtons(), message ? QMessageBox::Ok : QMessageBox::Yes | QMessageBox::No);
            QVERIFY(message || box->defaultButton() == box->button(QMessageBox::Yes));
            box->button(message ? QMessageBox::Ok : accept ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        if (title == "Add Name")
            QCOMPARE(platform.inputBox(nullptr, prompt, title), accept ? "Family" : "");
        else if (message)
            platform.showMessage(nullptr, prompt);
        else
            QCOMPARE(platform.askYesNo(nullptr, prompt, title), accept);
    }

    // This machine's registry holds at most the first System Information key, as text.
    void registryHasOnlyTheSystemInformationPath()
    {
        const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE");
        QVERIFY(!platform.readRegistry(machine, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO"));
        const auto value = platform.readRegistry(machine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH");
        QVERIFY(!value || (value->type == Platform::RegSz && value->data.endsWith('\0')));
    }
};

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
