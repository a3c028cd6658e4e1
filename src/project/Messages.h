#pragma once
// How the headless core talks to the user: status texts and progress of long operations, and
// message boxes / questions / file choices. The shell installs window-backed implementations;
// tests install recording ones. With nothing installed, status is dropped and messages go to
// standard error (the answer to a question is its default).
#include <string>
#include <vector>

enum class TMsgIcon { None, Information, Warning, Error };
enum class TAnswer { Yes, No, Cancel, Ok, Ignore };

// Status-bar panels and the progress meter of the main window.
class IStatusSink {
public:
    virtual ~IStatusSink() = default;
    virtual void SetOperationText(const std::string& text) = 0; // panel 1; "" clears it
    virtual void SetStepText(const std::string& text) = 0;      // panel 2; "" clears it
    virtual void SetProgress(int percent) = 0;                  // 0 clears the meter
    virtual void SetBusyCursor(bool busy) = 0;                  // hourglass on or off
    virtual void ProcessMessages() = 0;                         // let pending window messages run
};

// Message boxes, questions and the common file/colour/folder dialogs.
class IPrompt {
public:
    virtual ~IPrompt() = default;
    virtual void ShowMessage(const std::string& text, TMsgIcon icon) = 0;
    // Buttons: a combination of Yes/No/Cancel/Ok; returns the one pressed.
    virtual TAnswer Ask(const std::string& text, const std::vector<TAnswer>& buttons, TMsgIcon icon) = 0;
    // File dialogs: an empty result means cancelled. Filter in Qt's form ("Project (*.qx2)").
    virtual std::string OpenFileName(const std::string& title, const std::string& filter, const std::string& startDir) = 0;
    virtual std::string SaveFileName(const std::string& title, const std::string& filter, const std::string& startDir) = 0;
    virtual std::string ChooseFolder(const std::string& title, const std::string& startDir) = 0;
    // Colour as 24-bit red + 256 x green + 65536 x blue; false when cancelled.
    virtual bool ChooseColor(int& color) = 0;

    // The caption of the boxes shown while it is set; empty: the application's name.
    std::string Caption;
};

// Boxes shown during this scope carry the given caption (the one before is restored after).
class TPromptCaption {
public:
    explicit TPromptCaption(const std::string& caption);
    ~TPromptCaption();
    TPromptCaption(const TPromptCaption&) = delete;
    TPromptCaption& operator=(const TPromptCaption&) = delete;

private:
    IPrompt& prompt_;
    std::string previous_;
};

// The installed implementations (never null: defaults are used when none is installed).
IStatusSink& StatusSink();
IPrompt& Prompt();
// Installs an implementation (nullptr restores the default); returns the previous one.
IStatusSink* SetStatusSink(IStatusSink* sink);
IPrompt* SetPrompt(IPrompt* prompt);

// Shortcuts used everywhere.
void ShowMessage(const std::string& text);      // plain box with OK
void ShowError(const std::string& text);        // error icon
void ShowWarning(const std::string& text);      // warning icon
