#pragma once
// The window-backed implementation of the prompt interface: message boxes, questions and the
// common file, folder and colour dialogs. main() installs it; tests install recording prompts.
#include "project/Messages.h"

class QWidget;

class TQtPrompt final : public IPrompt {
public:
    void ShowMessage(const std::string& text, TMsgIcon icon) override;
    TAnswer Ask(const std::string& text, const std::vector<TAnswer>& buttons, TMsgIcon icon) override;
    std::string OpenFileName(const std::string& title, const std::string& filter, const std::string& startDir) override;
    std::string SaveFileName(const std::string& title, const std::string& filter, const std::string& startDir) override;
    std::string ChooseFolder(const std::string& title, const std::string& startDir) override;
    bool ChooseColor(int& color) override;
};

// The default extension a file filter names first ("Quarlex2 Project (*.qx2)" gives "qx2"); empty
// when the filter names none.
std::string DefaultSuffixOfFilter(const std::string& filter);
