#pragma once
// The editor test prompt with scripted file dialogs, a counter of the 2033 broadcasts and a
// temporary folder for the files the editors pick.
#include "editors/EditorsTestSupport.h"
#include "shell/BaseUnit.h"
#include "support/TestSupport.h"

#include <QObject>

#include <deque>
#include <string>
#include <vector>

namespace editortest {

class TFilePrompt : public TColourPrompt {
public:
    std::deque<std::string> openNames; // results of OpenFileName ("" = cancelled)
    std::deque<std::string> saveNames; // results of SaveFileName
    std::vector<std::string> openStarts;
    std::vector<std::string> plainMessages;

    void ShowMessage(const std::string& text, TMsgIcon icon) override
    {
        (icon == TMsgIcon::None ? plainMessages : errors).push_back(text);
    }
    std::string OpenFileName(const std::string&, const std::string&, const std::string& start) override
    {
        openStarts.push_back(start);
        return Take(openNames);
    }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return Take(saveNames); }

private:
    static std::string Take(std::deque<std::string>& q)
    {
        if (q.empty())
            return {};
        std::string s = q.front();
        q.pop_front();
        return s;
    }
};

// Counts the WM_FORCELIMITEDREDRAW broadcasts while it lives.
class TRedrawCounter {
public:
    TRedrawCounter()
    {
        RegisterMessageForm(&owner_, [this](TAppMessage& m) {
            if (m.Msg == WM_FORCELIMITEDREDRAW)
                ++count;
        });
    }
    int count = 0;

private:
    QObject owner_;
};

class FileEditorTest : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SetPrompt(&files);
    }
    // A path inside the temporary folder, with '/' separators.
    std::string Path(const std::string& name) const { return dir.path().string() + "/" + name; }
    TFilePrompt files;
    qxtest::TempDir dir;
    TRedrawCounter redraws;
};

} // namespace editortest
