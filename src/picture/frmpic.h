#pragma once

#include <QWidget>

class FrmMain;
class QLabel;
class QPushButton;

// The picture window: the selected contact's image at its own size, and the
// buttons to choose another image or to close the window.
class FrmPic : public QWidget
{
public:
    explicit FrmPic(FrmMain &frm);

    QLabel *picItem = nullptr;
    QPushButton *cmdAddPic = nullptr;
    QPushButton *cmdClose = nullptr;

    // Shows the image at path in picItem, or no image; false when a non-empty
    // path gives no image.
    bool loadPicture(const QString &path);

    void cmdAddPic_Click();
    void cmdClose_Click();
    void picItem_Change();

    // The picture window's file filter.
    static QString pictureFilter();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The largest picture whose window fits the screen's free area.
    QSize largestPicture() const;
    int px(int twips, Qt::Orientation direction) const;
    int twips(int pixels, Qt::Orientation direction) const;

    FrmMain &frm;
};
