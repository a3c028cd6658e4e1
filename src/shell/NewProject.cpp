#include "shell/NewProject.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TFNewProject::TFNewProject(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Project Information"));
    auto* layout = new QGridLayout(this);
    auto* label = new QLabel(QStringLiteral("Project name"), this);
    ProjectNameEdit = new QLineEdit(this);
    ProjectNameEdit->setMinimumWidth(260);
    label->setBuddy(ProjectNameEdit);
    layout->addWidget(label, 0, 0);
    layout->addWidget(ProjectNameEdit, 0, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    row->addWidget(OKButton);
    row->addWidget(CancelButton);
    layout->addLayout(row, 1, 0, 1, 2);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}
