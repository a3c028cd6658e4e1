#include "controls/FloatEdit.h"

#include "controls/ControlsTestSupport.h"

#include <QFocusEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

namespace {

using qxtest::RecordingPrompt;
using A = TFloatKeyAction;

TEST(FloatEditKey, AcceptedKeysResultingTextAndSelection)
{
    struct Case {
        const char* text; int selStart, selLength; char ch; int digits; double min; char sep;
        A action; const char* result; int resStart, resLength;
    };
    const Case cases[] = {
        {"", 0, 0, '5', 1, 0, '.', A::Insert, "5", 1, 0},
        {"12", 2, 0, '.', 1, 0, '.', A::Insert, "12.", 3, 0},
        {"12.3", 4, 0, '4', 1, 0, '.', A::Refuse, "12.3", 4, 0},     // one decimal only
        {"12.3", 0, 0, '4', 1, 0, '.', A::Insert, "412.3", 1, 0},
        {"1.23", 2, 2, '4', 2, 0, '.', A::Insert, "1.4", 3, 0},      // replaces the selection
        {"1.2", 1, 1, '.', 1, 0, '.', A::Insert, "1.2", 2, 0},       // the selected separator goes
        {"1.2", 3, 0, '.', 1, 0, '.', A::Refuse, "1.2", 3, 0},       // a second separator
        {"12", 2, 0, '.', 0, 0, '.', A::Refuse, "12", 2, 0},         // Digits 0: no separator
        {"12", 2, 0, ',', 1, 0, '.', A::Refuse, "12", 2, 0},         // not this locale's separator
        {"12", 2, 0, ',', 1, 0, ',', A::Insert, "12,", 3, 0},
        {"", 0, 0, '.', 1, 0, '.', A::Replace, "0.0", 2, 1},         // separator alone
        {"12", 0, 2, ',', 3, 0, ',', A::Replace, "0,0", 2, 1},
        {"12", 2, 0, '-', 1, 0, '.', A::Refuse, "12", 2, 0},         // Min 0: no minus
        {"", 0, 0, '-', 1, -1000, '.', A::Replace, "-0", 1, 1},      // minus alone
        {"-12", 0, 3, '-', 1, -10, '.', A::Replace, "-0", 1, 1},
        {"12", 0, 0, '-', 1, -10, '.', A::Insert, "-12", 1, 0},
        {"12", 1, 0, '-', 1, -10, '.', A::Refuse, "12", 1, 0},       // minus only in front
        {"-12", 0, 0, '-', 1, -10, '.', A::Refuse, "-12", 0, 0},     // a second minus
        {"-12", 0, 0, '5', 1, -10, '.', A::Refuse, "-12", 0, 0},     // nothing before the minus
        {"-12", 1, 0, '5', 1, -10, '.', A::Insert, "-512", 2, 0},
        {"12", 2, 0, 'a', 1, 0, '.', A::Refuse, "12", 2, 0},
        {"12", 2, 0, ' ', 1, 0, '.', A::Refuse, "12", 2, 0},
        {"12", 2, 0, 'e', 1, 0, '.', A::Refuse, "12", 2, 0},
        {"12", 2, 0, '\b', 1, 0, '.', A::Pass, "12", 2, 0},          // control keys pass
        {"12", 9, 5, '3', 1, 0, '.', A::Insert, "123", 3, 0},        // selection beyond the text
    };
    for (const Case& c : cases) {
        const TFloatKeyResult r = FloatEditKey(QString::fromLatin1(c.text), c.selStart, c.selLength,
                                               QLatin1Char(c.ch), c.digits, c.min, QLatin1Char(c.sep));
        const std::string label = std::string(c.text) + " + '" + c.ch + "'";
        EXPECT_EQ(r.Action, c.action) << label;
        EXPECT_EQ(r.Text.toStdString(), c.result) << label;
        EXPECT_EQ(r.SelStart, c.resStart) << label;
        EXPECT_EQ(r.SelLength, c.resLength) << label;
    }
}

TEST(FloatEditText, ConversionsBothWays)
{
    struct In { const char* text; char sep; bool ok; double value; };
    const In ins[] = {
        {"", '.', true, 0}, {"-", '.', true, 0}, {".", '.', true, 0}, {"-.", '.', true, 0},
        {",", ',', true, 0}, {"12.5", '.', true, 12.5}, {"12,5", ',', true, 12.5}, {"-0,25", ',', true, -0.25},
        {"12.", '.', true, 12}, {".5", '.', true, 0.5}, {"abc", '.', false, 0}, {"1-2", '.', false, 0},
        {"inf", '.', false, 0}, {"nan", '.', false, 0}, {"1.2.3", '.', false, 0},
    };
    for (const In& c : ins) {
        double v = -99;
        EXPECT_EQ(FloatEditTextToValue(c.text, QLatin1Char(c.sep), v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        }
    }
    struct Out { double value; int digits; char sep; const char* text; };
    const Out outs[] = {
        {12.345, 1, '.', "12.3"}, {12.36, 1, ',', "12,4"}, {-3, 2, ',', "-3,00"}, {0, 0, '.', "0"},
        {-0.04, 1, '.', "0.0"}, {-0.0, 3, '.', "0.000"}, {99999999.9, 1, '.', "99999999.9"},
        {1.5, 18, '.', "1.500000000000000000"}, {7, 40, '.', "7.000000000000000000"},
    };
    for (const Out& c : outs)
        EXPECT_EQ(FloatEditFormat(c.value, c.digits, QLatin1Char(c.sep)).toStdString(), c.text) << c.value;
}

// A field with a known separator, as the editors create it.
struct Field {
    TFloatEdit edit;
    Field() { edit.SetDecimalSeparator(QLatin1Char('.')); }
    void FocusIn() { QFocusEvent e(QEvent::FocusIn, Qt::TabFocusReason); QApplication::sendEvent(&edit, &e); }
    void FocusOut() { QFocusEvent e(QEvent::FocusOut, Qt::TabFocusReason); QApplication::sendEvent(&edit, &e); }
};

TEST(FloatEdit, DefaultsAndTyping)
{
    RecordingPrompt prompt;
    Field f;
    EXPECT_EQ(f.edit.Digits(), 1);
    EXPECT_DOUBLE_EQ(f.edit.Min(), 0.0);
    EXPECT_DOUBLE_EQ(f.edit.Max(), 99999999.9);
    EXPECT_EQ(f.edit.ErrorMessage(), "[No Text]");
    EXPECT_EQ(f.edit.text(), "0.0");

    f.edit.clear();
    QTest::keyClicks(&f.edit, "12.34");
    EXPECT_EQ(f.edit.text(), "12.3");
    QTest::keyClick(&f.edit, Qt::Key_Minus);
    EXPECT_EQ(f.edit.text(), "12.3"); // Min 0: minus does nothing

    f.edit.SetMin(-1000);
    f.edit.clear();
    QTest::keyClick(&f.edit, '-');
    EXPECT_EQ(f.edit.text(), "-0");
    EXPECT_EQ(f.edit.selectedText(), "0");
    QTest::keyClick(&f.edit, '7');
    EXPECT_EQ(f.edit.text(), "-7");
    QTest::keyClick(&f.edit, Qt::Key_Backspace);
    EXPECT_EQ(f.edit.text(), "-");
    EXPECT_DOUBLE_EQ(f.edit.Value(), 0.0);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST(FloatEdit, ValueReadAndWriteAreLimited)
{
    RecordingPrompt prompt;
    Field f;
    f.edit.SetMin(1.0);
    f.edit.SetMax(10.0);
    f.edit.setText("-");
    EXPECT_DOUBLE_EQ(f.edit.Value(), 1.0); // 0 is below Min
    f.edit.setText("55");
    EXPECT_DOUBLE_EQ(f.edit.Value(), 10.0); // silently
    f.edit.setText("garbage");
    EXPECT_DOUBLE_EQ(f.edit.Value(), 1.0);
    EXPECT_TRUE(prompt.shown.empty());

    f.edit.SetValue(20); // "[No Text]": no message
    EXPECT_EQ(f.edit.text(), "10.0");
    EXPECT_TRUE(prompt.shown.empty());

    f.edit.SetErrorMessage("Out of range");
    struct Case { double in; const char* text; size_t messages; };
    const Case cases[] = {
        {20, "10.0", 1}, {-5, "1.0", 2}, {std::numeric_limits<double>::quiet_NaN(), "1.0", 3},
        {std::numeric_limits<double>::infinity(), "10.0", 4}, {5.24, "5.2", 4}, {10, "10.0", 4},
    };
    for (const Case& c : cases) {
        f.edit.SetValue(c.in);
        EXPECT_EQ(f.edit.text(), c.text) << c.in;
        EXPECT_EQ(prompt.shown.size(), c.messages) << c.in;
    }
    EXPECT_EQ(prompt.shown.back(), "Out of range");

    f.edit.SetDigits(3);
    EXPECT_EQ(f.edit.text(), "10.000");
    f.edit.SetDigits(25);
    EXPECT_EQ(f.edit.Digits(), 18);
}

TEST(FloatEdit, MinAndMaxStayOrdered)
{
    RecordingPrompt prompt;
    Field f;
    f.edit.SetMax(50);
    f.edit.SetValue(40);
    f.edit.SetMin(60);
    EXPECT_DOUBLE_EQ(f.edit.Min(), 50.0);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0], "Min-Value has to be less than or equal to Max-Value !");
    EXPECT_EQ(f.edit.text(), "50.0"); // the value is written again within the new range

    f.edit.SetMax(10);
    EXPECT_DOUBLE_EQ(f.edit.Max(), 50.0);
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1], "Max-Value has to be greater than or equal to Min-Value !");

    f.edit.SetMin(50); // the same value: nothing happens
    f.edit.SetMin(std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(f.edit.Min(), 50.0);
    EXPECT_EQ(prompt.shown.size(), 2u);
}

TEST(FloatEdit, LeavingTheFieldReformatsOrRestores)
{
    RecordingPrompt prompt;
    Field f;
    f.edit.SetMax(100);
    f.edit.SetErrorMessage("Value out of range");
    f.edit.SetValue(42);
    struct Case { const char* typed; const char* after; size_t messages; bool allSelected; };
    const Case cases[] = {
        {"7", "7.0", 0, false},
        {"100", "100.0", 0, false},
        {"150", "42.0", 1, true},     // above Max: the value on entry comes back
        {"abc", "42.0", 2, true},     // text that is no number (pasted) is refused the same way
        {"-", "0.0", 2, false},
    };
    for (const Case& c : cases) {
        f.edit.SetValue(42);
        f.FocusIn();
        EXPECT_DOUBLE_EQ(f.edit.SavedValue(), 42.0);
        f.edit.setText(c.typed);
        f.FocusOut();
        EXPECT_EQ(f.edit.text(), c.after) << c.typed;
        EXPECT_EQ(prompt.shown.size(), c.messages) << c.typed;
        EXPECT_EQ(f.edit.hasSelectedText() && f.edit.selectedText() == f.edit.text(), c.allSelected) << c.typed;
        f.edit.deselect();
    }
    // Switching to another window is not leaving the field.
    f.edit.setText("150");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(&f.edit, &away);
    EXPECT_EQ(f.edit.text(), "150");
}

TEST(FloatEdit, EscapeRestoresTheValueOnEntry)
{
    Field f;
    f.edit.SetValue(3.5);
    f.FocusIn();
    f.edit.setText("88");
    QTest::keyClick(&f.edit, Qt::Key_Escape);
    EXPECT_EQ(f.edit.text(), "3.5");
    EXPECT_EQ(f.edit.selectedText(), "3.5");
}

} // namespace
