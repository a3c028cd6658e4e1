#include "controls/FloatEdit.h"

#include "project/Messages.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>

TFloatKeyResult FloatEditKey(const QString& text, int selStart, int selLength, QChar ch, int digits,
                             double min, QChar separator)
{
    selStart = std::clamp(selStart, 0, static_cast<int>(text.size()));
    selLength = std::clamp(selLength, 0, static_cast<int>(text.size()) - selStart);
    TFloatKeyResult r;
    r.Text = text;
    r.SelStart = selStart;
    r.SelLength = selLength;
    if (ch.unicode() < 32) {
        r.Action = TFloatKeyAction::Pass;
        return r;
    }
    r.Action = TFloatKeyAction::Refuse;
    const QString before = text.left(selStart);
    const QString after = text.mid(selStart + selLength);
    const QString outside = before + after;
    const QString candidate = before + ch + after;

    const bool digit = ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
    if (!digit && ch != separator && ch != QLatin1Char('-'))
        return r;
    if (ch == separator && (outside.contains(separator) || digits <= 0))
        return r;
    if (ch == QLatin1Char('-') && (outside.contains(QLatin1Char('-')) || !(min < 0.0) || !before.isEmpty()))
        return r;
    // Nothing may be typed in front of the minus sign: that would make text that is no number.
    if (candidate.indexOf(QLatin1Char('-')) > 0)
        return r;
    const qsizetype sep = candidate.indexOf(separator);
    if (sep >= 0 && candidate.size() - sep - 1 > digits)
        return r;

    if (candidate == QLatin1String("-")) {
        r.Action = TFloatKeyAction::Replace;
        r.Text = QStringLiteral("-0");
        r.SelStart = 1;
        r.SelLength = 1;
        return r;
    }
    if (candidate == QString(separator)) {
        r.Action = TFloatKeyAction::Replace;
        r.Text = QLatin1String("0") + separator + QLatin1String("0");
        r.SelStart = 2;
        r.SelLength = 1;
        return r;
    }
    r.Action = TFloatKeyAction::Insert;
    r.Text = candidate;
    r.SelStart = static_cast<int>(before.size()) + 1;
    r.SelLength = 0;
    return r;
}

bool FloatEditTextToValue(const QString& text, QChar separator, double& value)
{
    QString s = text.trimmed();
    s.replace(separator, QLatin1Char('.'));
    if (s.isEmpty() || s == QLatin1String("-") || s == QLatin1String(".") || s == QLatin1String("-.")) {
        value = 0.0;
        return true;
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(s, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

QString FloatEditFormat(double value, int digits, QChar separator)
{
    QString s = QString::number(value, 'f', std::clamp(digits, 0, kFloatEditMaxDigits));
    // A value that rounds to zero shows without a sign.
    if (s.startsWith(QLatin1Char('-')) &&
        std::none_of(s.begin(), s.end(), [](QChar c) { return c >= QLatin1Char('1') && c <= QLatin1Char('9'); }))
        s.remove(0, 1);
    s.replace(QLatin1Char('.'), separator);
    return s;
}

TFloatEdit::TFloatEdit(QWidget* parent) : QLineEdit(parent)
{
    const QString point = QLocale().decimalPoint();
    separator_ = point.isEmpty() ? QLatin1Char('.') : point.at(0);
    SetValue(0.0);
}

void TFloatEdit::ShowErrorMessage() const
{
    if (errorMessage_ != QLatin1String(kFloatEditNoText))
        ShowMessage(errorMessage_.toStdString());
}

double TFloatEdit::Value() const
{
    double v = 0.0;
    if (!FloatEditTextToValue(text(), separator_, v))
        v = 0.0;
    if (v < min_)
        return min_;
    if (v > max_)
        return max_;
    return v;
}

void TFloatEdit::SetValue(double value)
{
    if (std::isnan(value) || value < min_) {
        ShowErrorMessage();
        value = min_;
    } else if (value > max_) {
        ShowErrorMessage();
        value = max_;
    }
    setText(FloatEditFormat(value, digits_, separator_));
}

void TFloatEdit::SetDigits(int digits)
{
    digits = std::clamp(digits, 0, kFloatEditMaxDigits);
    if (digits == digits_)
        return;
    const double v = Value();
    digits_ = digits;
    SetValue(v);
}

void TFloatEdit::SetMin(double min)
{
    if (std::isnan(min) || min == min_)
        return;
    if (max_ < min) {
        ShowMessage("Min-Value has to be less than or equal to Max-Value !");
        min_ = max_;
    } else {
        min_ = min;
    }
    SetValue(Value());
}

void TFloatEdit::SetMax(double max)
{
    if (std::isnan(max) || max == max_)
        return;
    if (max < min_) {
        ShowMessage("Max-Value has to be greater than or equal to Min-Value !");
        max_ = min_;
    } else {
        max_ = max;
    }
    SetValue(Value());
}

void TFloatEdit::SetDecimalSeparator(QChar separator)
{
    if (separator == separator_ || separator.unicode() < 32)
        return;
    const double v = Value();
    separator_ = separator;
    SetValue(v);
}

void TFloatEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        SetValue(saved_);
        selectAll();
        event->accept();
        return;
    }
    const QString typed = event->text();
    if (typed.isEmpty() || typed.at(0).unicode() < 32 || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const int selStart = hasSelectedText() ? selectionStart() : cursorPosition();
    const int selLength = hasSelectedText() ? static_cast<int>(selectedText().size()) : 0;
    const TFloatKeyResult r = FloatEditKey(text(), selStart, selLength, typed.at(0), digits_, min_, separator_);
    switch (r.Action) {
    case TFloatKeyAction::Pass:
    case TFloatKeyAction::Insert:
        QLineEdit::keyPressEvent(event);
        break;
    case TFloatKeyAction::Replace:
        setText(r.Text);
        setSelection(r.SelStart, r.SelLength);
        event->accept();
        break;
    case TFloatKeyAction::Refuse:
        event->accept();
        break;
    }
}

void TFloatEdit::focusInEvent(QFocusEvent* event)
{
    // Switching windows or opening a popup does not enter the field anew.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        saved_ = Value();
    QLineEdit::focusInEvent(event);
}

void TFloatEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    double v = 0.0;
    if (FloatEditTextToValue(text(), separator_, v) && min_ <= v && v <= max_) {
        setText(FloatEditFormat(v, digits_, separator_));
        return;
    }
    // Out of range, or text that is no number (pasted): back to the value on entry.
    ShowErrorMessage();
    SetValue(saved_);
    selectAll();
    QPointer<TFloatEdit> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self) {
            self->setFocus(Qt::OtherFocusReason);
            self->selectAll();
        }
    });
}
