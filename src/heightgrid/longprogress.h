#pragma once
// TLongProgressDlg: shown while an interpolation runs; the run polls Continue between its steps.
#include <QDialog>

#include <cstdint>

class QLabel;
class QPushButton;
class TAnimated;

class TLongProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit TLongProgressDlg(QWidget* parent = nullptr);

    // 1 until Cancel is pressed.
    uint8_t Continue = 1;

    QLabel* ActivityLabel = nullptr;
    TAnimated* Globe = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    // Closing the window asks to stop, like Cancel.
    void reject() override;
};

// The globe strip of the progress dialog: `frames` frames of size x size pixels side by side.
QImage GlobeAnimationStrip(int frames, int size);
