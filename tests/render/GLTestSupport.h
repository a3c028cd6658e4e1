#pragma once
// Runs test code inside a real OpenGL context: an off-screen panel of the given size draws once
// and calls body from its draw event (Mesa's software rasteriser under the test X server).
#include "platform/GLEntryPoints.h"
#include "render/GLPanel.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace qxtest {

inline void WithGLContext(int width, int height, const std::function<void()>& body)
{
    std::string error;
    ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
    TGLPanel panel;
    panel.resize(width, height);
    bool ran = false;
    panel.OnGLDraw = [&](TGLPanel&) {
        ran = true;
        body();
    };
    panel.Redraw();
    EXPECT_TRUE(ran);
}

} // namespace qxtest
