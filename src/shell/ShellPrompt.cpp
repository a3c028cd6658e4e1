#include "shell/ShellPrompt.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace {

QWidget* dialogParent() { return QApplication::activeWindow(); }

QString title(const std::string& caption)
{
    return caption.empty() ? QApplication::applicationName() : QString::fromStdString(caption);
}


QMessageBox::Icon boxIcon(TMsgIcon icon)
{
    switch (icon) {
    case TMsgIcon::Information: return QMessageBox::Information;
    case TMsgIcon::Warning: return QMessageBox::Warning;
    case TMsgIcon::Error: return QMessageBox::Critical;
    case TMsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton boxButton(TAnswer answer)
{
    switch (answer) {
    case TAnswer::Yes: return QMessageBox::Yes;
    case TAnswer::No: return QMessageBox::No;
    case TAnswer::Cancel: return QMessageBox::Cancel;
    case TAnswer::Ignore: return QMessageBox::Ignore;
    case TAnswer::Ok: break;
    }
    return QMessageBox::Ok;
}

} // namespace

std::string DefaultSuffixOfFilter(const std::string& filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9_]+)"));
    const auto match = pattern.match(QString::fromStdString(filter));
    return match.hasMatch() ? match.captured(1).toStdString() : std::string();
}

void TQtPrompt::ShowMessage(const std::string& text, TMsgIcon icon)
{
    QMessageBox box(boxIcon(icon), title(Caption), QString::fromStdString(text), QMessageBox::Ok, dialogParent());
    box.exec();
}

TAnswer TQtPrompt::Ask(const std::string& text, const std::vector<TAnswer>& buttons, TMsgIcon icon)
{
    QMessageBox box(icon == TMsgIcon::None ? QMessageBox::Question : boxIcon(icon), title(Caption),
                    QString::fromStdString(text), QMessageBox::NoButton, dialogParent());
    for (TAnswer answer : buttons)
        box.addButton(boxButton(answer));
    if (!buttons.empty())
        box.setDefaultButton(boxButton(buttons.front()));
    const int pressed = box.exec();
    for (TAnswer answer : buttons)
        if (pressed == boxButton(answer))
            return answer;
    // Closing the box with Escape or the title bar counts as the most cautious answer offered.
    for (TAnswer answer : {TAnswer::Cancel, TAnswer::No, TAnswer::Ignore, TAnswer::Ok})
        for (TAnswer offered : buttons)
            if (offered == answer)
                return answer;
    return buttons.empty() ? TAnswer::Ok : buttons.back();
}

std::string TQtPrompt::OpenFileName(const std::string& caption, const std::string& filter, const std::string& startDir)
{
    QFileDialog dialog(dialogParent(), QString::fromStdString(caption), QString::fromStdString(startDir),
                       QString::fromStdString(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QString::fromStdString(DefaultSuffixOfFilter(filter)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front().toStdString();
}

std::string TQtPrompt::SaveFileName(const std::string& caption, const std::string& filter, const std::string& startDir)
{
    QFileDialog dialog(dialogParent(), QString::fromStdString(caption), QString::fromStdString(startDir),
                       QString::fromStdString(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString::fromStdString(DefaultSuffixOfFilter(filter)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front().toStdString();
}

std::string TQtPrompt::ChooseFolder(const std::string& caption, const std::string& startDir)
{
    return QFileDialog::getExistingDirectory(dialogParent(), QString::fromStdString(caption),
                                             QString::fromStdString(startDir))
        .toStdString();
}

bool TQtPrompt::ChooseColor(int& color)
{
    const QColor start(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    const QColor chosen = QColorDialog::getColor(start, dialogParent());
    if (!chosen.isValid())
        return false;
    color = chosen.red() + 256 * chosen.green() + 65536 * chosen.blue();
    return true;
}
