#pragma once
// Shared pieces of the editor tests: a prompt that answers the colour dialog from a script and
// records where each dialog started, and a fixture holding a project in its own project variable.
#include "project/Messages.h"
#include "project/Project.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace editortest {

class TColourPrompt : public IPrompt {
public:
    std::deque<int> colours;       // answers of ChooseColor; -1 or none left: cancelled
    std::vector<int> colourStarts; // the colour each dialog started on
    std::vector<std::string> errors;

    void ShowMessage(const std::string& text, TMsgIcon) override { errors.push_back(text); }
    TAnswer Ask(const std::string&, const std::vector<TAnswer>&, TMsgIcon) override { return TAnswer::Cancel; }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int& colour) override
    {
        colourStarts.push_back(colour);
        if (colours.empty())
            return false;
        const int answer = colours.front();
        colours.pop_front();
        if (answer < 0)
            return false;
        colour = answer;
        return true;
    }
};

// A project of `columns` x `rows` cells 30 apart, all at height 10, in the variable `current`.
class EditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPrompt(&prompt);
        project = std::make_unique<TProject>();
        ASSERT_TRUE(project->NewGrid(64, 32, 30.0, 30.0));
        for (int c = 0; c < 64; ++c)
            for (int r = 0; r < 32; ++r)
                project->Grid.Cells[c][r].Height = 10.0;
        project->Grid.MinHeight = 0;
        project->Grid.MaxHeight = 100;
        current = project.get();
    }
    void TearDown() override { SetPrompt(nullptr); }

    TColourPrompt prompt;
    std::unique_ptr<TProject> project;
    TProject* current = nullptr;
};

} // namespace editortest
