#include "heightgrid/longprogress.h"

#include "controls/Animate.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

QImage GlobeAnimationStrip(int frames, int size)
{
    frames = std::max(frames, 1);
    size = std::max(size, 8);
    QImage strip(frames * size, size, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(1, 1, size - 2, size - 2);
    for (int f = 0; f < frames; ++f) {
        p.save();
        p.translate(f * size, 0);
        QPainterPath clip;
        clip.addEllipse(disc);
        p.setClipPath(clip);
        p.fillRect(disc, QColor(40, 90, 200));
        // Two continents turning once round the globe over the strip.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 160, 60));
        for (int k = 0; k < 2; ++k) {
            const double phase = 2 * M_PI * (double(f) / frames + k * 0.5);
            const double x = size / 2.0 + std::sin(phase) * size * 0.35;
            const double w = size * 0.3 * std::max(0.15, std::cos(phase));
            if (std::cos(phase) > -0.2)
                p.drawEllipse(QPointF(x, size * (0.4 + 0.2 * k)), w, size * 0.18);
        }
        p.setClipping(false);
        p.setPen(QColor(20, 40, 100));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(disc);
        p.restore();
    }
    return strip;
}

TLongProgressDlg::TLongProgressDlg(QWidget* parent) : QDialog(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    Globe = new TAnimated(this);
    Globe->SetBitMap(GlobeAnimationStrip(30, 30));
    Globe->setFixedSize(30, 30);
    Globe->SetFrameCount(30);
    Globe->SetInterval(10);
    Globe->SetLoop(true);
    Globe->SetPlay(true);
    ActivityLabel = new QLabel(this);
    ActivityLabel->setMinimumWidth(240);
    row->addWidget(Globe);
    row->addWidget(ActivityLabel, 1);
    layout->addLayout(row);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    layout->addWidget(CancelButton, 0, Qt::AlignHCenter);
    connect(CancelButton, &QPushButton::clicked, this, [this] { Continue = 0; });
}

void TLongProgressDlg::reject()
{
    Continue = 0;
}
