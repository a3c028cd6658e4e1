#pragma once
// A prompt that records what the controls show and answers folder questions from a script.
#include "project/Messages.h"

#include <string>
#include <vector>

namespace qxtest {

class RecordingPrompt : public IPrompt {
public:
    std::vector<std::string> shown;
    std::string folderAnswer;
    std::string askedStart;
    int folderQuestions = 0;

    RecordingPrompt() { SetPrompt(this); }
    ~RecordingPrompt() override { SetPrompt(nullptr); }
    RecordingPrompt(const RecordingPrompt&) = delete;
    RecordingPrompt& operator=(const RecordingPrompt&) = delete;

    void ShowMessage(const std::string& text, TMsgIcon) override { shown.push_back(text); }
    TAnswer Ask(const std::string&, const std::vector<TAnswer>&, TMsgIcon) override { return TAnswer::Ok; }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string& start) override
    {
        ++folderQuestions;
        askedStart = start;
        return folderAnswer;
    }
    bool ChooseColor(int&) override { return false; }
};

} // namespace qxtest
