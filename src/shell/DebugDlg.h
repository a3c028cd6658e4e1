#pragma once
// TDebugDlg: a modeless window with one text area; the UK OS NTF importer adds the name of each
// imported file as a line. "Debug" in the System menu (hidden) shows or hides it.
#include <QDialog>
#include <QPointer>

#include <string>

class QPlainTextEdit;

class TDebugDlg : public QDialog {
    Q_OBJECT
public:
    explicit TDebugDlg(QWidget* parent = nullptr);
    void AddLine(const std::string& line);

    QPlainTextEdit* Memo;
};

// The one debug window, created at start-up (null before and after).
extern QPointer<TDebugDlg> DebugDlg;
// Adds a line to the debug window when there is one.
void DebugLine(const std::string& line);
