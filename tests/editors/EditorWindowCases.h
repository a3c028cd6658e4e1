#pragma once
// The editors' windows opened through the main window's commands: each command opens its editor
// once, into its global and on the project variable, with its menu item disabled while it is open.
#include "editors/Atmosphere.h"
#include "editors/Camera.h"
#include "editors/Clouds.h"
#include "editors/water.h"
#include "shell/BaseUnit.h"
#include "shell/Main.h"

#include <QAction>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace editortest {

// The four environment editors, as the program registers them.
inline void RegisterEnvironmentEditors()
{
    TMainForm::RegisterChildWindow(TChildKind::Camera, [] { return new TFCamera; });
    TMainForm::RegisterChildWindow(TChildKind::Atmosphere, [] { return new TFAtmosphere; });
    TMainForm::RegisterChildWindow(TChildKind::Cloud, [] { return new TFCloud; });
    TMainForm::RegisterChildWindow(TChildKind::Water, [] { return new TFWater; });
}

struct TEditorCommand {
    int command;
    TChildKind kind;
    std::function<TFBaseForm*()> global;
};

inline void ExpectEachCommandOpensItsEditorOnce(TMainForm& main, const std::vector<TEditorCommand>& cases)
{
    for (const TEditorCommand& c : cases) {
        EXPECT_EQ(c.global(), nullptr);
        main.OutBarClick(c.command);
        TFBaseForm* open = main.ChildWindow(c.kind);
        ASSERT_NE(open, nullptr) << c.command;
        EXPECT_EQ(c.global(), open);
        EXPECT_EQ(open->ProjectVar(), &CurrentProject);
        if (QAction* item = main.MenuItemOf(c.kind)) {
            EXPECT_FALSE(item->isEnabled());
        }
        main.OutBarClick(c.command);
        EXPECT_EQ(main.ChildWindow(c.kind), open);
    }
}

} // namespace editortest
