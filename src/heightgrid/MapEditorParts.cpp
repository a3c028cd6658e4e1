#include "heightgrid/MapEditorParts.h"

#include "heightgrid/DefNet.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QToolBar>
#include <QToolButton>

QToolButton* MapToolButton(QToolBar* bar, const QString& text, const QString& hint, bool checkable)
{
    auto* button = new QToolButton(bar);
    button->setText(text);
    button->setToolTip(hint);
    button->setCheckable(checkable);
    bar->addWidget(button);
    return button;
}

TDefineNet* AddMapCanvas(QWidget* owner, QBoxLayout* layout, QScrollArea*& scrollBox)
{
    scrollBox = new QScrollArea(owner);
    scrollBox->setObjectName(QStringLiteral("CanvasScrollBox"));
    scrollBox->setWidgetResizable(false);
    auto* map = new TDefineNet;
    map->setGeometry(0, 0, 300, 200);
    scrollBox->setWidget(map);
    layout->addWidget(scrollBox, 1);
    return map;
}

QLineEdit* AddInfoField(QWidget* owner, QBoxLayout* layout, const QString& title)
{
    auto* box = new QGroupBox(title, owner);
    auto* field = new QLineEdit(box);
    field->setReadOnly(true);
    (new QVBoxLayout(box))->addWidget(field);
    layout->addWidget(box);
    return field;
}
