#include "shell/DebugDlg.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

QPointer<TDebugDlg> DebugDlg;

TDebugDlg::TDebugDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Dialog"));
    auto* layout = new QVBoxLayout(this);
    Memo = new QPlainTextEdit(QStringLiteral("Memo"), this);
    layout->addWidget(Memo, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TDebugDlg::AddLine(const std::string& line) { Memo->appendPlainText(QString::fromStdString(line)); }

void DebugLine(const std::string& line)
{
    if (DebugDlg)
        DebugDlg->AddLine(line);
}
