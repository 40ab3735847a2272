// The real dialogs, answered by a "user" acting on the modal window once it is up.

#include "platform/qtplatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

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
            if (dialog->isVisible()) // a failed check returns early: close rather than wait forever
                dialog->reject();
        });
    }

private slots:
    // A message has only OK; a question Yes and No, Yes the default; neither
    // has an icon. An input box starts empty, and Cancel gives the empty text.
    void dialogs_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<bool>("accept"); // OK or Yes
        QTest::newRow("message") << "message" << true;
        QTest::newRow("question, Yes") << "question" << true;
        QTest::newRow("question, No") << "question" << false;
        QTest::newRow("input, OK") << "input" << true;
        QTest::newRow("input, Cancel") << "input" << false;
    }

    void dialogs()
    {
        QFETCH(QString, dialog);
        QFETCH(bool, accept);
        const QString prompt = "Please type in a name to add to the database";
        if (dialog == "input") {
            whenShown<QInputDialog>([accept, prompt](QInputDialog *input) {
                QCOMPARE(input->windowTitle(), "Add Name");
                QCOMPARE(input->labelText(), prompt);
                QCOMPARE(input->textValue(), QString());
                input->setTextValue(QStringLiteral("Family"));
                accept ? input->accept() : input->reject();
            });
            QCOMPARE(platform.inputBox(nullptr, prompt, "Add Name"), accept ? "Family" : "");
            return;
        }
        const bool message = dialog == "message";
        whenShown<QMessageBox>([accept, message, prompt](QMessageBox *box) {
            QCOMPARE(box->windowTitle(), message ? "Kinfolio" : "Delete Category");
            QCOMPARE(box->text(), prompt);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->standardButtons(), message ? QMessageBox::Ok : QMessageBox::Yes | QMessageBox::No);
            if (!message)
                QCOMPARE(static_cast<QAbstractButton *>(box->defaultButton()), box->button(QMessageBox::Yes));
            box->button(message ? QMessageBox::Ok : accept ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        if (message)
            platform.showMessage(nullptr, prompt);
        else
            QCOMPARE(platform.askYesNo(nullptr, prompt, "Delete Category"), accept);
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
