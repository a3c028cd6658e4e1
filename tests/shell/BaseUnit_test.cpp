// Application messages: every form hears a broadcast, in order, safely when handlers close forms.
#include "shell/BaseUnit.h"
#include "ShellFixture.h"

#include <QPointer>

using shelltest::TProbeForm;

TEST(BroadcastToForms, ReachesEveryFormInOrderWithACopy)
{
    std::vector<int> order;
    TProbeForm a, b;
    a.onMessage = [&](TAppMessage& m) {
        order.push_back(1);
        m.WParam = 99; // a handler changing its copy must not change what the next form gets
    };
    b.onMessage = [&](TAppMessage& m) {
        order.push_back(2);
        EXPECT_EQ(m.WParam, 7u);
    };
    BroadcastToForms(TAppMessage{WM_GRIDCURSOR, 7, 0, 0});
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(BroadcastToForms, HandlerDeletingALaterFormIsSafe)
{
    auto* first = new TProbeForm;
    QPointer<TProbeForm> second = new TProbeForm;
    auto* third = new TProbeForm;
    first->onMessage = [&](TAppMessage&) { delete second.data(); };
    BroadcastToForms(TAppMessage{WM_GRIDCHANGED});
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(third->received, (std::vector<uint32_t>{WM_GRIDCHANGED}));
    delete first;
    delete third;
}

TEST(BroadcastToForms, HandlerDeletingItselfIsSafe)
{
    auto* self = new TProbeForm;
    TProbeForm after;
    self->onMessage = [self](TAppMessage&) { delete self; };
    BroadcastToForms(TAppMessage{WM_UNDODONE});
    EXPECT_EQ(after.received, (std::vector<uint32_t>{WM_UNDODONE}));
}

TEST(BroadcastToForms, FailingHandlerEndsTheBroadcastQuietly)
{
    TProbeForm failing, later;
    failing.onMessage = [](TAppMessage&) { throw std::runtime_error("handler failed"); };
    BroadcastToForms(TAppMessage{WM_GRIDCHANGED});
    EXPECT_TRUE(later.received.empty());
}

TEST(BroadcastToForms, DestroyedFormsHearNothing)
{
    TProbeForm kept;
    { TProbeForm gone; }
    BroadcastToForms(TAppMessage{WM_PLACEMENTSELECT});
    EXPECT_EQ(kept.received, (std::vector<uint32_t>{WM_PLACEMENTSELECT}));
}

TEST(TFBaseForm, ProjectGoesThroughTheVariable)
{
    TProbeForm form;
    EXPECT_THROW(form.Project(), EInitError);
    TProject first, second;
    TProject* variable = &first;
    form.SetProject(&variable);
    EXPECT_EQ(&form.Project(), &first);
    variable = &second; // replacing the project is seen without a new SetProject
    EXPECT_EQ(&form.Project(), &second);
    variable = nullptr;
    EXPECT_THROW(form.Project(), EInitError);
}

TEST(TRenderLock, NestsAndReleases)
{
    EXPECT_FALSE(RenderLocked());
    {
        TRenderLock outer;
        {
            TRenderLock inner;
            EXPECT_TRUE(RenderLocked());
        }
        EXPECT_TRUE(RenderLocked());
    }
    EXPECT_FALSE(RenderLocked());
}
