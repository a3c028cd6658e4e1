#include "editors/TerrainTypeDlg.h"

#include "project/TypeDefinition.h"

#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

QPointer<TTerrainTypeDlg> TerrainTypeDlg;

TTerrainTypeDlg::TTerrainTypeDlg(QWidget* parent) : TOKBottomDlg(parent)
{
    setWindowTitle(QStringLiteral("Select Terrain Layer Type"));
    auto* layout = new QVBoxLayout(Content());
    auto* heading = new QLabel(QStringLiteral("Select the type of terrain information this new layer will contain..."), Content());
    layout->addWidget(heading);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    struct Choice {
        QRadioButton** radio;
        const char* caption;
        const char* text;
    } choices[] = {
        {&SurfaceRadio, "Surface",
         "Changes simple surface properties only.  Use this type of terrain to control surface color and texture"},
        {&EcologyRadio, "Ecology",
         "Controls how QuarlexII will grow general surface vegetation.  Use this type of terrain to distribute plants on the "
         "landscape depending on environmental factors such as height and aspect."},
        {&ModelRadio, "Model",
         "Places 3DS models on the landscape.  Use this type of terrain to place specific models such as windmills, "
         "telephone masts or particular buildings"},
        {&OverlayRadio, "Overlay",
         "This terrain type overlays all or part of an image onto the landscape surface.  The image may be mapped precisely "
         "or fractalized"},
        {&VegetationRadio, "Vegetation",
         "Places precise areas of vegetation - such as forests or hedgerows.  Use this type of terrain when you need precise "
         "control over the distribution of vegetation.  This terrain type can also control surface properties in the same "
         "way as 'surface'"},
        {&UrbanRadio, "Urban",
         "Creates simple urban buildings - use for villages and towns where you don't require to control individual details "
         "for each building.  This terrain type can also control surface properties in the same way as 'surface'"},
    };
    int row = 0;
    for (const Choice& c : choices) {
        *c.radio = new QRadioButton(QString::fromUtf8(c.caption), Content());
        auto* text = new QLabel(QString::fromUtf8(c.text), Content());
        text->setWordWrap(true);
        text->setMinimumWidth(420);
        grid->addWidget(*c.radio, row, 0, Qt::AlignTop);
        grid->addWidget(text, row, 1);
        ++row;
    }
    SurfaceRadio->setChecked(true);
}

int32_t TTerrainTypeDlg::CheckedLayerType() const
{
    if (EcologyRadio->isChecked())
        return ltEcology;
    if (ModelRadio->isChecked())
        return ltModel;
    if (OverlayRadio->isChecked())
        return ltOverlay;
    if (VegetationRadio->isChecked())
        return ltVegetation;
    if (UrbanRadio->isChecked())
        return ltUrban;
    return ltSurface;
}
