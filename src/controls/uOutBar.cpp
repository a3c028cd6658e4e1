#include "controls/uOutBar.h"

#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>

QColor OutBarSystemColor(int index)
{
    const QPalette palette = QApplication::palette();
    switch (index) {
    case 3: return QColor(0x80, 0x80, 0x80);   // the classic bar grey
    case 8: return palette.color(QPalette::WindowText);
    case 11: return palette.color(QPalette::Button);
    case 13: return palette.color(QPalette::Highlight);
    case 16: return palette.color(QPalette::Dark);
    case 19: return QColor(0xFF, 0xFF, 0xFF);  // captions on the grey bar
    case 20: return palette.color(QPalette::Light);
    case 21: return palette.color(QPalette::Shadow);
    default: return palette.color(QPalette::Window);
    }
}

// ---- TOutBase ---------------------------------------------------------------------------------------

TOutBase::TOutBase(TOutBase* owner) : owner_(owner) {}

void TOutBase::SetVisible(bool visible)
{
    if (visible_ == visible)
        return;
    visible_ = visible;
    NotifyChange(this);
}

void TOutBase::SetEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    NotifyChange(this);
}

void TOutBase::NotifyChange(TOutBase* object)
{
    if (owner_)
        owner_->NotifyChange(object);
}

void TOutBase::RedrawItem(TOutItem* item)
{
    if (owner_)
        owner_->RedrawItem(item);
}

void TOutBase::NotifyRemove(TOutBase* object)
{
    if (owner_)
        owner_->NotifyRemove(object);
}

void TOutBase::InvalidateBar()
{
    if (owner_)
        owner_->InvalidateBar();
}

bool TOutBase::HitText(const QPoint& point) const { return TextRect.contains(point); }

TOutBase* TOutBase::ObjectAt(const QPoint& point)
{
    if (BoundsRect.contains(point) || TextRect.contains(point))
        return this;
    for (TOutBase* child : Children())
        if (TOutBase* hit = child->ObjectAt(point))
            return hit;
    return nullptr;
}

void TOutBase::ClearRects()
{
    BoundsRect = QRect();
    TextRect = QRect();
    for (TOutBase* child : Children())
        child->ClearRects();
}

void TOutBase::ClipRects(const QRect& rect)
{
    if (!BoundsRect.isEmpty() && (!rect.contains(BoundsRect) || (!TextRect.isEmpty() && !rect.contains(TextRect)))) {
        BoundsRect = QRect();
        TextRect = QRect();
    }
    for (TOutBase* child : Children())
        child->ClipRects(rect);
}

TCustomOutBar* TOutBase::Bar() const { return owner_ ? owner_->Bar() : nullptr; }

// ---- TOutItem ---------------------------------------------------------------------------------------

TOutItem::TOutItem(TOutPage* page) : TOutBase(page) {}

TOutItem::~TOutItem()
{
    if (TOutPage* page = Page()) {
        page->Detach(this);
        page->NotifyRemove(this);
    }
}

TOutPage* TOutItem::Page() const { return static_cast<TOutPage*>(owner_); }

int TOutItem::Index() const { return Page() ? Page()->IndexOf(this) : -1; }

void TOutItem::SetCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    NotifyChange(this);
}

void TOutItem::SetImageIndex(int index)
{
    if (imageIndex_ == index)
        return;
    imageIndex_ = index;
    NotifyChange(this);
}

void TOutItem::DrawIcon(QPainter& painter, const QColor& background, bool fillBackground, const TOutImageList* images) const
{
    if (BoundsRect.isEmpty())
        return;
    if (fillBackground)
        painter.fillRect(BoundsRect.adjusted(-1, -1, 1, 1), background);
    if (!images || !images->Valid(imageIndex_))
        return;
    painter.save();
    if (!Enabled())
        painter.setOpacity(0.5);
    painter.drawPixmap(BoundsRect.topLeft(), images->Images[static_cast<size_t>(imageIndex_)]);
    painter.restore();
}

void TOutItem::DrawCaption(QPainter& painter, const QColor& color, bool calculate, bool showFocus, int flags)
{
    if (TextRect.isEmpty())
        return;
    painter.save();
    QFont font = painter.font();
    font.setItalic(!Enabled());
    painter.setFont(font);
    if (calculate) {
        const QRect measured = painter.boundingRect(QRect(TextRect.left(), TextRect.top(), TextRect.width(), 10000), flags, caption_);
        TextRect.setHeight(std::max(measured.height(), painter.fontMetrics().height()));
    }
    if (marked_)
        painter.fillRect(TextRect, OutBarSystemColor(13));
    painter.setPen(color);
    painter.drawText(TextRect, flags, caption_);
    if (showFocus) {
        QPen pen(color, 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(TextRect.adjusted(0, 0, -1, -1));
    }
    painter.restore();
}

// ---- TOutPage ---------------------------------------------------------------------------------------

TOutPage::TOutPage(TOutPages* pages) : TOutBase(pages)
{
    Color = OutBarSystemColor(8);
    BkColor = OutBarSystemColor(11);
}

TOutPage::~TOutPage()
{
    while (!items_.empty())
        delete items_.back(); // each item takes itself out
    if (auto* pages = static_cast<TOutPages*>(owner_)) {
        pages->pages_.erase(std::remove(pages->pages_.begin(), pages->pages_.end(), this), pages->pages_.end());
        pages->NotifyRemove(this);
    }
}

std::vector<TOutBase*> TOutPage::Children() const { return {items_.begin(), items_.end()}; }

TOutItem* TOutPage::AddItem() { return InsertItem(-1); }

TOutItem* TOutPage::InsertItem(int index)
{
    auto* item = new TOutItem(this);
    if (index < 0 || index > Count())
        items_.push_back(item);
    else
        items_.insert(items_.begin() + index, item);
    NotifyChange(item);
    return item;
}

TOutItem* TOutPage::Item(int index) const
{
    return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)] : nullptr;
}

int TOutPage::IndexOf(const TOutItem* item) const
{
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int TOutPage::Index() const
{
    auto* pages = static_cast<TOutPages*>(owner_);
    return pages ? pages->IndexOf(this) : -1;
}

void TOutPage::Detach(TOutItem* item)
{
    items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
    if (selectedItem_ == item)
        selectedItem_ = nullptr;
}

void TOutPage::Place(TOutItem* item, TOutItem* before)
{
    if (!item || item == before)
        return;
    TOutPage* from = item->Page();
    if (from) {
        // An item leaving for another bar must not stay hot, dragged or marked in the old one.
        if (TCustomOutBar* oldBar = from->Bar(); oldBar && oldBar != Bar()) {
            item->marked_ = false;
            oldBar->ObjectRemoved(item);
        }
        from->Detach(item);
    }
    item->owner_ = this;
    const int at = before ? IndexOf(before) : -1;
    if (at < 0)
        items_.push_back(item);
    else
        items_.insert(items_.begin() + at, item);
    if (from && from != this)
        from->InvalidateBar();
    NotifyChange(item);
}

void TOutPage::MoveItem(TOutItem* item, int index) { Place(item, Item(index)); }

void TOutPage::SetCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    NotifyChange(this);
}

int TOutPage::FirstItem() const
{
    if (items_.empty())
        return -1;
    return firstItem_ >= 0 && firstItem_ < Count() ? firstItem_ : 0;
}

void TOutPage::SetFirstItem(int index)
{
    firstItem_ = index;
    InvalidateBar();
}

void TOutPage::SetSelectedItem(TOutItem* item)
{
    if (item && item->Page() != this)
        return;
    selectedItem_ = item;
    TCustomOutBar* bar = Bar();
    if (bar && item && item->Visible() && bar->ActivePage() == this) {
        bar->LayoutBar();
        if (!item->LaidOut())
            firstItem_ = FirstItem() + (item->Index() < FirstItem() ? -1 : 1);
    }
    InvalidateBar();
}

// ---- TOutPages --------------------------------------------------------------------------------------

TOutPages::TOutPages(TCustomOutBar* bar) : TOutBase(nullptr), bar_(bar) {}

TOutPages::~TOutPages()
{
    while (!pages_.empty())
        delete pages_.back();
}

std::vector<TOutBase*> TOutPages::Children() const { return {pages_.begin(), pages_.end()}; }

TOutPage* TOutPages::AddPage()
{
    auto* page = new TOutPage(this);
    pages_.push_back(page);
    NotifyChange(page);
    return page;
}

TOutPage* TOutPages::GetPage(int index) const
{
    return index >= 0 && index < Count() ? pages_[static_cast<size_t>(index)] : nullptr;
}

int TOutPages::IndexOf(const TOutPage* page) const
{
    auto it = std::find(pages_.begin(), pages_.end(), page);
    return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

void TOutPages::NotifyChange(TOutBase* object)
{
    if (bar_)
        bar_->ObjectChanged(object);
}

void TOutPages::RedrawItem(TOutItem* item)
{
    if (bar_)
        bar_->ObjectRedraw(item);
}

void TOutPages::NotifyRemove(TOutBase* object)
{
    if (bar_)
        bar_->ObjectRemoved(object);
}

void TOutPages::InvalidateBar()
{
    if (bar_)
        bar_->ObjectChanged(nullptr);
}

// ---- TDelayThread -----------------------------------------------------------------------------------

TDelayThread* TDelayThread::Create(int delay, QObject* window, int message, quintptr first, quintptr second)
{
    if (!window)
        return nullptr;
    return new TDelayThread(delay, window, message, first, second);
}

TDelayThread::TDelayThread(int delay, QObject* window, int message, quintptr first, quintptr second)
    : QObject(window), window_(window), message_(message), first_(first), second_(second)
{
    QTimer::singleShot(std::max(0, delay), this, [this] {
        if (window_)
            QCoreApplication::postEvent(window_, new TDelayMessageEvent(message_, first_, second_));
        deleteLater();
    });
}

// ---- TInplaceEdit -----------------------------------------------------------------------------------

TInplaceEdit::TInplaceEdit(TCustomOutBar* owner, const QString& text, const QRect& rect) : QLineEdit(text, owner)
{
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::ClickFocus); // no tab stop
    setTextMargins(2, 2, 2, 0);
    setGeometry(rect);
}

bool TInplaceEdit::event(QEvent* event)
{
    // Tab never moves the focus away from a running edit: it cancels.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            Result = Cancelled;
            return true;
        }
    }
    return QLineEdit::event(event);
}

void TInplaceEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        Result = Cancelled;
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Result = Accepted;
        if (!text().isEmpty() && selectedText() == text()) {
            deselect();
            end(false);
        } else {
            hide();
        }
        event->accept();
        return;
    default: QLineEdit::keyPressEvent(event);
    }
}

// ---- TCustomOutBar: state ---------------------------------------------------------------------------

TCustomOutBar::TCustomOutBar(QWidget* parent) : QFrame(parent)
{
    pages_ = new TOutPages(this);
    backGroundColor_ = OutBarSystemColor(3);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAcceptDrops(true);
    SetBorderStyle(TOutBorderStyle::bsSingle);
    resize(150, 2568);
}

TCustomOutBar::~TCustomOutBar()
{
    destroying_ = true;
    delete pages_;
    pages_ = nullptr;
}

int TCustomOutBar::ActivePageIndex() const { return activePage_ ? pages_->IndexOf(activePage_) : -1; }

void TCustomOutBar::SetActivePageIndex(int index) { SetActivePage(pages_->GetPage(index)); }

void TCustomOutBar::SetActivePage(TOutPage* page)
{
    if (page && page->Bar() != this)
        return;
    if (page == activePage_)
        return;
    if (activePage_ && page && SmoothSpeed != 0)
        SmoothSwitch(activePage_, page);
    if (activePage_)
        activePage_->selected_ = false;
    activePage_ = page;
    if (page)
        page->selected_ = true;
    hotItem_ = nullptr; // it belonged to the page that went away
    emit OnPageChange();
    update();
}

TOutItem* TCustomOutBar::GetSelectedItem() const { return activePage_ ? activePage_->SelectedItem() : nullptr; }

void TCustomOutBar::BeginUpdate()
{
    if (updateDepth_++ == 0)
        setUpdatesEnabled(false);
}

void TCustomOutBar::EndUpdate()
{
    if (updateDepth_ == 0)
        return;
    if (--updateDepth_ == 0) {
        setUpdatesEnabled(true);
        update();
    }
}

void TCustomOutBar::SetBackGroundColor(const QColor& color)
{
    backGroundColor_ = color;
    largeImages_.BkColor = color;
    smallImages_.BkColor = color;
    update();
}

void TCustomOutBar::SetLargeImages(const TOutImageList& images)
{
    largeImages_ = images;
    largeImages_.BkColor = backGroundColor_;
    update();
}

void TCustomOutBar::SetSmallImages(const TOutImageList& images)
{
    smallImages_ = images;
    smallImages_.BkColor = backGroundColor_;
    update();
}

void TCustomOutBar::SetStyle(TOutBarStyle style)
{
    style_ = style;
    update();
}

void TCustomOutBar::SetBorderStyle(TOutBorderStyle style)
{
    borderStyle_ = style;
    if (style == TOutBorderStyle::bsSingle)
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    else
        setFrameStyle(QFrame::NoFrame);
    update();
}

void TCustomOutBar::ObjectChanged(TOutBase*)
{
    if (destroying_)
        return;
    emit OnChange();
    update();
}

void TCustomOutBar::ObjectRedraw(TOutItem* item)
{
    if (destroying_ || !item)
        return;
    if (item->LaidOut())
        update(item->BoundsRect.united(item->TextRect).adjusted(-2, -2, 2, 2));
}

void TCustomOutBar::ObjectRemoved(TOutBase* object)
{
    if (destroying_)
        return;
    if (hotItem_ == object)
        hotItem_ = nullptr;
    if (draggedItem_ == object)
        draggedItem_ = nullptr;
    if (pendingPage_ == object)
        pendingPage_ = nullptr;
    if (activePage_ == object)
        activePage_ = nullptr;
    marked_.erase(std::remove(marked_.begin(), marked_.end(), object), marked_.end());
    update();
}

// ---- Layout -----------------------------------------------------------------------------------------

void TCustomOutBar::LayoutBar()
{
    pages_->ClearRects();
    upRect_ = downRect_ = itemArea_ = QRect();
    const QRect client = contentsRect();
    const QFontMetrics metrics(font());
    const int textHeight = metrics.height();
    const int headerHeight = textHeight + 6;
    const bool large = style_ == TOutBarStyle::osLargeIcon;
    if (large)
        iconSize_ = LargeImages() ? largeImages_.Size : QSize(32, 32);
    else
        iconSize_ = SmallImages() ? smallImages_.Size : QSize(16, 16);

    auto header = [&](TOutPage* page, int top) { page->BoundsRect = QRect(client.left(), top, client.width(), headerHeight); };
    const int count = pages_->Count();
    const int active = ActivePageIndex();
    int top = client.top();
    if (active < 0) {
        for (int i = 0; i < count; ++i)
            if (TOutPage* page = pages_->GetPage(i); page->Visible()) {
                header(page, top);
                top += headerHeight;
            }
        return;
    }
    for (int i = 0; i < active; ++i)
        if (TOutPage* page = pages_->GetPage(i); page->Visible()) {
            header(page, top);
            top += headerHeight;
        }
    const int buttonLeft = client.left() + client.width() - 20;
    upRect_ = QRect(buttonLeft, top + textHeight + 8, 16, 16);
    header(activePage_, top);
    top += headerHeight;
    int bottom = client.top() + client.height(); // one below the last row
    for (int i = count - 1; i > active; --i)
        if (TOutPage* page = pages_->GetPage(i); page->Visible()) {
            bottom -= headerHeight;
            header(page, bottom);
        }
    downRect_ = QRect(buttonLeft, bottom - 8 - 16, 16, 16);
    itemArea_ = QRect(client.left(), top, client.width(), std::max(0, bottom - top));

    const int w = iconSize_.width(), h = iconSize_.height();
    const int gap = w / 3;
    const int iconLeft = large ? client.left() + client.width() / 2 - w / 2 : client.left() + w / 2;
    const int areaBottom = itemArea_.top() + itemArea_.height();
    int y = itemArea_.top() + gap;
    TOutPage* page = activePage_;
    const int first = page->FirstItem();
    for (int i = std::max(first, 0); i < page->Count(); ++i) {
        TOutItem* item = page->Item(i);
        if (!item->Visible())
            continue;
        if (y >= areaBottom)
            break;
        const QRect icon(iconLeft, y, w, h);
        QRect caption;
        if (large) {
            y += h + 2;
            // Half an icon height to each side, widened (within the area) until the longest word
            // fits: the font here may be wider than the one the proportions were made for.
            int half = h / 2;
            for (const QString& word : item->Caption().split(QLatin1Char(' '), Qt::SkipEmptyParts))
                half = std::max(half, (metrics.horizontalAdvance(word) - w + 1) / 2 + 1);
            const int left = std::max(itemArea_.left(), iconLeft - half);
            const int right = std::min(itemArea_.right(), iconLeft + w - 1 + half);
            const QRect measured = metrics.boundingRect(QRect(left, y, right - left + 1, 10000),
                                                        Qt::AlignHCenter | Qt::TextWordWrap, item->Caption());
            caption = QRect(left, y, right - left + 1, std::max(measured.height(), textHeight));
            y = caption.bottom() + 1 + gap;
        } else {
            caption = QRect(icon.right() + 3, y, itemArea_.right() - icon.right() - 2, h);
            y += h + 2;
        }
        item->BoundsRect = icon;
        item->TextRect = caption;
        item->ClipRects(itemArea_);
    }
    bool hidden = false;
    for (int i = std::max(first, 0); i < page->Count() && !hidden; ++i)
        hidden = page->Item(i)->Visible() && !page->Item(i)->LaidOut();
    if (first == page->Count() - 1 || !hidden)
        upRect_ = QRect();
    if (first <= 0)
        downRect_ = QRect();
}

TOutBase* TCustomOutBar::ObjectAt(const QPoint& point) const { return pages_->ObjectAt(point); }

bool TCustomOutBar::ScrollActivePage(int direction)
{
    if (!activePage_)
        return false;
    LayoutBar();
    const int first = activePage_->FirstItem();
    if (direction > 0) {
        if (upRect_.isEmpty())
            return false;
        activePage_->firstItem_ = first + 1;
    } else {
        if (first <= 0)
            return false;
        activePage_->firstItem_ = first - 1;
    }
    hotItem_ = nullptr;
    update();
    return true;
}

// ---- Painting ---------------------------------------------------------------------------------------

void TCustomOutBar::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event); // the border
    QPainter painter(this);
    if (smoothFrame_) {
        painter.drawPixmap(0, 0, *smoothFrame_);
        return;
    }
    PaintBar(painter);
}

void TCustomOutBar::PaintBar(QPainter& painter)
{
    LayoutBar();
    painter.fillRect(contentsRect(), backGroundColor_);
    for (int i = 0; i < pages_->Count(); ++i)
        if (pages_->GetPage(i)->LaidOut())
            DrawHeader(painter, pages_->GetPage(i));
    if (activePage_) {
        const bool large = style_ == TOutBarStyle::osLargeIcon;
        const TOutImageList* images = large ? LargeImages() : SmallImages();
        const int flags = large ? Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap : Qt::AlignLeft | Qt::AlignVCenter;
        painter.setClipRect(itemArea_);
        for (int i = 0; i < activePage_->Count(); ++i) {
            TOutItem* item = activePage_->Item(i);
            if (!item->LaidOut())
                continue;
            item->DrawIcon(painter, backGroundColor_, false, images);
            item->DrawCaption(painter, OutBarSystemColor(19), false, hasFocus() && activePage_->SelectedItem() == item, flags);
            if (item == hotItem_) {
                const QRect r = item->BoundsRect.adjusted(-1, -1, 1, 1);
                painter.setPen(OutBarSystemColor(20));
                painter.drawLine(r.topLeft(), r.topRight());
                painter.drawLine(r.topLeft(), r.bottomLeft());
                painter.setPen(OutBarSystemColor(21));
                painter.drawLine(r.bottomLeft(), r.bottomRight());
                painter.drawLine(r.topRight(), r.bottomRight());
            }
        }
        painter.setClipping(false);
        if (!upRect_.isEmpty())
            DrawScrollButton(painter, upRect_, true, pressedButton_ == 1);
        if (!downRect_.isEmpty())
            DrawScrollButton(painter, downRect_, false, pressedButton_ == -1);
    }
}

void TCustomOutBar::DrawHeader(QPainter& painter, TOutPage* page)
{
    const QRect r = page->BoundsRect.adjusted(0, 0, 0, -2);
    painter.fillRect(r, page->BkColor);
    painter.setPen(OutBarSystemColor(20));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(OutBarSystemColor(21));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
    painter.setPen(OutBarSystemColor(16));
    painter.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
    painter.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);

    painter.save();
    QFont font = this->font();
    font.setBold(page->FontStyles & fsBold);
    font.setItalic(page->FontStyles & fsItalic);
    font.setUnderline(page->FontStyles & fsUnderline);
    font.setStrikeOut(page->FontStyles & fsStrikeOut);
    painter.setFont(font);
    painter.setPen(page->Color);
    const QRect text = r.adjusted(2, 2, -2, -2);
    painter.drawText(text, Qt::AlignCenter, page->Caption());
    if (hasFocus() && page == activePage_) {
        painter.setPen(QPen(page->Color, 1, Qt::DotLine));
        painter.drawRect(text.adjusted(0, 0, -1, -1));
    }
    painter.restore();
}

void TCustomOutBar::DrawScrollButton(QPainter& painter, const QRect& rect, bool up, bool pressed)
{
    const QPalette& palette = this->palette();
    painter.fillRect(rect, palette.color(QPalette::Button));
    const QRect r = rect.adjusted(0, 0, -1, -1);
    painter.setPen(pressed ? OutBarSystemColor(21) : OutBarSystemColor(20));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(pressed ? OutBarSystemColor(20) : OutBarSystemColor(21));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
    // The arrow inside the button inset by 2, shifted by a pixel while pressed.
    const QRect inner = rect.adjusted(4, 5, -4, -5).translated(pressed ? 1 : 0, pressed ? 1 : 0);
    QPolygon arrow;
    if (up)
        arrow << QPoint(inner.center().x(), inner.top()) << inner.bottomLeft() << inner.bottomRight();
    else
        arrow << inner.topLeft() << inner.topRight() << QPoint(inner.center().x(), inner.bottom());
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette.color(QPalette::ButtonText));
    painter.drawPolygon(arrow);
    painter.setBrush(Qt::NoBrush);
}

void TCustomOutBar::SmoothSwitch(TOutPage* from, TOutPage* to)
{
    if (SmoothSpeed == 0 || !isVisible() || !updatesEnabled())
        return;
    const int fromIndex = pages_->IndexOf(from), toIndex = pages_->IndexOf(to);
    if (fromIndex < 0 || toIndex < 0 || fromIndex == toIndex)
        return;
    // Where the headers between the two pages are now and where they will be.
    LayoutBar();
    const int moving = toIndex < fromIndex ? toIndex + 1 : fromIndex + 1;
    const int last = toIndex < fromIndex ? fromIndex : toIndex;
    const int oldTop = pages_->GetPage(moving)->BoundsRect.top();
    const int oldBottom = pages_->GetPage(last)->BoundsRect.bottom() + 1;
    const int areaBottom = itemArea_.top() + itemArea_.height();
    const int areaTop = itemArea_.top();
    TOutPage* keep = activePage_;
    activePage_ = to;
    LayoutBar();
    const int newTop = pages_->GetPage(moving)->BoundsRect.top();
    activePage_ = keep;
    LayoutBar();
    const int distance = std::abs(newTop - oldTop);
    if (distance == 0)
        return;

    const QRect client = contentsRect();
    QRect band; // the part of the bar that slides, in widget coordinates
    int direction;
    if (toIndex < fromIndex) { // the new page lies above: everything below its header slides down
        band = QRect(client.left(), oldTop, client.width(), areaBottom - oldTop);
        direction = 1;
    } else { // the headers below the old page slide up over its items
        band = QRect(client.left(), areaTop, client.width(), oldBottom - areaTop);
        direction = -1;
    }
    QPixmap frame = grab();
    const qreal ratio = frame.devicePixelRatio();
    const QRect deviceBand(QPoint(qRound(band.left() * ratio), qRound(band.top() * ratio)),
                           QSize(qRound(band.width() * ratio), qRound(band.height() * ratio)));
    const int step = std::max(1, qRound(ratio));
    QPointer<TCustomOutBar> self(this);
    smoothFrame_ = &frame;
    for (int i = 1; i <= distance; ++i) {
        QRegion exposed;
        frame.scroll(0, direction * step, deviceBand, &exposed);
        {
            QPainter painter(&frame);
            for (const QRect& r : exposed)
                painter.fillRect(QRectF(r.left() / ratio, r.top() / ratio, r.width() / ratio, r.height() / ratio), backGroundColor_);
        }
        repaint(band);
        if (i % SmoothSpeed == 0)
            QThread::msleep(1);
    }
    smoothFrame_ = nullptr;
}

// ---- Timing -------------------------------------------------------------------------------------------

void TCustomOutBar::Post(int kind, quintptr tag)
{
    TDelayThread::Create(Delay, this, WM_OUTBARDELAY, static_cast<quintptr>(kind), tag);
}

void TCustomOutBar::ScrollRepeatTest(const QPoint& point)
{
    LayoutBar();
    if (upRect_.contains(point)) {
        ++scrollSequence_;
        Post(2, static_cast<quintptr>(scrollSequence_));
    } else if (downRect_.contains(point)) {
        ++scrollSequence_;
        Post(3, static_cast<quintptr>(scrollSequence_));
    } else {
        scrollSequence_ = 0; // whatever is still under way arrives outdated
    }
}

void TCustomOutBar::DelayMessage(int kind, quintptr tag)
{
    switch (kind) {
    case 0:
        if (pendingPage_ && tag == reinterpret_cast<quintptr>(pendingPage_)) {
            QApplication::beep();
            TOutPage* page = pendingPage_;
            pendingPage_ = nullptr;
            SetActivePage(page);
        }
        break;
    case 1:
        if (!ItemsFixed && leftDown_ && hotItem_ && tag == reinterpret_cast<quintptr>(hotItem_)) {
            QPointer<TCustomOutBar> self(this);
            draggedItem_ = hotItem_;
            dragStarted_ = true;
            BeginItemDrag(draggedItem_);
            if (!self)
                return;
            draggedItem_ = nullptr;
            leftDown_ = false;
            pressedButton_ = 0;
            update();
        }
        break;
    case 2:
    case 3:
        if (scrollSequence_ != 0 && tag == static_cast<quintptr>(scrollSequence_)) {
            ScrollActivePage(kind == 2 ? 1 : -1);
            ScrollRepeatTest(pointerInside_ ? lastPoint_ : QPoint(-1, -1));
        }
        break;
    default: break;
    }
}

bool TCustomOutBar::event(QEvent* event)
{
    if (event->type() == DelayMessageEventType) {
        auto* message = static_cast<TDelayMessageEvent*>(event);
        if (message->Message == WM_OUTBARDELAY)
            DelayMessage(static_cast<int>(message->WParam), message->LParam);
        return true;
    }
    return QFrame::event(event);
}

void TCustomOutBar::BeginItemDrag(TOutItem* item)
{
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setData(OutBarItemMimeType, QByteArray::number(static_cast<qulonglong>(reinterpret_cast<quintptr>(item))));
    drag->setMimeData(data);
    const TOutImageList* images = style_ == TOutBarStyle::osLargeIcon ? LargeImages() : SmallImages();
    if (images && images->Valid(item->ImageIndex()))
        drag->setPixmap(images->Images[static_cast<size_t>(item->ImageIndex())]);
    drag->exec(Qt::MoveAction);
}

// ---- Mouse --------------------------------------------------------------------------------------------

void TCustomOutBar::SetHotItem(TOutItem* item)
{
    if (item == hotItem_)
        return;
    if (hotItem_)
        ObjectRedraw(hotItem_);
    hotItem_ = item;
    if (hotItem_)
        ObjectRedraw(hotItem_);
}

void TCustomOutBar::mouseMoveEvent(QMouseEvent* event)
{
    if (renaming_)
        return;
    const QPoint point = event->position().toPoint();
    lastPoint_ = point;
    pointerInside_ = true;
    LayoutBar();
    auto* item = qobject_cast<TOutItem*>(ObjectAt(point));
    SetHotItem(item && item->Enabled() ? item : nullptr);
    ScrollRepeatTest(point);
}

void TCustomOutBar::leaveEvent(QEvent* event)
{
    pointerInside_ = false;
    scrollSequence_ = 0;
    if (!leftDown_)
        SetHotItem(nullptr);
    QFrame::leaveEvent(event);
}

void TCustomOutBar::mousePressEvent(QMouseEvent* event)
{
    if (renaming_)
        return;
    if (event->button() != Qt::LeftButton) {
        QFrame::mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    if (!hasFocus() && focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    leftDown_ = true;
    dragStarted_ = false;
    lastPoint_ = point;
    pointerInside_ = true;
    LayoutBar();
    auto* item = qobject_cast<TOutItem*>(ObjectAt(point));
    SetHotItem(item && item->Enabled() ? item : nullptr);
    if (hotItem_)
        Post(1, reinterpret_cast<quintptr>(hotItem_));
    if (upRect_.contains(point))
        pressedButton_ = 1;
    else if (downRect_.contains(point))
        pressedButton_ = -1;
    update();
}

void TCustomOutBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QFrame::mouseReleaseEvent(event);
        return;
    }
    leftDown_ = false;
    pressedButton_ = 0;
    if (dragStarted_ || renaming_) {
        dragStarted_ = false;
        update();
        return;
    }
    const QPoint point = event->position().toPoint();
    LayoutBar();
    // The scroll buttons lie on top of the items.
    if (upRect_.contains(point)) {
        ScrollActivePage(1);
    } else if (downRect_.contains(point)) {
        ScrollActivePage(-1);
    } else if (TOutBase* hit = ObjectAt(point)) {
        if (auto* page = qobject_cast<TOutPage*>(hit)) {
            if (page->Enabled())
                SetActivePage(page);
        } else if (auto* item = qobject_cast<TOutItem*>(hit); item && item->Enabled()) {
            if ((event->modifiers() & Qt::ControlModifier) && item->HitText(point))
                MarkItem(item);
            else if (style_ == TOutBarStyle::osLargeIcon && item->HitText(point))
                item->Page()->SetSelectedItem(item);
            else
                ItemClick(item);
        }
    }
    update();
}

void TCustomOutBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (renaming_ || event->button() != Qt::LeftButton)
        return;
    const QPoint point = event->position().toPoint();
    LayoutBar();
    TOutBase* hit = ObjectAt(point);
    if (auto* item = qobject_cast<TOutItem*>(hit)) {
        if (item->Enabled() && !item->ReadOnly() && item->HitText(point))
            RenameItem(item);
        else if (item->Enabled())
            ItemDblClick(item);
    } else if (auto* page = qobject_cast<TOutPage*>(hit)) {
        if (page->Enabled() && !page->ReadOnly())
            RenamePage(page);
    }
}

// ---- Items ----------------------------------------------------------------------------------------------

void TCustomOutBar::ItemClick(TOutItem* item)
{
    if (!item || !item->Enabled())
        return;
    const bool menu = item->ItemType == TOutItemType::itscMenu;
    const int tag = item->Tag;
    item->Page()->SetSelectedItem(item);
    QPointer<TCustomOutBar> self(this);
    emit OnClick();
    if (!self || !menu)
        return;
    QWidget* target = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(widget)) {
            target = widget;
            break;
        }
    QCoreApplication::postEvent(target ? target : window(), new TMenuCommandEvent(tag));
}

void TCustomOutBar::ItemDblClick(TOutItem* item)
{
    if (!item || !item->Enabled())
        return;
    item->Page()->SetSelectedItem(item);
    emit OnDblClick();
}

void TCustomOutBar::DeleteItem(TOutItem* item)
{
    if (!item || item->ReadOnly() || ItemsFixed)
        return;
    QPointer<TOutItem> guard(item);
    bool allow = true;
    emit OnDeleteItem(item, allow);
    if (allow && guard)
        delete guard.data();
}

void TCustomOutBar::MarkItem(TOutItem* item)
{
    if (!item || item->marked_)
        return;
    item->marked_ = true;
    marked_.push_back(item);
    ObjectRedraw(item);
}

void TCustomOutBar::UnmarkAll()
{
    for (TOutItem* item : marked_) {
        item->marked_ = false;
        ObjectRedraw(item);
    }
    marked_.clear();
}

void TCustomOutBar::MoveMarkedItems()
{
    if (!activePage_ || ItemsFixed)
        return;
    // They go before the selected item (the first unmarked one from there on), else to the end.
    TOutItem* before = nullptr;
    if (TOutItem* selected = activePage_->SelectedItem())
        for (int i = selected->Index(); i < activePage_->Count() && !before; ++i)
            if (!activePage_->Item(i)->Marked())
                before = activePage_->Item(i);
    const std::vector<TOutItem*> moving = marked_;
    for (TOutItem* item : moving)
        activePage_->Place(item, before);
    UnmarkAll();
    update();
}

bool TCustomOutBar::EditCaption(TOutBase* object, const QRect& rect, QString& text)
{
    if (rect.isEmpty() || renaming_)
        return false;
    QPointer<TCustomOutBar> self(this);
    QPointer<TOutBase> watched(object);
    renaming_ = true;
    QPointer<TInplaceEdit> edit = new TInplaceEdit(this, text, rect);
    edit->show();
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    // An edit whose window was closed meanwhile can never be answered: it counts as cancelled.
    while (self && edit && watched && edit->Result == TInplaceEdit::Editing && edit->isVisible())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!self)
        return false; // the edit went with the bar
    renaming_ = false;
    const bool accepted = edit && watched && edit->Result == TInplaceEdit::Accepted;
    if (accepted)
        text = edit->text();
    delete edit.data();
    if (hasFocus() || !focusWidget())
        setFocus(Qt::OtherFocusReason);
    return accepted;
}

void TCustomOutBar::RenamePage(TOutPage* page)
{
    if (!page)
        return;
    LayoutBar();
    QPointer<TOutPage> guard(page);
    QString text = page->Caption();
    const bool accepted = EditCaption(page, page->BoundsRect, text);
    if (!guard)
        return;
    if (accepted)
        page->SetCaption(text);
    page->NotifyChange(page);
}

void TCustomOutBar::RenameItem(TOutItem* item)
{
    if (!item)
        return;
    LayoutBar();
    QPointer<TOutItem> guard(item);
    QString text = item->Caption();
    const bool accepted = EditCaption(item, item->TextRect, text);
    if (!guard)
        return;
    if (accepted)
        item->SetCaption(text);
    item->NotifyChange(item);
}

// ---- Keys -------------------------------------------------------------------------------------------------

void TCustomOutBar::SelectStep(int step)
{
    if (!activePage_)
        return;
    TOutItem* current = activePage_->SelectedItem();
    const int start = current ? current->Index() : (step > 0 ? -1 : activePage_->Count());
    for (int i = start + step; i >= 0 && i < activePage_->Count(); i += step)
        if (TOutItem* item = activePage_->Item(i); item->Visible()) {
            activePage_->SetSelectedItem(item);
            return;
        }
}

void TCustomOutBar::keyPressEvent(QKeyEvent* event)
{
    if (renaming_)
        return;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (TOutItem* item = GetSelectedItem()) {
            if (ctrl)
                RenameItem(item);
            else
                ItemClick(item);
        }
        break;
    case Qt::Key_Escape: UnmarkAll(); break;
    case Qt::Key_PageUp:
        if (ActivePageIndex() > 0)
            SetActivePageIndex(ActivePageIndex() - 1);
        break;
    case Qt::Key_PageDown:
        if (ActivePageIndex() < pages_->Count() - 1)
            SetActivePageIndex(ActivePageIndex() + 1);
        break;
    case Qt::Key_Up: SelectStep(-1); break;
    case Qt::Key_Down: SelectStep(1); break;
    case Qt::Key_Insert:
        if (ctrl)
            MarkItem(GetSelectedItem());
        else if (shift)
            MoveMarkedItems();
        break;
    case Qt::Key_Delete: DeleteItem(GetSelectedItem()); break;
    default: QFrame::keyPressEvent(event); return;
    }
    event->accept();
}

// ---- Dragging and dropping ----------------------------------------------------------------------------------

bool TCustomOutBar::AcceptsDrag(const QDropEvent* event) const
{
    const QMimeData* data = event->mimeData();
    if (!data || ItemsFixed)
        return false;
    if (auto* source = qobject_cast<TCustomOutBar*>(event->source()))
        return data->hasFormat(OutBarItemMimeType) && source->DraggedItem();
    if (imgShellFile == -1 || !data->hasUrls())
        return false;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return true;
    return false;
}

void TCustomOutBar::DragOver(QDropEvent* event)
{
    const QPoint point = event->position().toPoint();
    lastPoint_ = point;
    pointerInside_ = true;
    LayoutBar();
    auto* page = qobject_cast<TOutPage*>(ObjectAt(point));
    if (page && page != activePage_) {
        scrollSequence_ = 0;
        if (page != pendingPage_) {
            pendingPage_ = page;
            Post(0, reinterpret_cast<quintptr>(page));
        }
    } else {
        pendingPage_ = nullptr; // back over the active page: no switch
        ScrollRepeatTest(point);
    }
}

void TCustomOutBar::dragEnterEvent(QDragEnterEvent* event)
{
    if (!AcceptsDrag(event)) {
        event->ignore();
        return;
    }
    event->setDropAction(qobject_cast<TCustomOutBar*>(event->source()) ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    DragOver(event);
}

void TCustomOutBar::dragMoveEvent(QDragMoveEvent* event)
{
    if (!AcceptsDrag(event)) {
        event->ignore();
        return;
    }
    event->setDropAction(qobject_cast<TCustomOutBar*>(event->source()) ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    DragOver(event);
}

void TCustomOutBar::dragLeaveEvent(QDragLeaveEvent* event)
{
    pendingPage_ = nullptr;
    scrollSequence_ = 0;
    pointerInside_ = false;
    QFrame::dragLeaveEvent(event);
}

bool TCustomOutBar::DropTarget(const QPoint& point, TOutPage*& page, int& index) const
{
    TOutBase* hit = ObjectAt(point);
    index = -1;
    if (auto* item = qobject_cast<TOutItem*>(hit)) {
        page = item->Page();
        index = item->Index();
        return true;
    }
    if (auto* header = qobject_cast<TOutPage*>(hit)) {
        page = header;
        return true;
    }
    page = activePage_;
    return page && itemArea_.contains(point);
}

void TCustomOutBar::dropEvent(QDropEvent* event)
{
    pendingPage_ = nullptr;
    scrollSequence_ = 0;
    if (!AcceptsDrag(event)) {
        event->ignore();
        return;
    }
    LayoutBar();
    TOutPage* page = nullptr;
    int index = -1;
    if (!DropTarget(event->position().toPoint(), page, index)) {
        event->ignore();
        return;
    }
    if (auto* source = qobject_cast<TCustomOutBar*>(event->source())) {
        page->MoveItem(source->DraggedItem(), index);
        event->setDropAction(Qt::MoveAction);
    } else {
        for (const QUrl& url : event->mimeData()->urls()) {
            if (!url.isLocalFile())
                continue;
            const QFileInfo file(url.toLocalFile());
            TOutItem* item = page->InsertItem(index);
            if (index >= 0)
                ++index;
            item->FileName = file.filePath();
            item->ItemType = file.isDir() ? TOutItemType::itscFolder : TOutItemType::itscFile;
            item->SetImageIndex(imgShellFile);
            item->SetCaption(file.fileName().isEmpty() ? file.filePath() : file.fileName());
        }
        event->setDropAction(Qt::CopyAction);
    }
    event->accept();
    update();
}
