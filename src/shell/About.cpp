#include "shell/About.h"

#include "controls/Hemibtn.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <cmath>

namespace {

constexpr int BoxWidth = 420;
constexpr int BoxHeight = 280;

// The box's picture: a sky over two ridges and the program's name.
QImage MakeAboutPicture()
{
    QImage image(BoxWidth, BoxHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, BoxHeight);
    sky.setColorAt(0.0, QColor(40, 70, 140));
    sky.setColorAt(0.7, QColor(200, 180, 160));
    painter.fillRect(image.rect(), sky);
    const QColor ridges[2] = {QColor(70, 90, 80), QColor(35, 60, 40)};
    for (int layer = 0; layer < 2; ++layer) {
        QPainterPath path;
        path.moveTo(0, BoxHeight);
        for (int x = 0; x <= BoxWidth; x += 6) {
            const double y = BoxHeight * (0.62 + 0.12 * layer) - 28 * std::sin(x / (47.0 - 13 * layer) + layer)
                             - 12 * std::sin(x / 17.0 + 2 * layer);
            path.lineTo(x, y);
        }
        path.lineTo(BoxWidth, BoxHeight);
        path.closeSubpath();
        painter.fillPath(path, ridges[layer]);
    }
    QFont font = painter.font();
    font.setPointSize(28);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 30, BoxWidth, 60), Qt::AlignCenter, QStringLiteral("QuarlexII"));
    return image;
}

} // namespace

TAboutQuarlex2::TAboutQuarlex2(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), picture_(MakeAboutPicture())
{
    setWindowTitle(QStringLiteral("About QuarlexII"));
    setFixedSize(BoxWidth, BoxHeight);
    ContinueButton = new THemisphereButton(this);
    ContinueButton->SetCaption(QStringLiteral("Continue"));
    ContinueButton->SetFaceColor(QColor(150, 160, 200));
    ContinueButton->setGeometry(BoxWidth - 100, BoxHeight - 70, 80, 50);
    connect(ContinueButton, &THemisphereButton::OnClick, this, &QDialog::accept);
}

void TAboutQuarlex2::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(rect(), picture_);
}

void TAboutQuarlex2::showEvent(QShowEvent* event)
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
