#pragma once
// Shared pieces of the shell tests: a recording prompt with scripted answers, a test window that
// counts the calls the main window makes, a helper that answers the next modal dialog, and a
// fixture that starts a main window on clean settings.
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "shell/BaseUnit.h"
#include "shell/Main.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace shelltest {

class TRecordingPrompt : public IPrompt {
public:
    struct TShown {
        std::string text;
        TMsgIcon icon;
    };
    std::vector<TShown> messages;
    std::vector<std::string> questions;
    std::deque<TAnswer> answers;         // scripted answers to Ask (Cancel when none left)
    std::deque<std::string> openNames;   // scripted results of OpenFileName ("" = cancelled)
    std::deque<std::string> saveNames;   // scripted results of SaveFileName
    std::deque<std::string> folders;     // scripted results of ChooseFolder
    std::vector<std::string> folderStarts;
    int fileDialogs = 0;

    void ShowMessage(const std::string& text, TMsgIcon icon) override { messages.push_back({text, icon}); }
    TAnswer Ask(const std::string& text, const std::vector<TAnswer>&, TMsgIcon) override
    {
        questions.push_back(text);
        if (answers.empty())
            return TAnswer::Cancel;
        TAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override
    {
        ++fileDialogs;
        return take(openNames);
    }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override
    {
        ++fileDialogs;
        return take(saveNames);
    }
    std::string ChooseFolder(const std::string&, const std::string& startDir) override
    {
        folderStarts.push_back(startDir);
        return take(folders);
    }
    bool ChooseColor(int&) override { return false; }

    bool Showed(const std::string& text) const
    {
        for (const auto& m : messages)
            if (m.text == text)
                return true;
        return false;
    }

private:
    static std::string take(std::deque<std::string>& queue)
    {
        if (queue.empty())
            return {};
        std::string s = queue.front();
        queue.pop_front();
        return s;
    }
};

// A child window that records what the main window does with it.
class TProbeForm : public TFBaseForm {
public:
    int refreshes = 0, renderSettings = 0, layerProperties = 0, layers = 0, fractalDepth = 0, setProjects = 0;
    std::vector<uint32_t> received;
    bool refuseClose = false;
    std::function<void(TAppMessage&)> onMessage;

    void RefreshFromProject() override { ++refreshes; }
    void SetProject(TProject** project) override
    {
        TFBaseForm::SetProject(project);
        ++setProjects;
    }
    void RefreshRenderSettings() override { ++renderSettings; }
    void ShowLayerProperties() override { ++layerProperties; }
    void RefreshLayers() override { ++layers; }
    void RefreshFractalDepth() override { ++fractalDepth; }
    void AppMessage(TAppMessage& message) override
    {
        received.push_back(message.Msg);
        if (onMessage)
            onMessage(message);
    }

protected:
    void closeEvent(QCloseEvent* event) override;
};

inline void TProbeForm::closeEvent(QCloseEvent* event)
{
    if (refuseClose)
        event->ignore();
    else
        TFBaseForm::closeEvent(event);
}

// Runs `answer` on the next modal dialog as soon as it is shown (the dialog's exec then returns).
inline void AnswerNextModal(std::function<void(QWidget*)> answer)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start();
}

inline void ClearSettings()
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, "Pellabrine", "QuarlexII").clear();
    QSettings(QSettings::IniFormat, QSettings::SystemScope, "Silicon Graphics").clear();
}

// A main window on clean settings with a recording prompt and a loader that always succeeds.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearSettings();
        SetPrompt(&prompt);
    }
    void TearDown() override
    {
        form.reset();
        SetPrompt(nullptr);
        for (int i = 0; i < ChildKindCount; ++i)
            TMainForm::RegisterChildWindow(static_cast<TChildKind>(i), nullptr);
        ClearSettings();
    }
    TMainFormOptions Options(std::vector<std::string> arguments = {})
    {
        TMainFormOptions options;
        options.ShowAboutBox = false;
        options.Arguments = std::move(arguments);
        options.LoadOpenGL = [this](const std::string& implementation, std::string*) {
            loadedImplementations.push_back(implementation);
            return glLoads;
        };
        options.UnloadOpenGL = [this] { ++glUnloads; };
        return options;
    }
    TMainForm& Start(std::vector<std::string> arguments = {})
    {
        form = std::make_unique<TMainForm>(Options(std::move(arguments)));
        return *form;
    }
    // Writes a valid project file named `name` in the temporary folder.
    std::string WriteProject(const std::string& name, const std::string& projectName = "Saved")
    {
        TProject project;
        project.NewGrid(4, 4, 30.0, 30.0);
        project.Header.Name = projectName;
        const std::string path = dir.file(name);
        EXPECT_TRUE(project.SaveToFile(path));
        return path;
    }

    TRecordingPrompt prompt;
    qxtest::TempDir dir;
    std::unique_ptr<TMainForm> form;
    std::vector<std::string> loadedImplementations;
    bool glLoads = true;
    int glUnloads = 0;
};

template <typename T>
void RegisterProbe(TChildKind kind, std::vector<T*>* made = nullptr)
{
    TMainForm::RegisterChildWindow(kind, [made]() -> TFBaseForm* {
        auto* probe = new T;
        if (made)
            made->push_back(probe);
        return probe;
    });
}

} // namespace shelltest
