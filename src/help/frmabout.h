#pragma once

#include <QDialog>

class Platform;
class QFrame;
class QLabel;
class QPushButton;

// The About box: the program's title, version, what it is for and a notice,
// and the way to the system's System Information program.
class FrmAbout : public QDialog
{
    Q_OBJECT

public:
    // Makes the box and runs Form_Load; the caller shows it.
    explicit FrmAbout(Platform &platform);

    QLabel *picIcon = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblDescription = nullptr;
    // The etched separator: Line1[1] the grey line, Line1[0] the white one under it.
    QFrame *Line1[2] = {};
    QLabel *lblDisclaimer = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    // Starts the System Information program, or tells the user it cannot.
    void StartSysInfo();

    // Reads the value SubKeyRef of the key KeyName under the root KeyRoot
    // into KeyVal as text. False, with KeyVal empty, when it cannot be read.
    bool GetKeyValue(const QString &KeyRoot, const QString &KeyName, const QString &SubKeyRef, QString &KeyVal);

    // Esc and the title bar's close button do what OK does.
    void reject() override;

private:
    Platform &platform;
};
