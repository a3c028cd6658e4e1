#pragma once
// TOutBar: the vertical shortcut bar. A stack of pages shown as header buttons; the active page
// shows its items (icon and caption) between the headers above it and those below it, with two
// scroll buttons when its items do not fit.
//
// Model: the bar owns one TOutPages collection, which owns the pages, which own their items. All
// derive from TOutBase and forward change, redraw, removal and invalidate notices to their owner
// up to the collection, which passes them to the bar. Deleting a page or item removes it from its
// owner and clears the bar's references to it.
//
// Layout: LayoutBar() computes every rectangle (headers, icons, captions, scroll buttons) the way
// painting does; painting and every mouse and key handler lay out first, so hit tests always
// agree with what is on screen. An object whose bounds rectangle is empty is not laid out.
//
// Timing: actions that wait (switching pages while a drag hovers over a header, starting an item
// drag while the button is held, repeating the scroll buttons) go through TDelayThread, which
// delivers a TDelayMessageEvent (kind, tag) to the bar after the bar's Delay. A message whose tag
// no longer matches the bar's state when it arrives is ignored.
//
// Renaming (double click on a caption or header, Ctrl+Enter) opens a TInplaceEdit over the caption
// and waits, letting events run, until it is accepted (Enter) or cancelled (Escape, Tab).
//
// Drops: items dragged from a bar move to the page and position under the point; files from the
// desktop are accepted only when imgShellFile is not -1 and become items of the active page.
#include <QEvent>
#include <QFrame>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>

#include <cstdint>
#include <vector>

class QPainter;
class TCustomOutBar;
class TOutItem;
class TOutPage;
class TOutPages;

enum class TOutItemType { itNone, itscMenu, itscFile, itscFolder };
enum class TOutBarStyle { osLargeIcon, osSmallIcon };
enum class TOutBorderStyle { bsNone, bsSingle };

// Font styles of a page header caption (a set of these flags).
enum TOutFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// The Windows system colours the bar is drawn in, by their numbers (3 the bar, 8 window text,
// 11 page headers, 13 highlight, 16 shadow, 19 text on the bar, 20 highlight edge, 21 dark shadow).
QColor OutBarSystemColor(int index);

// Pictures of one size, picked by index.
struct TOutImageList {
    QSize Size{32, 32};
    std::vector<QPixmap> Images;
    QColor BkColor; // given the bar's background colour when the list is set
    bool Valid(int index) const { return index >= 0 && index < static_cast<int>(Images.size()); }
};

class TOutBase : public QObject {
    Q_OBJECT
public:
    explicit TOutBase(TOutBase* owner);

    TOutBase* Owner() const { return owner_; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

    // Set by layout: for an item its icon, for a page its header; and an item's caption.
    QRect BoundsRect;
    QRect TextRect;
    bool LaidOut() const { return !BoundsRect.isEmpty(); }

    // Notices, forwarded to the owner (the collection hands them to the bar).
    virtual void NotifyChange(TOutBase* object);
    virtual void RedrawItem(TOutItem* item);
    virtual void NotifyRemove(TOutBase* object);
    virtual void InvalidateBar();

    // The point lies in the text rectangle.
    virtual bool HitText(const QPoint& point) const;
    // This object when the point is in either rectangle, else the first child that reports a hit.
    virtual TOutBase* ObjectAt(const QPoint& point);
    // Both rectangles emptied, recursively.
    virtual void ClearRects();
    // Objects whose rectangles do not lie wholly inside `rect` lose them (they did not fit).
    virtual void ClipRects(const QRect& rect);

    // The bar this object belongs to (null while detached).
    virtual TCustomOutBar* Bar() const;

protected:
    virtual std::vector<TOutBase*> Children() const { return {}; }
    TOutBase* owner_;

private:
    bool visible_ = true;
    bool enabled_ = true;
    bool readOnly_ = false;
};

class TOutItem : public TOutBase {
    Q_OBJECT
public:
    ~TOutItem() override;

    TOutPage* Page() const;
    int Index() const; // position on its page

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    // The picture of the item; the main window also uses it as the item's command number.
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);
    TOutItemType ItemType = TOutItemType::itNone;
    int Tag = 0;      // the menu command an itscMenu item posts
    QString FileName; // the file of an item made from a dropped file
    bool Marked() const { return marked_; }

    void DrawIcon(QPainter& painter, const QColor& background, bool fillBackground, const TOutImageList* images) const;
    // Draws the caption in `color` inside TextRect; with calculate the rectangle's height is
    // measured first (word-wrapped captions); flags are Qt alignment and wrap flags.
    void DrawCaption(QPainter& painter, const QColor& color, bool calculate, bool showFocus, int flags);

private:
    friend class TOutPage;
    friend class TCustomOutBar;
    explicit TOutItem(TOutPage* page);
    QString caption_;
    int imageIndex_ = -1;
    bool marked_ = false;
};

class TOutPage : public TOutBase {
    Q_OBJECT
public:
    ~TOutPage() override;

    TOutItem* AddItem();
    // A new item at `index` (at the end when out of range).
    TOutItem* InsertItem(int index);
    int Count() const { return static_cast<int>(items_.size()); }
    TOutItem* Item(int index) const;
    int IndexOf(const TOutItem* item) const;
    int Index() const; // position in the collection
    // Moves an item (of any page of any bar) to `index` on this page (the end when out of range).
    void MoveItem(TOutItem* item, int index);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    QColor Color;   // caption colour
    QColor BkColor; // header colour
    int FontStyles = 0;
    bool Selected() const { return selected_; }

    // Index of the first shown item: -1 without items; a stored value out of range reads as 0.
    int FirstItem() const;
    void SetFirstItem(int index);

    TOutItem* SelectedItem() const { return selectedItem_; }
    // Selects an item of this page (null: none). On the active page an item that is not fully
    // laid out makes the page scroll by one item towards it.
    void SetSelectedItem(TOutItem* item);

protected:
    std::vector<TOutBase*> Children() const override;

private:
    friend class TOutPages;
    friend class TOutItem;
    friend class TCustomOutBar;
    explicit TOutPage(TOutPages* pages);
    void Detach(TOutItem* item);
    // Takes the item from its page and puts it before `before` (at the end when null).
    void Place(TOutItem* item, TOutItem* before);
    std::vector<TOutItem*> items_;
    QString caption_;
    bool selected_ = false;
    int firstItem_ = 0;
    TOutItem* selectedItem_ = nullptr;
};

class TOutPages : public TOutBase {
    Q_OBJECT
public:
    ~TOutPages() override;

    TOutPage* AddPage();
    TOutPage* GetPage(int index) const;
    int Count() const { return static_cast<int>(pages_.size()); }
    int IndexOf(const TOutPage* page) const;

    // Handed to the bar.
    void NotifyChange(TOutBase* object) override;
    void RedrawItem(TOutItem* item) override;
    void NotifyRemove(TOutBase* object) override;
    void InvalidateBar() override;
    TCustomOutBar* Bar() const override { return bar_; }

protected:
    std::vector<TOutBase*> Children() const override;

private:
    friend class TCustomOutBar;
    friend class TOutPage;
    explicit TOutPages(TCustomOutBar* bar);
    std::vector<TOutPage*> pages_;
    TCustomOutBar* bar_;
};

// ---- Timing -------------------------------------------------------------------------------------

// The message a delay delivers: WM_USER + 1 with the kind and the tag.
constexpr int WM_OUTBARDELAY = 1025;
inline const QEvent::Type DelayMessageEventType = static_cast<QEvent::Type>(QEvent::User + 1);

class TDelayMessageEvent : public QEvent {
public:
    TDelayMessageEvent(int message, quintptr first, quintptr second)
        : QEvent(DelayMessageEventType), Message(message), WParam(first), LParam(second)
    {
    }
    int Message;
    quintptr WParam;
    quintptr LParam;
};

// A one-shot delayed message. Runs on a single-shot timer of the user-interface thread rather than
// a sleeping thread of its own: the message arrives after the same delay, nothing waits for it, and
// a target destroyed meanwhile takes the timer with it instead of receiving a message posted to a
// freed window. It deletes itself once the message is posted.
class TDelayThread : public QObject {
    Q_OBJECT
public:
    // Starts at once; owned by the target.
    static TDelayThread* Create(int delay, QObject* window, int message, quintptr first, quintptr second);

private:
    TDelayThread(int delay, QObject* window, int message, quintptr first, quintptr second);
    QPointer<QObject> window_;
    int message_;
    quintptr first_;
    quintptr second_;
};

// Posted to the application's main window by an itscMenu item: the menu command of its Tag.
inline const QEvent::Type MenuCommandEventType = static_cast<QEvent::Type>(QEvent::User + 2);
class TMenuCommandEvent : public QEvent {
public:
    explicit TMenuCommandEvent(int command) : QEvent(MenuCommandEventType), Command(command) {}
    int Command;
};

// ---- In-place caption editor --------------------------------------------------------------------

class TInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    enum TResult { Editing = 0, Accepted = 1, Cancelled = 2 };
    // Parented to the bar and placed exactly on the rectangle, holding the text.
    TInplaceEdit(TCustomOutBar* owner, const QString& text, const QRect& rect);
    int Result = Editing;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
};

// ---- The bar ------------------------------------------------------------------------------------

class TCustomOutBar : public QFrame {
    Q_OBJECT
public:
    explicit TCustomOutBar(QWidget* parent = nullptr);
    ~TCustomOutBar() override;

    TOutPages* Pages() const { return pages_; }

    TOutPage* ActivePage() const { return activePage_; }
    int ActivePageIndex() const;
    // An index out of range makes no page active.
    void SetActivePageIndex(int index);
    void SetActivePage(TOutPage* page);
    // The active page's selected item; null without an active page.
    TOutItem* GetSelectedItem() const;

    void BeginUpdate();
    void EndUpdate();

    QColor BackGroundColor() const { return backGroundColor_; }
    void SetBackGroundColor(const QColor& color);
    const TOutImageList* LargeImages() const { return largeImages_.Images.empty() ? nullptr : &largeImages_; }
    const TOutImageList* SmallImages() const { return smallImages_.Images.empty() ? nullptr : &smallImages_; }
    void SetLargeImages(const TOutImageList& images);
    void SetSmallImages(const TOutImageList& images);
    TOutBarStyle Style() const { return style_; }
    void SetStyle(TOutBarStyle style);
    TOutBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TOutBorderStyle style);
    int SmoothSpeed = 24;
    int imgShellFile = -1;
    int Delay = 800; // milliseconds of every delayed action
    // Set by an owner whose items stand for fixed commands: items can then be neither deleted,
    // dragged, moved by marking nor dropped in (from a bar or as files); clicks, pages and
    // renaming work as before.
    bool ItemsFixed = false;

    // Run-time state.
    TOutItem* HotItem() const { return hotItem_; }
    TOutItem* DraggedItem() const { return draggedItem_; }
    TOutPage* PendingPage() const { return pendingPage_; }
    int ScrollSequence() const { return scrollSequence_; }
    const std::vector<TOutItem*>& MarkedItems() const { return marked_; }
    bool Renaming() const { return renaming_; }

    // Computes every rectangle as painting does. The scroll-button rectangles are empty when the
    // buttons are not shown.
    void LayoutBar();
    QRect UpScrollRect() const { return upRect_; }
    QRect DownScrollRect() const { return downRect_; }
    QRect ItemArea() const { return itemArea_; }

    // The page or item under a point (after LayoutBar).
    TOutBase* ObjectAt(const QPoint& point) const;
    // Scrolls the active page by one item: +1 shows later items (the upper button), -1 earlier
    // ones. Returns true when it moved.
    bool ScrollActivePage(int direction);

    virtual void ItemClick(TOutItem* item);
    virtual void ItemDblClick(TOutItem* item);
    virtual void DeleteItem(TOutItem* item);
    void RenamePage(TOutPage* page);
    void RenameItem(TOutItem* item);
    void MarkItem(TOutItem* item);
    void UnmarkAll();
    // Moves every marked item into the active page from the selected item's position on (or at
    // the end), unmarks them and repaints.
    void MoveMarkedItems();

    // The handler of a delayed message (kinds 0 to 3, see TDelayThread).
    void DelayMessage(int kind, quintptr tag);

    // Notices from the model.
    void ObjectChanged(TOutBase* object);
    void ObjectRedraw(TOutItem* item);
    void ObjectRemoved(TOutBase* object);

signals:
    void OnClick();
    void OnDblClick();
    void OnChange();
    void OnPageChange();
    void OnDeleteItem(TOutItem* item, bool& allow);

protected:
    // Starts dragging an item (after the button was held for the delay); returns when it ends.
    virtual void BeginItemDrag(TOutItem* item);
    // Scrolls the band between the old and the new active page's headers into place.
    void SmoothSwitch(TOutPage* from, TOutPage* to);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Post(int kind, quintptr tag);
    void ScrollRepeatTest(const QPoint& point);
    void SetHotItem(TOutItem* item);
    bool AcceptsDrag(const QDropEvent* event) const;
    void DragOver(QDropEvent* event);
    void SelectStep(int step);
    // Where an item dropped at the point goes: page and index (-1: the end).
    bool DropTarget(const QPoint& point, TOutPage*& page, int& index) const;
    void PaintBar(QPainter& painter);
    void DrawHeader(QPainter& painter, TOutPage* page);
    void DrawScrollButton(QPainter& painter, const QRect& rect, bool up, bool pressed);
    // Shows an in-place edit over rect and waits for its end; true (and the text) when accepted.
    // `object` is watched: when it goes away meanwhile the edit counts as cancelled.
    bool EditCaption(TOutBase* object, const QRect& rect, QString& text);

    TOutPages* pages_;
    TOutPage* activePage_ = nullptr;
    TOutItem* hotItem_ = nullptr;
    TOutItem* draggedItem_ = nullptr;
    TOutPage* pendingPage_ = nullptr;
    std::vector<TOutItem*> marked_;
    int scrollSequence_ = 0;
    QRect upRect_, downRect_, itemArea_;
    QSize iconSize_{32, 32};
    QColor backGroundColor_;
    TOutImageList largeImages_, smallImages_;
    TOutBarStyle style_ = TOutBarStyle::osLargeIcon;
    TOutBorderStyle borderStyle_ = TOutBorderStyle::bsSingle;
    int updateDepth_ = 0;
    bool leftDown_ = false;
    bool dragStarted_ = false;
    bool renaming_ = false;
    bool destroying_ = false;
    int pressedButton_ = 0; // 1 upper, -1 lower
    QPoint lastPoint_{-1, -1};
    bool pointerInside_ = false;
    const QPixmap* smoothFrame_ = nullptr;
};

class TOutBar : public TCustomOutBar {
    Q_OBJECT
public:
    using TCustomOutBar::TCustomOutBar;
};

// The MIME type of an item dragged within or between bars.
inline constexpr const char* OutBarItemMimeType = "application/x-quarlex-outbar-item";
