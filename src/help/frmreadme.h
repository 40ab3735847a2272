#pragma once

#include <QWidget>

class QPushButton;
class QTextBrowser;

// The help window: the program's help page, with a Close button under it,
// filling whatever size the user gives the window.
class FrmReadme : public QWidget
{
    Q_OBJECT

public:
    // Makes the window and runs Form_Load; the caller shows it.
    FrmReadme();

    QTextBrowser *wbsReadme = nullptr;
    QPushButton *cmdClose = nullptr;

    // The help page, Readme.htm in the program's own directory.
    static QString pagePath();

    void Form_Load();
    void Form_Resize();
    void cmdClose_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int px(int twips, Qt::Orientation direction) const;
};
