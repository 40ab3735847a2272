#pragma once

#include "controls/colorvalue.h"

#include <QWidget>

class QLabel;
class QPushButton;

// The picture window: the selected contact's image at its own size, and the
// buttons to choose another image or to close the window. It only shows; what
// its buttons ask for is done by whoever listens to its signals.
class FrmPic : public QWidget
{
    Q_OBJECT

public:
    FrmPic();

    QLabel *picItem = nullptr;
    QPushButton *cmdAddPic = nullptr;
    QPushButton *cmdClose = nullptr;

    // Shows the image at path in picItem, or no image; false when a non-empty
    // path gives no image. whose names the contact to a screen reader.
    bool loadPicture(const QString &path, const QString &whose = {});

    void cmdAddPic_Click();
    void cmdClose_Click();
    void picItem_Change();

    // Paints the window in the colour scheme's colours.
    void paint(ColorValue formBack, ColorValue minorButtons, ColorValue mainButtons);

    // The picture window's file filter: every kind of picture it shows, then
    // the JPEG and GIF files and all files.
    static QString pictureFilter();
    // The usual kinds of picture it shows, by name: "JPEG, PNG ... or GIF".
    static QString pictureKinds();

signals:
    void changePictureClicked();
    // Hidden by Close or the title bar's close.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The largest picture whose window fits the screen's free area.
    QSize largestPicture() const;
};
