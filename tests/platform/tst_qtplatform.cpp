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

    QtPlatform platform;
    QStringList seen; // what each dialog showed: title, text, icon and buttons or default text

    void answer(bool accept)
    {
        QTimer::singleShot(0, this, [this, accept] {
            QWidget *dialog = QApplication::activeModalWidget();
            if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                seen << input->windowTitle() << input->labelText() << "default " + input->textValue();
                input->setTextValue("Family");
                return accept ? input->accept() : input->reject();
            }
            auto *box = qobject_cast<QMessageBox *>(dialog);
            if (!box) // whatever it is, it must not wait for ever
                return void(dialog && dialog->close());
            seen << box->windowTitle() << box->text() << (box->icon() == QMessageBox::NoIcon ? "no icon" : "icon");
            for (QAbstractButton *button : box->buttons())
                seen << button->text() + (button == box->defaultButton() ? " (default)" : "");
            box->button(box->buttons().size() == 1 ? QMessageBox::Ok : accept ? QMessageBox::Yes : QMessageBox::No)->click();
        });
    }

private slots:
    // A message has only OK; a question Yes (the default) and No; no icon; Cancel gives an empty text.
    void dialogs()
    {
        for (const bool accept : {true, false}) {
            seen.clear();
            answer(accept);
            platform.showMessage(nullptr, "Hi");
            answer(accept);
            QCOMPARE(platform.askYesNo(nullptr, "Sure?", "Delete Category"), accept);
            answer(accept);
            QCOMPARE(platform.inputBox(nullptr, "Name?", "Add Name"), accept ? "Family" : "");
            QCOMPARE(seen, (QStringList{"Kinfolio", "Hi", "no icon", "OK", "Delete Category", "Sure?", "no icon",
                                        "&Yes (default)", "&No", "Add Name", "Name?", "default "}));
        }
    }
};

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
