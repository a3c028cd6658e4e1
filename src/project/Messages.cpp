#include "project/Messages.h"

#include <cstdio>

namespace {

class NullStatusSink final : public IStatusSink {
public:
    void SetOperationText(const std::string&) override {}
    void SetStepText(const std::string&) override {}
    void SetProgress(int) override {}
    void SetBusyCursor(bool) override {}
    void ProcessMessages() override {}
};

class StderrPrompt final : public IPrompt {
public:
    void ShowMessage(const std::string& text, TMsgIcon) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    TAnswer Ask(const std::string& text, const std::vector<TAnswer>& buttons, TMsgIcon) override
    {
        std::fprintf(stderr, "%s\n", text.c_str());
        return buttons.empty() ? TAnswer::Ok : buttons.front();
    }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
};

NullStatusSink defaultSink;
StderrPrompt defaultPrompt;
IStatusSink* currentSink = &defaultSink;
IPrompt* currentPrompt = &defaultPrompt;

} // namespace

IStatusSink& StatusSink() { return *currentSink; }
IPrompt& Prompt() { return *currentPrompt; }

TPromptCaption::TPromptCaption(const std::string& caption) : prompt_(Prompt()), previous_(prompt_.Caption)
{
    prompt_.Caption = caption;
}

TPromptCaption::~TPromptCaption() { prompt_.Caption = previous_; }

IStatusSink* SetStatusSink(IStatusSink* sink)
{
    IStatusSink* previous = currentSink == &defaultSink ? nullptr : currentSink;
    currentSink = sink ? sink : &defaultSink;
    return previous;
}

IPrompt* SetPrompt(IPrompt* prompt)
{
    IPrompt* previous = currentPrompt == &defaultPrompt ? nullptr : currentPrompt;
    currentPrompt = prompt ? prompt : &defaultPrompt;
    return previous;
}

void ShowMessage(const std::string& text) { Prompt().ShowMessage(text, TMsgIcon::None); }
void ShowError(const std::string& text) { Prompt().ShowMessage(text, TMsgIcon::Error); }
void ShowWarning(const std::string& text) { Prompt().ShowMessage(text, TMsgIcon::Warning); }
