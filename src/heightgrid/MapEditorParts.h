#pragma once
// Pieces the two map editors (the landscape editor and the terrain placement editor) build alike.
class QBoxLayout;
class QLineEdit;
class QScrollArea;
class QString;
class QToolBar;
class QToolButton;
class QWidget;
class TDefineNet;

QToolButton* MapToolButton(QToolBar* bar, const QString& text, const QString& hint, bool checkable);
// The map control (300 x 200 until the first zoom) in its scroll box "CanvasScrollBox", added to
// layout with all the stretch.
TDefineNet* AddMapCanvas(QWidget* owner, QBoxLayout* layout, QScrollArea*& scrollBox);
// A read-only text field in a box titled title, added to layout.
QLineEdit* AddInfoField(QWidget* owner, QBoxLayout* layout, const QString& title);
