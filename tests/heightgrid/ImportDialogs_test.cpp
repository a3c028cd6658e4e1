#include "heightgrid/Importdlg.h"
#include "heightgrid/PGMImport.h"
#include "heightgrid/bmpimport.h"

#include "controls/FloatEdit.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <gtest/gtest.h>

TEST(ImportForm, ModeRulesDecideWhatCanBeEdited)
{
    TImportForm form;
    EXPECT_EQ(form.windowTitle(), "Digital Data Import");
    EXPECT_TRUE(form.AutoSizeRadio->isChecked());
    // Auto-size: placement controls are disabled.
    for (QWidget* w : {(QWidget*)form.XOriginSpin, (QWidget*)form.YOriginSpin, (QWidget*)form.DefaultSpin,
                       (QWidget*)form.NullCheck, (QWidget*)form.OverwriteCheck})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(form.SampleSpin->isEnabled());

    form.LoadSize();
    EXPECT_TRUE(form.XOriginSpin->isEnabled());
    EXPECT_TRUE(form.OverwriteCheck->isEnabled());
    EXPECT_FALSE(form.DefaultSpin->isEnabled()); // "Use Null" is checked
    form.NullCheck->click();                      // unchecks it
    EXPECT_TRUE(form.DefaultSpin->isEnabled());
    form.NullCheck->click();
    EXPECT_FALSE(form.DefaultSpin->isEnabled());

    form.AutoSizeRadio->click();
    EXPECT_FALSE(form.XOriginSpin->isEnabled());
    EXPECT_FALSE(form.DefaultSpin->isEnabled());
}

TEST(ImportForm, OptionsRoundTripAndDefaults)
{
    TImportForm form;
    const TImportOptions defaults = form.Options();
    const TImportOptions fresh;
    EXPECT_EQ(defaults.AutoSize, fresh.AutoSize);
    EXPECT_EQ(defaults.UseNull, fresh.UseNull);
    EXPECT_EQ(defaults.Overwrite, fresh.Overwrite);
    EXPECT_EQ(defaults.Sample, 1);

    TImportOptions o;
    o.AutoSize = false;
    o.XOrigin = -120;
    o.YOrigin = 99999;
    o.DefaultHeight = 250;
    o.UseNull = false;
    o.Overwrite = false;
    o.XOffset = 3;
    o.YOffset = 4;
    o.Sample = 10;
    form.SetOptions(o);
    const TImportOptions back = form.Options();
    EXPECT_FALSE(back.AutoSize);
    EXPECT_EQ(back.XOrigin, -120);
    EXPECT_EQ(back.YOrigin, 99999);
    EXPECT_EQ(back.DefaultHeight, 250);
    EXPECT_FALSE(back.UseNull);
    EXPECT_FALSE(back.Overwrite);
    EXPECT_EQ(back.XOffset, 3);
    EXPECT_EQ(back.Sample, 10);
    EXPECT_TRUE(form.DefaultSpin->isEnabled());

    // Limits of the spins.
    form.SampleSpin->setValue(50);
    EXPECT_EQ(form.Options().Sample, kImportSampleMax);
}

TEST(ImportForm, RunDialogResetsSamplingAndHonoursCancel)
{
    TImportForm form;
    form.SampleSpin->setValue(7);
    TImportOptions out;
    out.Sample = 99;
    QTimer::singleShot(0, &form, [&] { form.reject(); });
    EXPECT_FALSE(RunImportDialog(form, false, out));
    EXPECT_EQ(out.Sample, 99); // untouched
    EXPECT_TRUE(form.LoadRadio->isChecked());
    EXPECT_EQ(form.SampleSpin->value(), 1);

    QTimer::singleShot(0, &form, [&] { form.accept(); });
    ASSERT_TRUE(RunImportDialog(form, true, out));
    EXPECT_TRUE(out.AutoSize);
    EXPECT_EQ(out.Sample, 1);
}

TEST(BMPImportForm, ChannelRadiosAndSpacings)
{
    TBMPImportForm form;
    EXPECT_EQ(form.windowTitle(), "BMP Import Parameters");
    TBMPImportOptions d = form.Options();
    EXPECT_EQ(d.Order, TChannelOrder::RGB);
    EXPECT_EQ(d.MaxHeight, 1000);
    EXPECT_DOUBLE_EQ(d.XSpacing, 0.1);
    EXPECT_EQ(form.RBGRadio->text(), "Red Blue Green ");

    const std::pair<QRadioButton*, TChannelOrder> radios[] = {
        {form.RBGRadio, TChannelOrder::RBG}, {form.GBRRadio, TChannelOrder::GBR}, {form.GRBRadio, TChannelOrder::GRB},
        {form.BRGRadio, TChannelOrder::BRG}, {form.BGRRadio, TChannelOrder::BGR}, {form.RGBRadio, TChannelOrder::RGB}};
    for (const auto& [radio, order] : radios) {
        radio->click();
        EXPECT_EQ(form.Options().Order, order) << radio->objectName().toStdString();
    }
    TBMPImportOptions o{TChannelOrder::GRB, 9000, 12.5, 9999.9};
    form.SetOptions(o);
    TBMPImportOptions back = form.Options();
    EXPECT_EQ(back.Order, TChannelOrder::GRB);
    EXPECT_EQ(back.MaxHeight, 9000);
    EXPECT_DOUBLE_EQ(back.XSpacing, 12.5);
    EXPECT_DOUBLE_EQ(back.YSpacing, 9999.9);
    form.MaxHeightEdit->setValue(5);
    EXPECT_EQ(form.Options().MaxHeight, kBMPMaxHeightMin);
}

TEST(PGMImportForm, SpacingDefaultsAndLimits)
{
    TPGMImportForm form;
    EXPECT_EQ(form.windowTitle(), "Pixel Greymap Import");
    EXPECT_DOUBLE_EQ(form.Options().XSpacing, 30.0);
    EXPECT_DOUBLE_EQ(form.Options().YSpacing, 30.0);
    form.SetOptions({2.5, 7.5});
    EXPECT_DOUBLE_EQ(form.Options().XSpacing, 2.5);
    EXPECT_DOUBLE_EQ(form.Options().YSpacing, 7.5);
    EXPECT_EQ(form.XSpacingMaskEdit->Digits(), 1);
    EXPECT_DOUBLE_EQ(form.XSpacingMaskEdit->Min(), kSpacingMin);
}
