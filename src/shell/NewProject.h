#pragma once
// TFNewProject: the project information dialog, used for New Project and Edit Project Info.
#include <QDialog>

class QLineEdit;
class QPushButton;

class TFNewProject : public QDialog {
    Q_OBJECT
public:
    explicit TFNewProject(QWidget* parent = nullptr);

    QLineEdit* ProjectNameEdit;
    QPushButton* OKButton;
    QPushButton* CancelButton;
};
