#include "controls/uOutBar.h"

#include <QApplication>
#include <QMainWindow>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A bar that records item drags instead of running a real drag loop, and counts its paints.
class TProbeBar : public TOutBar {
public:
    using TOutBar::TOutBar;
    std::vector<TOutItem*> drags;
    int paints = 0;

protected:
    void BeginItemDrag(TOutItem* item) override { drags.push_back(item); }
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        TOutBar::paintEvent(event);
    }
};

// Three pages: "Basics" with `basics` items, "Empty" without items, "Last" with two.
class OutBarTest : public ::testing::Test {
protected:
    void Build(int basics = 3, int height = 400)
    {
        bar = std::make_unique<TProbeBar>();
        bar->SmoothSpeed = 0;
        bar->resize(150, height);
        const char* names[] = {"Basics", "Empty", "Last"};
        const int counts[] = {basics, 0, 2};
        for (int p = 0; p < 3; ++p) {
            TOutPage* page = bar->Pages()->AddPage();
            page->SetCaption(names[p]);
            for (int i = 0; i < counts[p]; ++i) {
                TOutItem* item = page->AddItem();
                item->SetCaption(QStringLiteral("Item %1").arg(i));
                item->SetImageIndex(i);
            }
        }
        bar->show();
        bar->SetActivePageIndex(0);
        bar->LayoutBar();
    }
    TOutPage* Page(int i) const { return bar->Pages()->GetPage(i); }
    TOutItem* Item(int i) const { return Page(0)->Item(i); }
    QPoint IconOf(TOutItem* item)
    {
        bar->LayoutBar();
        return item->BoundsRect.center();
    }
    QPoint CaptionOf(TOutItem* item)
    {
        bar->LayoutBar();
        return item->TextRect.center();
    }
    QPoint HeaderOf(TOutPage* page)
    {
        bar->LayoutBar();
        return page->BoundsRect.center();
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(bar.get(), Qt::Key(key), modifiers); }

    // Sends a drag of local files to the bar at a point (enter first when `enter`).
    bool DragFiles(const QPoint& at, bool enter, QMimeData& data)
    {
        if (enter) {
            QDragEnterEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(bar.get(), &event);
            return event.isAccepted();
        }
        QDragMoveEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar.get(), &event);
        return event.isAccepted();
    }

    std::unique_ptr<TProbeBar> bar;
};

TEST_F(OutBarTest, NewBarHasItsDefaults)
{
    TOutBar fresh;
    EXPECT_EQ(fresh.width(), 150);
    EXPECT_EQ(fresh.height(), 2568);
    EXPECT_EQ(fresh.SmoothSpeed, 24);
    EXPECT_EQ(fresh.imgShellFile, -1);
    EXPECT_EQ(fresh.Delay, 800);
    EXPECT_EQ(fresh.Style(), TOutBarStyle::osLargeIcon);
    EXPECT_EQ(fresh.ActivePage(), nullptr);
    EXPECT_EQ(fresh.GetSelectedItem(), nullptr);
    TOutPage* page = fresh.Pages()->AddPage();
    EXPECT_EQ(page->FirstItem(), -1);
    EXPECT_EQ(page->SelectedItem(), nullptr);
    EXPECT_FALSE(page->Selected());
}

TEST_F(OutBarTest, FirstItemReadsMinusOneWithoutItemsAndZeroOutOfRange)
{
    Build(3);
    EXPECT_EQ(Page(1)->FirstItem(), -1);
    struct Case { int stored, read; };
    const Case cases[] = {{0, 0}, {2, 2}, {3, 0}, {-5, 0}, {99, 0}};
    for (const Case& c : cases) {
        Page(0)->SetFirstItem(c.stored);
        EXPECT_EQ(Page(0)->FirstItem(), c.read) << c.stored;
    }
}

TEST_F(OutBarTest, HeadersStackAboveAndBelowTheActivePage)
{
    Build(3);
    const QRect client = bar->contentsRect();
    const int h = QFontMetrics(bar->font()).height() + 6;
    struct Case { int active; int tops[3]; };
    const int bottom = client.top() + client.height();
    const Case cases[] = {
        {0, {client.top(), bottom - 2 * h, bottom - h}},
        {1, {client.top(), client.top() + h, bottom - h}},
        {2, {client.top(), client.top() + h, client.top() + 2 * h}},
        {-1, {client.top(), client.top() + h, client.top() + 2 * h}},
    };
    for (const Case& c : cases) {
        bar->SetActivePageIndex(c.active);
        bar->LayoutBar();
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(Page(p)->BoundsRect.top(), c.tops[p]) << "active " << c.active << " page " << p;
            EXPECT_EQ(Page(p)->BoundsRect.height(), h);
        }
    }
    // Items of pages that are not active are never laid out.
    bar->SetActivePageIndex(2);
    bar->LayoutBar();
    EXPECT_FALSE(Item(0)->LaidOut());
    EXPECT_TRUE(Page(2)->Item(0)->LaidOut());
}

TEST_F(OutBarTest, ScrollButtonsShowOnlyWhereThereIsSomethingToScrollTo)
{
    Build(12, 300); // far more items than fit
    EXPECT_FALSE(bar->UpScrollRect().isEmpty());
    EXPECT_TRUE(bar->DownScrollRect().isEmpty());
    EXPECT_EQ(bar->UpScrollRect().size(), QSize(16, 16));
    EXPECT_EQ(bar->UpScrollRect().right(), bar->contentsRect().right() - 4); // 20 from the right edge

    ASSERT_TRUE(bar->ScrollActivePage(1));
    bar->LayoutBar();
    EXPECT_EQ(Page(0)->FirstItem(), 1);
    EXPECT_FALSE(bar->UpScrollRect().isEmpty());
    EXPECT_FALSE(bar->DownScrollRect().isEmpty());

    int steps = 1;
    while (bar->ScrollActivePage(1))
        ++steps;
    bar->LayoutBar();
    EXPECT_TRUE(bar->UpScrollRect().isEmpty()); // the last items are all in view now
    EXPECT_TRUE(Item(11)->LaidOut());
    EXPECT_LT(steps, 12);
    while (bar->ScrollActivePage(-1)) {
    }
    EXPECT_EQ(Page(0)->FirstItem(), 0);
    EXPECT_FALSE(bar->ScrollActivePage(-1));

    // A page without items shows no items and no buttons.
    bar->SetActivePageIndex(1);
    bar->LayoutBar();
    EXPECT_TRUE(bar->UpScrollRect().isEmpty());
    EXPECT_TRUE(bar->DownScrollRect().isEmpty());
    EXPECT_FALSE(bar->ScrollActivePage(1));
}

TEST_F(OutBarTest, EveryLaidOutItemLiesInsideTheItemArea)
{
    for (TOutBarStyle style : {TOutBarStyle::osLargeIcon, TOutBarStyle::osSmallIcon}) {
        Build(12, 260);
        bar->SetStyle(style);
        for (int scroll = 0; scroll < 4; ++scroll) {
            bar->LayoutBar();
            int laidOut = 0;
            for (int i = 0; i < Page(0)->Count(); ++i)
                if (Item(i)->LaidOut()) {
                    ++laidOut;
                    EXPECT_TRUE(bar->ItemArea().contains(Item(i)->BoundsRect));
                    EXPECT_TRUE(bar->ItemArea().contains(Item(i)->TextRect));
                    EXPECT_GE(i, Page(0)->FirstItem());
                }
            EXPECT_GT(laidOut, 0);
            bar->ScrollActivePage(1);
        }
    }
}

TEST_F(OutBarTest, SelectingAHiddenItemScrollsTowardsIt)
{
    Build(12, 300);
    int lastShown = 0;
    for (int i = 0; i < 12; ++i)
        if (Item(i)->LaidOut())
            lastShown = i;
    Page(0)->SetSelectedItem(Item(lastShown + 1));
    EXPECT_EQ(Page(0)->FirstItem(), 1);
    Page(0)->SetSelectedItem(Item(0));
    EXPECT_EQ(Page(0)->FirstItem(), 0);
    // An item of another page cannot be selected here.
    Page(0)->SetSelectedItem(Page(2)->Item(0));
    EXPECT_EQ(Page(0)->SelectedItem(), Item(0));
}

TEST_F(OutBarTest, ActivePageChangesOnlyWhenItDiffers)
{
    Build(3);
    QSignalSpy changes(bar.get(), &TCustomOutBar::OnPageChange);
    bar->SetActivePageIndex(0); // already active
    EXPECT_EQ(changes.count(), 0);
    bar->SetActivePageIndex(2);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_FALSE(Page(0)->Selected());
    EXPECT_TRUE(Page(2)->Selected());
    bar->SetActivePageIndex(7); // out of range: no page
    EXPECT_EQ(bar->ActivePage(), nullptr);
    EXPECT_FALSE(Page(2)->Selected());
    EXPECT_EQ(bar->GetSelectedItem(), nullptr);
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(OutBarTest, KeysMoveBetweenPagesAndItemsWithinBounds)
{
    Build(3);
    bar->setFocus();
    struct Step { int key; int page; int item; };
    const Step steps[] = {
        {Qt::Key_Down, 0, 0},     {Qt::Key_Down, 0, 1},     {Qt::Key_Down, 0, 2},
        {Qt::Key_Down, 0, 2},     // the last item: nothing changes
        {Qt::Key_Up, 0, 1},       {Qt::Key_PageUp, 0, 1},   // the first page: nothing
        {Qt::Key_PageDown, 1, -1}, {Qt::Key_PageDown, 2, -1},
        {Qt::Key_PageDown, 2, -1}, // the last page: nothing
        {Qt::Key_Down, 2, 0},
    };
    for (const Step& s : steps) {
        Key(s.key);
        EXPECT_EQ(bar->ActivePageIndex(), s.page) << "key " << s.key;
        TOutItem* selected = bar->GetSelectedItem();
        EXPECT_EQ(selected ? selected->Index() : -1, s.item) << "key " << s.key;
    }
}

TEST_F(OutBarTest, EnterClicksTheSelectedItem)
{
    Build(3);
    QSignalSpy clicks(bar.get(), &TCustomOutBar::OnClick);
    Key(Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 0); // nothing selected yet
    Page(0)->SetSelectedItem(Item(1));
    Key(Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(bar->GetSelectedItem(), Item(1));
}

TEST_F(OutBarTest, MouseReleaseActivatesPagesClicksAndSelectsItems)
{
    Build(3);
    QSignalSpy clicks(bar.get(), &TCustomOutBar::OnClick);
    // Large style: the icon clicks, the caption only selects.
    QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::NoModifier, CaptionOf(Item(1)));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(bar->GetSelectedItem(), Item(1));
    QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::NoModifier, IconOf(Item(2)));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(bar->GetSelectedItem(), Item(2));
    // Small style: the caption clicks too.
    bar->SetStyle(TOutBarStyle::osSmallIcon);
    QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::NoModifier, CaptionOf(Item(0)));
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_EQ(bar->GetSelectedItem(), Item(0));
    // A header makes its page active; a disabled page's header does not.
    Page(1)->SetEnabled(false);
    QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::NoModifier, HeaderOf(Page(1)));
    EXPECT_EQ(bar->ActivePageIndex(), 0);
    QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::NoModifier, HeaderOf(Page(2)));
    EXPECT_EQ(bar->ActivePageIndex(), 2);
}

TEST_F(OutBarTest, ScrollButtonsStepTheActivePage)
{
    Build(12, 300);
    const QPoint up = bar->UpScrollRect().center();
    QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::NoModifier, up);
    EXPECT_EQ(Page(0)->FirstItem(), 1);
    bar->LayoutBar();
    QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::NoModifier, bar->DownScrollRect().center());
    EXPECT_EQ(Page(0)->FirstItem(), 0);
}

TEST_F(OutBarTest, DisabledItemIsNeverHotAndIgnoresClicks)
{
    Build(3);
    Item(1)->SetEnabled(false);
    QSignalSpy clicks(bar.get(), &TCustomOutBar::OnClick);
    QSignalSpy doubles(bar.get(), &TCustomOutBar::OnDblClick);
    QTest::mouseMove(bar.get(), IconOf(Item(1)));
    EXPECT_EQ(bar->HotItem(), nullptr);
    QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::NoModifier, IconOf(Item(1)));
    QTest::mouseDClick(bar.get(), Qt::LeftButton, Qt::NoModifier, IconOf(Item(1)));
    bar->ItemClick(Item(1));
    bar->ItemDblClick(Item(1));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(doubles.count(), 0);
    EXPECT_EQ(bar->GetSelectedItem(), nullptr);

    QTest::mouseMove(bar.get(), IconOf(Item(2)));
    EXPECT_EQ(bar->HotItem(), Item(2));
    QTest::mouseDClick(bar.get(), Qt::LeftButton, Qt::NoModifier, IconOf(Item(2)));
    EXPECT_EQ(doubles.count(), 1);
}

TEST_F(OutBarTest, DeleteAsksAndKeepsARefusedOrReadOnlyItem)
{
    Build(3);
    bool allowDelete = false;
    std::vector<TOutItem*> asked;
    QObject::connect(bar.get(), &TCustomOutBar::OnDeleteItem, [&](TOutItem* item, bool& allow) {
        asked.push_back(item);
        allow = allowDelete;
    });
    Page(0)->SetSelectedItem(Item(1));
    Key(Qt::Key_Delete);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(Page(0)->Count(), 3);

    Item(0)->SetReadOnly(true);
    bar->DeleteItem(Item(0));
    EXPECT_EQ(asked.size(), 1u); // not even asked
    EXPECT_EQ(Page(0)->Count(), 3);

    allowDelete = true;
    TOutItem* doomed = Item(1);
    QTest::mouseMove(bar.get(), IconOf(doomed));
    bar->MarkItem(doomed);
    ASSERT_EQ(bar->HotItem(), doomed);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Page(0)->Count(), 2);
    // The bar forgets the item everywhere.
    EXPECT_EQ(bar->HotItem(), nullptr);
    EXPECT_TRUE(bar->MarkedItems().empty());
    EXPECT_EQ(bar->GetSelectedItem(), nullptr);
    EXPECT_EQ(Item(1)->Caption(), "Item 2");
}

TEST_F(OutBarTest, FreeingThePagesClearsTheBarsReferences)
{
    Build(3);
    Page(0)->SetSelectedItem(Item(0));
    delete Page(0);
    EXPECT_EQ(bar->ActivePage(), nullptr);
    EXPECT_EQ(bar->Pages()->Count(), 2);
    bar->repaint(); // painting with the page gone is fine
    EXPECT_EQ(Page(0)->Caption(), "Empty");
}

TEST_F(OutBarTest, MarkedItemsMoveIntoTheActivePage)
{
    Build(3);
    // Ctrl+click on a caption marks; Ctrl+Insert marks the selected item; Escape unmarks.
    QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::ControlModifier, CaptionOf(Item(0)));
    EXPECT_TRUE(Item(0)->Marked());
    Key(Qt::Key_Escape);
    EXPECT_FALSE(Item(0)->Marked());
    EXPECT_TRUE(bar->MarkedItems().empty());

    TOutItem* first = Item(0);
    TOutItem* third = Item(2);
    bar->MarkItem(first);
    Page(0)->SetSelectedItem(third);
    Key(Qt::Key_Insert, Qt::ControlModifier);
    ASSERT_EQ(bar->MarkedItems().size(), 2u);

    bar->SetActivePageIndex(2);
    Page(2)->SetSelectedItem(Page(2)->Item(1));
    Key(Qt::Key_Insert, Qt::ShiftModifier);
    ASSERT_EQ(Page(2)->Count(), 4);
    EXPECT_EQ(Page(0)->Count(), 1);
    // Placed from the selected item's position on, in marking order.
    EXPECT_EQ(Page(2)->Item(1), first);
    EXPECT_EQ(Page(2)->Item(2), third);
    EXPECT_EQ(first->Page(), Page(2));
    EXPECT_TRUE(bar->MarkedItems().empty());
    EXPECT_FALSE(first->Marked());
}

TEST_F(OutBarTest, FixedItemsCannotBeDeletedDraggedOrMoved)
{
    Build(3);
    bar->ItemsFixed = true;
    TOutItem* first = Item(0);
    int asked = 0;
    QObject::connect(bar.get(), &TCustomOutBar::OnDeleteItem, [&](TOutItem*, bool&) { ++asked; });
    Page(0)->SetSelectedItem(first);
    Key(Qt::Key_Delete);
    bar->DeleteItem(Item(1));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(Page(0)->Count(), 3);
    // Marked and moved to another page: nothing moves.
    bar->MarkItem(first);
    bar->SetActivePageIndex(2);
    Key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(first->Page(), Page(0));
    EXPECT_EQ(Item(0), first);
    // Held on an item for the delay: no drag starts.
    bar->SetActivePageIndex(0);
    bar->LayoutBar();
    QTest::mouseMove(bar.get(), IconOf(first));
    QTest::mousePress(bar.get(), Qt::LeftButton, Qt::NoModifier, IconOf(first));
    bar->DelayMessage(1, reinterpret_cast<quintptr>(first));
    EXPECT_TRUE(bar->drags.empty());
    QTest::mouseRelease(bar.get(), Qt::LeftButton, Qt::NoModifier, IconOf(first));
    // The same bar unfixed edits again.
    bar->ItemsFixed = false;
    bar->DeleteItem(Item(2));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Page(0)->Count(), 2);
}

TEST_F(OutBarTest, DelayedMessagesActOnlyWhileTheirTagStillHolds)
{
    Build(12, 300);
    // Kind 2 and 3: the scroll sequence number must match.
    bar->DelayMessage(2, 5);
    EXPECT_EQ(Page(0)->FirstItem(), 0);
    // Kind 1: a drag starts only while the button is still held on the hot item.
    QTest::mouseMove(bar.get(), IconOf(Item(0)));
    bar->DelayMessage(1, reinterpret_cast<quintptr>(Item(0)));
    EXPECT_TRUE(bar->drags.empty()); // the button is up
    QTest::mousePress(bar.get(), Qt::LeftButton, Qt::NoModifier, IconOf(Item(0)));
    bar->DelayMessage(1, reinterpret_cast<quintptr>(Item(1)));
    EXPECT_TRUE(bar->drags.empty()); // not the hot item
    bar->DelayMessage(1, reinterpret_cast<quintptr>(Item(0)));
    ASSERT_EQ(bar->drags.size(), 1u);
    EXPECT_EQ(bar->drags[0], Item(0));
    // The release that ends a drag does not click.
    QSignalSpy clicks(bar.get(), &TCustomOutBar::OnClick);
    QTest::mouseRelease(bar.get(), Qt::LeftButton, Qt::NoModifier, IconOf(Item(0)));
    EXPECT_EQ(clicks.count(), 0);
    // Kind 0: only the pending page switches.
    bar->DelayMessage(0, reinterpret_cast<quintptr>(Page(2)));
    EXPECT_EQ(bar->ActivePageIndex(), 0);
}

TEST_F(OutBarTest, HoldingTheMouseOnAScrollButtonRepeatsUntilTheEnd)
{
    Build(12, 300);
    bar->Delay = 10;
    QTest::mouseMove(bar.get(), bar->UpScrollRect().center());
    // Repeats while the pointer stays, and stops on its own when the page cannot scroll further.
    QTRY_VERIFY_WITH_TIMEOUT(bar->UpScrollRect().isEmpty(), 5000);
    const int end = Page(0)->FirstItem();
    EXPECT_GT(end, 1);
    EXPECT_EQ(bar->ScrollSequence(), 0);
    QTest::qWait(60);
    EXPECT_EQ(Page(0)->FirstItem(), end);

    // Leaving the button between two steps stops the repeat.
    bar->Delay = 40;
    bar->LayoutBar();
    QTest::mouseMove(bar.get(), bar->DownScrollRect().center());
    QTRY_COMPARE_WITH_TIMEOUT(Page(0)->FirstItem(), end - 1, 5000);
    QTest::mouseMove(bar.get(), HeaderOf(Page(0)));
    EXPECT_EQ(bar->ScrollSequence(), 0);
    QTest::qWait(150);
    EXPECT_EQ(Page(0)->FirstItem(), end - 1);
}

TEST_F(OutBarTest, FileDragOverAnotherHeaderSwitchesToTheLastPageHovered)
{
    Build(3);
    bar->imgShellFile = 7;
    bar->Delay = 60;
    QSignalSpy changes(bar.get(), &TCustomOutBar::OnPageChange);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/one.qx2"))});
    ASSERT_TRUE(DragFiles(HeaderOf(Page(1)), true, data));
    EXPECT_EQ(bar->PendingPage(), Page(1));
    ASSERT_TRUE(DragFiles(HeaderOf(Page(2)), false, data)); // before the delay is over
    EXPECT_EQ(bar->PendingPage(), Page(2));
    QTRY_COMPARE_WITH_TIMEOUT(bar->ActivePageIndex(), 2, 5000);
    QTest::qWait(100);
    EXPECT_EQ(changes.count(), 1); // straight to the third page
    EXPECT_EQ(bar->PendingPage(), nullptr);

    // Dropped files become items of the page under the point.
    QDropEvent drop(QPointF(CaptionOf(Page(2)->Item(0))), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(Page(2)->Count(), 3);
    TOutItem* made = Page(2)->Item(0);
    EXPECT_EQ(made->Caption(), "one.qx2");
    EXPECT_EQ(made->FileName, "/tmp/one.qx2");
    EXPECT_EQ(made->ItemType, TOutItemType::itscFile);
    EXPECT_EQ(made->ImageIndex(), 7);
}

TEST_F(OutBarTest, FileDragsAreRefusedWhileImgShellFileIsMinusOne)
{
    Build(3);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/one.qx2"))});
    EXPECT_FALSE(DragFiles(HeaderOf(Page(2)), true, data));
    EXPECT_EQ(bar->PendingPage(), nullptr);
    QDropEvent drop(QPointF(HeaderOf(Page(2))), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar.get(), &drop);
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_EQ(Page(2)->Count(), 2);
}

// Runs `keys` on the in-place edit as soon as it appears.
void TypeIntoEdit(QWidget* bar, std::function<void(TInplaceEdit*)> keys)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, bar, keys] {
        if (auto* edit = bar->findChild<TInplaceEdit*>()) {
            timer->stop();
            timer->deleteLater();
            keys(edit);
        }
    });
    timer->start();
}

TEST_F(OutBarTest, RenamingTakesEnterAndDropsEscapeAndTab)
{
    Build(3);
    struct Case { int endKey; bool selectAllFirst; const char* caption; };
    const Case cases[] = {
        {Qt::Key_Return, false, "Renamed"},
        {Qt::Key_Escape, false, "Item 1"},
        {Qt::Key_Tab, false, "Item 1"},
        {Qt::Key_Return, true, "Renamed"}, // the whole text selected: still accepted
    };
    for (const Case& c : cases) {
        Item(1)->SetCaption("Item 1");
        TypeIntoEdit(bar.get(), [c](TInplaceEdit* edit) {
            EXPECT_EQ(edit->text(), "Item 1");
            edit->selectAll();
            QTest::keyClicks(edit, "Renamed");
            if (c.selectAllFirst)
                edit->selectAll();
            QTest::keyClick(edit, Qt::Key(c.endKey));
        });
        bar->RenameItem(Item(1));
        EXPECT_EQ(Item(1)->Caption().toStdString(), c.caption) << "key " << c.endKey;
        EXPECT_EQ(bar->findChild<TInplaceEdit*>(), nullptr);
        EXPECT_FALSE(bar->Renaming());
    }

    // A page header; a double click on a caption renames the item.
    TypeIntoEdit(bar.get(), [](TInplaceEdit* edit) {
        edit->setText("Start");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QTest::mouseDClick(bar.get(), Qt::LeftButton, Qt::NoModifier, HeaderOf(Page(2)));
    EXPECT_EQ(Page(2)->Caption(), "Start");
    TypeIntoEdit(bar.get(), [](TInplaceEdit* edit) {
        edit->setText("Twice");
        QTest::keyClick(edit, Qt::Key_Enter);
    });
    QTest::mouseDClick(bar.get(), Qt::LeftButton, Qt::NoModifier, CaptionOf(Item(0)));
    EXPECT_EQ(Item(0)->Caption(), "Twice");
}

TEST_F(OutBarTest, ReadOnlyObjectsAreNotRenamedByDoubleClick)
{
    Build(3);
    Page(2)->SetReadOnly(true);
    Item(0)->SetReadOnly(true);
    QSignalSpy doubles(bar.get(), &TCustomOutBar::OnDblClick);
    QTest::mouseDClick(bar.get(), Qt::LeftButton, Qt::NoModifier, HeaderOf(Page(2)));
    QTest::mouseDClick(bar.get(), Qt::LeftButton, Qt::NoModifier, CaptionOf(Item(0)));
    EXPECT_FALSE(bar->Renaming());
    EXPECT_EQ(doubles.count(), 1); // the read-only item's caption double-clicks the item instead
    EXPECT_EQ(Page(2)->Caption(), "Last");
}

TEST_F(OutBarTest, SmoothSwitchScrollsOnlyWhenItHasASpeed)
{
    for (int speed : {0, 24}) {
        Build(3);
        bar->SmoothSpeed = speed;
        QApplication::processEvents();
        bar->paints = 0;
        bar->SetActivePageIndex(2);
        const int during = bar->paints; // repaints made while switching
        if (speed == 0)
            EXPECT_EQ(during, 0);
        else
            EXPECT_GT(during, 50); // one pixel per step over the item area
        bar->SetActivePageIndex(0); // and back down again
        EXPECT_EQ(bar->ActivePageIndex(), 0);
        // The bar ends the same either way.
        const QImage image = bar->grab().toImage();
        bar->LayoutBar();
        EXPECT_EQ(image.pixelColor(Page(2)->BoundsRect.center() + QPoint(-60, 0)), Page(2)->BkColor);
    }
}

TEST_F(OutBarTest, MenuItemsPostTheirCommandToTheMainWindow)
{
    class TCommandWindow : public QMainWindow {
    public:
        std::vector<int> commands;
        bool event(QEvent* event) override
        {
            if (event->type() == MenuCommandEventType)
                commands.push_back(static_cast<TMenuCommandEvent*>(event)->Command);
            return QMainWindow::event(event);
        }
    } window;
    Build(3);
    Item(0)->ItemType = TOutItemType::itscMenu;
    Item(0)->Tag = 42;
    bar->ItemClick(Item(0));
    bar->ItemClick(Item(1)); // a plain item posts nothing
    QApplication::processEvents();
    EXPECT_EQ(window.commands, std::vector<int>{42});
}

} // namespace

namespace {

TEST_F(OutBarTest, RenameEndsWhenTheBarIsHiddenOrItsItemGoes)
{
    Build(3);
    // The window closes while the edit waits: nothing is renamed and the wait ends.
    QTimer::singleShot(20, bar.get(), [this] { bar->hide(); });
    bar->RenameItem(Item(0));
    EXPECT_EQ(Item(0)->Caption(), "Item 0");
    EXPECT_FALSE(bar->Renaming());
    EXPECT_EQ(bar->findChild<TInplaceEdit*>(), nullptr);

    bar->show();
    TOutItem* doomed = Item(1);
    QTimer::singleShot(20, bar.get(), [doomed] { delete doomed; });
    bar->RenameItem(doomed);
    EXPECT_EQ(Page(0)->Count(), 2);
    EXPECT_FALSE(bar->Renaming());
}

} // namespace

namespace {

TEST_F(OutBarTest, ItemMovedToAnotherBarIsForgottenByTheFirst)
{
    Build(3);
    TOutBar other;
    TOutPage* target = other.Pages()->AddPage();
    TOutItem* item = Item(0);
    QTest::mouseMove(bar.get(), IconOf(item));
    bar->MarkItem(item);
    ASSERT_EQ(bar->HotItem(), item);
    target->MoveItem(item, -1);
    EXPECT_EQ(item->Page(), target);
    EXPECT_EQ(item->Bar(), &other);
    EXPECT_EQ(bar->HotItem(), nullptr);
    EXPECT_TRUE(bar->MarkedItems().empty());
    EXPECT_FALSE(item->Marked());
    delete item; // only the new bar hears of it now
    EXPECT_EQ(target->Count(), 0);
    EXPECT_EQ(Page(0)->Count(), 2);
}

} // namespace
