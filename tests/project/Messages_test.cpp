#include "project/Messages.h"

#include <gtest/gtest.h>

namespace {

class RecordingPrompt : public IPrompt {
public:
    std::vector<std::string> shown;
    void ShowMessage(const std::string& text, TMsgIcon) override { shown.push_back(text); }
    TAnswer Ask(const std::string&, const std::vector<TAnswer>&, TMsgIcon) override { return TAnswer::No; }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
};

TEST(Messages, InstalledPromptReceivesMessagesAndDefaultReturns)
{
    RecordingPrompt prompt;
    EXPECT_EQ(SetPrompt(&prompt), nullptr);
    ShowError("E0001 Memory Allocation Error");
    EXPECT_EQ(Prompt().Ask("?", {TAnswer::Yes, TAnswer::No}, TMsgIcon::None), TAnswer::No);
    EXPECT_EQ(SetPrompt(nullptr), &prompt);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0], "E0001 Memory Allocation Error");
    // The default prompt answers with the first button offered.
    EXPECT_EQ(Prompt().Ask("?", {TAnswer::Cancel, TAnswer::Yes}, TMsgIcon::None), TAnswer::Cancel);
}

} // namespace
