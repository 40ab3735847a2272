#pragma once

#include "colors/colors.h"

#include <QColor>
#include <QWidget>

class Platform;
class QFrame;
class QPushButton;

// The Edit Colors dialog. Its swatches hold the current colour of each role:
// there is no other copy, which is why the dialog is hidden, never closed.
class FrmColors : public QWidget
{
    Q_OBJECT

public:
    explicit FrmColors(Platform &platform);

    QPushButton *cmdFormBackColor = nullptr;
    QFrame *shpFormBack = nullptr;
    QFrame *shpTextBoxBack = nullptr;
    QPushButton *cmdTextBoxBack = nullptr;
    QPushButton *cmdContactNameTitle = nullptr;
    QFrame *shpNameTitle = nullptr;
    QFrame *shpTextBoxText = nullptr;
    QPushButton *cmdTextBoxText = nullptr;
    QPushButton *cmdFrameTitleText = nullptr;
    QFrame *shpFrameTitle = nullptr;
    QFrame *shpMinorButtons = nullptr;
    QPushButton *cmdMinorBack = nullptr;
    QPushButton *cmdDetailTitles = nullptr;
    QFrame *shpDetailTitle = nullptr;
    QFrame *shpMainButtons = nullptr;
    QPushButton *cmdMainBack = nullptr;
    QFrame *Line1 = nullptr;
    QPushButton *cmdClose = nullptr;

    QFrame *swatch(ColorRole role) const;
    ColorValue fillColor(ColorRole role) const;
    void setFillColor(ColorRole role, ColorValue value);

    void PickColor(ColorRole role);
    void cmdClose_Click() { hide(); }

signals:
    // The user chose a colour for a role; its swatch shows it already.
    void colorPicked(ColorRole role, ColorValue value);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    Platform &platform;
};
