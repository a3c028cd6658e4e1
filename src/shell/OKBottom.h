#pragma once
// TOKBottomDlg: the OK/Cancel dialog template. Subclasses put their controls into Content();
// "OK" accepts (the default button), "Cancel" rejects.
#include <QDialog>

class QPushButton;
class QVBoxLayout;

class TOKBottomDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKBottomDlg(QWidget* parent = nullptr);

    QWidget* Content() const { return content_; }
    QPushButton* OKBtn() const { return ok_; }
    QPushButton* CancelBtn() const { return cancel_; }

protected:
    // Extra buttons go here, left of OK.
    QLayout* ButtonRow() const { return buttons_; }

private:
    QWidget* content_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QLayout* buttons_;
};
