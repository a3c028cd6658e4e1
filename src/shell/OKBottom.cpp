#include "shell/OKBottom.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TOKBottomDlg::TOKBottomDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Dialog"));
    auto* layout = new QVBoxLayout(this);
    content_ = new QWidget(this);
    layout->addWidget(content_, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    row->addWidget(ok_);
    row->addWidget(cancel_);
    layout->addLayout(row);
    buttons_ = row;
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}
