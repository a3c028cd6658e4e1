#pragma once
// Stand-ins for the prompt and the status bar in tests. TMessageLog records the messages shown and
// the questions asked; a question is answered with `answer` when set, else with its first button;
// file, folder and colour dialogs are cancelled. TStatusLog records the status texts and progress
// and runs onPump where pending messages would run.
#include "project/Messages.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qxtest {

class TMessageLog : public IPrompt {
public:
    std::vector<std::string> shown;
    std::vector<std::string> questions;
    std::optional<TAnswer> answer;

    void ShowMessage(const std::string& text, TMsgIcon) override { shown.push_back(text); }
    TAnswer Ask(const std::string& text, const std::vector<TAnswer>& buttons, TMsgIcon) override
    {
        questions.push_back(text);
        if (answer)
            return *answer;
        return buttons.empty() ? TAnswer::Ok : buttons.front();
    }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
    bool Showed(const std::string& text) const
    {
        for (const std::string& s : shown)
            if (s == text)
                return true;
        return false;
    }
};

// The same, installed as the prompt for its lifetime.
class TInstalledMessageLog : public TMessageLog {
public:
    TInstalledMessageLog() : previous_(SetPrompt(this)) {}
    ~TInstalledMessageLog() override { SetPrompt(previous_); }
    TInstalledMessageLog(const TInstalledMessageLog&) = delete;
    TInstalledMessageLog& operator=(const TInstalledMessageLog&) = delete;

private:
    IPrompt* previous_;
};

// A log whose questions are all answered with one answer.
template <TAnswer Answer>
class TAnsweringMessageLog : public TMessageLog {
public:
    TAnsweringMessageLog() { answer = Answer; }
};

class TStatusLog : public IStatusSink {
public:
    std::vector<std::string> operations, steps;
    std::vector<int> progress;
    std::function<void()> onPump;
    std::function<void(int)> onProgress;
    int pumps = 0;

    void SetOperationText(const std::string& text) override { operations.push_back(text); }
    void SetStepText(const std::string& text) override { steps.push_back(text); }
    void SetProgress(int percent) override
    {
        progress.push_back(percent);
        if (onProgress)
            onProgress(percent);
    }
    void SetBusyCursor(bool) override {}
    void ProcessMessages() override
    {
        ++pumps;
        if (onPump)
            onPump();
    }
};

} // namespace qxtest
