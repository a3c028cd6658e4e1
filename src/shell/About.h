#pragma once
// TAboutQuarlex2: the borderless about box, centred on the screen: a picture filling the window
// and a dome-shaded "Continue" button that closes it.
#include <QDialog>

class THemisphereButton;

class TAboutQuarlex2 : public QDialog {
    Q_OBJECT
public:
    explicit TAboutQuarlex2(QWidget* parent = nullptr);

    THemisphereButton* ContinueButton;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QImage picture_;
};
