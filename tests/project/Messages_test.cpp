#include "project/Messages.h"
#include "support/MessageLog.h"

#include <gtest/gtest.h>

namespace {

using RecordingPrompt = qxtest::TAnsweringMessageLog<TAnswer::No>;

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
