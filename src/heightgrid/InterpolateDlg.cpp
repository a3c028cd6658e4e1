#include "heightgrid/InterpolateDlg.h"

#include "shell/Help.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

TInterpolateDlg::TInterpolateDlg(QWidget* parent) : TOKBottomDlg(parent)
{
    setWindowTitle(QStringLiteral("Interpolation Parameters"));
    auto* layout = new QVBoxLayout(Content());

    auto* method = new QGroupBox(QStringLiteral("Interpolation Method"), Content());
    auto* methodLayout = new QVBoxLayout(method);
    NearestRadio = new QRadioButton(QStringLiteral("Nearest Neighbour"), method);
    TrendRadio = new QRadioButton(QStringLiteral("Trend Analysis"), method);
    NearestRadio->setChecked(true);
    methodLayout->addWidget(NearestRadio);
    methodLayout->addWidget(TrendRadio);
    layout->addWidget(method);

    auto* nearest = new QGroupBox(QStringLiteral("Nearest Neighbour Interpolation"), Content());
    auto* nearestLayout = new QFormLayout(nearest);
    SpeedCheck = new QCheckBox(QStringLiteral("Optimise for speed"), nearest);
    GradientCheck = new QCheckBox(QStringLiteral("Use calculated gradients"), nearest);
    ExtrapolateCheck = new QCheckBox(QStringLiteral("Extrapolate"), nearest);
    SpeedCheck->setChecked(true);
    GradientCheck->setChecked(true);
    nearestLayout->addRow(SpeedCheck);
    nearestLayout->addRow(GradientCheck);
    nearestLayout->addRow(ExtrapolateCheck);
    Taughtness1Label = new QLabel(QStringLiteral("Taughtness #1"), nearest);
    Taughtness2Label = new QLabel(QStringLiteral("Taughtness #2"), nearest);
    Taughtness1Spin = new QSpinBox(nearest);
    Taughtness2Spin = new QSpinBox(nearest);
    Taughtness1Spin->setRange(0, 100);
    Taughtness2Spin->setRange(0, 100);
    Taughtness1Spin->setValue(1);
    Taughtness2Spin->setValue(8);
    nearestLayout->addRow(Taughtness1Label, Taughtness1Spin);
    nearestLayout->addRow(Taughtness2Label, Taughtness2Spin);
    layout->addWidget(nearest);

    auto* trend = new QGroupBox(QStringLiteral("Trend Analysis/Smoothing (Whole Grid)"), Content());
    auto* trendLayout = new QVBoxLayout(trend);
    TrendCheck = new QCheckBox(QStringLiteral("Trend Analysis"), trend);
    SmoothingCheck = new QCheckBox(QStringLiteral("Smoothing transform"), trend);
    TrendCheck->setChecked(true);
    SmoothingCheck->setChecked(true);
    trendLayout->addWidget(TrendCheck);
    trendLayout->addWidget(SmoothingCheck);
    layout->addWidget(trend);

    auto* common = new QGroupBox(QStringLiteral("Common Items"), Content());
    auto* commonLayout = new QFormLayout(common);
    MinHeightSpin = new QSpinBox(common);
    MinHeightSpin->setRange(-1000, 10000);
    MinHeightSpin->setValue(0);
    commonLayout->addRow(QStringLiteral("Minimum Height"), MinHeightSpin);
    layout->addWidget(common);

    HelpButton = new QPushButton(QStringLiteral("&Help"), this);
    ButtonRow()->addWidget(HelpButton);
    connect(HelpButton, &QPushButton::clicked, this, [] { ShowHelpTopic(); });
    connect(NearestRadio, &QRadioButton::toggled, this, [this] { MethodClick(); });
    connect(TrendRadio, &QRadioButton::toggled, this, [this] { MethodClick(); });
    MethodClick();
}

void TInterpolateDlg::MethodClick()
{
    const bool nearest = NearestRadio->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{SpeedCheck, GradientCheck, ExtrapolateCheck, Taughtness1Label,
                                                      Taughtness2Label, Taughtness1Spin, Taughtness2Spin})
        w->setEnabled(nearest);
    TrendCheck->setEnabled(!nearest);
    SmoothingCheck->setEnabled(!nearest);
}

TGridParams TInterpolateDlg::Params() const
{
    TGridParams p;
    p.Gradients = GradientCheck->isChecked();
    p.Speed = SpeedCheck->isChecked();
    p.Extrapolate = ExtrapolateCheck->isChecked();
    p.Tautness1 = Taughtness1Spin->value();
    p.Tautness2 = Taughtness2Spin->value();
    p.MinHeight = MinHeightSpin->value();
    return p;
}
