// The real dialogs, answered by a "user" acting on the modal window once it is up.

#include "platform/qtplatform.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
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
        // The user notes what the dialog shows, then answers it.
        QStringList seen;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                seen << input->windowTitle() << input->labelText() << input->textValue();
                input->setTextValue(QStringLiteral("Family"));
                return accept ? input->accept() : input->reject();
            }
            if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
                const bool yesNo = box->standardButtons() == (QMessageBox::Yes | QMessageBox::No);
                seen << box->windowTitle() << box->text() << (box->icon() == QMessageBox::NoIcon ? "no icon" : "icon")
                     << (box->standardButtons() == QMessageBox::Ok ? "OK"
                         : yesNo && box->defaultButton() == box->button(QMessageBox::Yes) ? "Yes, default, No"
                                                                                         : "other buttons");
                return box->button(yesNo ? (accept ? QMessageBox::Yes : QMessageBox::No) : QMessageBox::Ok)->click();
            }
            if (dialog) // whatever it is, it must not wait for ever
                dialog->reject();
        });
        if (title == "Add Name") {
            QCOMPARE(platform.inputBox(nullptr, prompt, title), accept ? "Family" : "");
            QCOMPARE(seen, (QStringList{title, prompt, ""}));
            return;
        }
        const bool message = title == "Kinfolio";
        if (message)
            platform.showMessage(nullptr, prompt);
        else
            QCOMPARE(platform.askYesNo(nullptr, prompt, title), accept);
        QCOMPARE(seen, (QStringList{title, prompt, "no icon", message ? "OK" : "Yes, default, No"}));
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
