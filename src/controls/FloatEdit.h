#pragma once
// TFloatEdit: a one-line field for one real number with a fixed number of decimals and a range.
// Keystrokes are filtered so that only a well-formed number can be typed; leaving the field
// reformats the text, or restores the value it had on entry when the entry is out of range.
// The value lives only in the text.
//
// The keystroke filter and the text/number conversions are free functions (tested as tables).
#include <QChar>
#include <QLineEdit>
#include <QString>

inline constexpr int kFloatEditMaxDigits = 18;
inline const char* const kFloatEditNoText = "[No Text]";

// What a typed printable character does to the field.
enum class TFloatKeyAction {
    Pass,    // a control character: the edit's own handling
    Refuse,  // swallowed
    Insert,  // inserted as typed (replacing the selection)
    Replace, // the text and the selection become Text, SelStart, SelLength
};

struct TFloatKeyResult {
    TFloatKeyAction Action = TFloatKeyAction::Refuse;
    QString Text;      // the text after the key (unchanged text when refused or passed)
    int SelStart = 0;  // cursor or selection start after the key
    int SelLength = 0;
};

// The filter for one typed character, given the text and its selection (selLength 0: a cursor).
TFloatKeyResult FloatEditKey(const QString& text, int selStart, int selLength, QChar ch, int digits,
                             double min, QChar separator);

// Text to number: "-", the separator alone and "" read as 0. False for text that is no number.
bool FloatEditTextToValue(const QString& text, QChar separator, double& value);
// Fixed notation with `digits` decimals and the given separator (never "-0").
QString FloatEditFormat(double value, int digits, QChar separator);

class TFloatEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(int Digits READ Digits WRITE SetDigits)
    Q_PROPERTY(double Min READ Min WRITE SetMin)
    Q_PROPERTY(double Max READ Max WRITE SetMax)
    Q_PROPERTY(QString ErrorMessage READ ErrorMessage WRITE SetErrorMessage)
    Q_PROPERTY(double Value READ Value WRITE SetValue STORED false)

public:
    explicit TFloatEdit(QWidget* parent = nullptr);

    int Digits() const { return digits_; }
    void SetDigits(int digits); // at most 18; the text is rewritten with the new decimals
    double Min() const { return min_; }
    void SetMin(double min);
    double Max() const { return max_; }
    void SetMax(double max);
    QString ErrorMessage() const { return errorMessage_; }
    void SetErrorMessage(const QString& message) { errorMessage_ = message; }
    QChar DecimalSeparator() const { return separator_; }
    void SetDecimalSeparator(QChar separator);

    // The text as a number, limited to Min..Max; text that is no number reads as 0 (limited).
    double Value() const;
    // Out of range: shows ErrorMessage and stores the nearest limit.
    void SetValue(double value);
    // The value the field had when it got the focus.
    double SavedValue() const { return saved_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void ShowErrorMessage() const;

    int digits_ = 1;
    double min_ = 0.0;
    double max_ = 99999999.9;
    QChar separator_;
    QString errorMessage_ = QString::fromLatin1(kFloatEditNoText);
    double saved_ = 0.0;
};
