#include "heightgrid/Flood.h"

#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

TFloodDlg::TFloodDlg(QWidget* parent) : TOKBottomDlg(parent)
{
    setWindowTitle(QStringLiteral("Flood Options"));
    auto* layout = new QVBoxLayout(Content());
    FloodEQRadio = new QRadioButton(QStringLiteral("Flood connected grid points at same height only"), Content());
    FloodLERadio = new QRadioButton(QStringLiteral("Flood connected gridpoints at same or lower heights"), Content());
    FloodEQRadio->setChecked(true);
    layout->addWidget(FloodEQRadio);
    layout->addWidget(FloodLERadio);
    layout->addWidget(new QLabel(QStringLiteral("(resets grid point heights)"), Content()));
}
