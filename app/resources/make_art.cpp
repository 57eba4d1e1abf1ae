// Draws Tavro's pictures: the ten 31 x 31 toolbar buttons, the application
// icon, the .qcf document icon and the About banner. Run by
// scripts/make_art.sh, which writes the PNG files next to this source; the
// PNGs are committed, so a build does not need this program.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kInk(40, 44, 52);
const QColor kPaper(252, 252, 248);
const QColor kBlue(36, 104, 196);
const QColor kTeal(18, 150, 150);
const QColor kGreen(46, 160, 67);
const QColor kOrange(235, 140, 30);
const QColor kRed(206, 52, 44);
const QColor kFilm(54, 58, 66);

void Save(const QImage& image, const QString& strDir, const QString& strName) {
    const QString strPath = QDir(strDir).filePath(strName);
    if (!image.save(strPath, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(strPath));
    }
}

QImage Draw(int nWidth, int nHeight, const std::function<void(QPainter&)>& paint) {
    QImage image(nWidth, nHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paint(painter);
    return image;
}

QPen Outline(const QColor& color, double dWidth = 1.0) {
    QPen pen(color, dWidth);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// A page with a folded top-right corner.
void Page(QPainter& p, QRectF r, const QColor& fill = kPaper) {
    const double fold = r.width() * 0.32;
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(Outline(kInk));
    p.setBrush(fill);
    p.drawPath(path);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(QColor(210, 214, 220));
    p.drawPath(corner);
}

// Text lines on a page.
void PageLines(QPainter& p, QRectF r, int nLines) {
    p.setPen(Outline(QColor(150, 156, 166)));
    for (int i = 0; i < nLines; ++i) {
        const double y = r.top() + r.height() * (0.42 + 0.15 * i);
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
    }
}

// A picture frame: a small landscape with sky and hills, the sign of a video frame.
void Frame(QPainter& p, QRectF r, const QColor& sky) {
    p.setPen(Outline(kInk));
    p.setBrush(sky);
    p.drawRoundedRect(r, 1.5, 1.5);
    QPainterPath hill;
    hill.moveTo(r.left() + 0.5, r.bottom() - 0.5);
    hill.lineTo(r.left() + r.width() * 0.35, r.top() + r.height() * 0.45);
    hill.lineTo(r.left() + r.width() * 0.6, r.top() + r.height() * 0.7);
    hill.lineTo(r.left() + r.width() * 0.78, r.top() + r.height() * 0.55);
    hill.lineTo(r.right() - 0.5, r.bottom() - 0.5);
    hill.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen.darker(115));
    p.drawPath(hill);
    p.setBrush(QColor(255, 214, 80));
    p.drawEllipse(QPointF(r.right() - r.width() * 0.22, r.top() + r.height() * 0.28),
                  r.width() * 0.09, r.width() * 0.09);
}

// A filled arrow from a to b with a head of the given size.
void Arrow(QPainter& p, QPointF a, QPointF b, double head, double shaft, const QColor& color) {
    const QPointF d = b - a;
    const double len = std::hypot(d.x(), d.y());
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    const QPointF base = b - u * head;
    QPainterPath path;
    path.moveTo(a + n * shaft / 2);
    path.lineTo(base + n * shaft / 2);
    path.lineTo(base + n * head * 0.75);
    path.lineTo(b);
    path.lineTo(base - n * head * 0.75);
    path.lineTo(base - n * shaft / 2);
    path.lineTo(a - n * shaft / 2);
    path.closeSubpath();
    p.setPen(Outline(color.darker(150)));
    p.setBrush(color);
    p.drawPath(path);
}

// A small badge circle at the lower right.
void Badge(QPainter& p, QPointF c, double r, const QColor& color) {
    p.setPen(Outline(color.darker(150)));
    QRadialGradient g(c - QPointF(r / 3, r / 3), r * 1.4);
    g.setColorAt(0, color.lighter(140));
    g.setColorAt(1, color);
    p.setBrush(g);
    p.drawEllipse(c, r, r);
}

// The wavelet pyramid: a square split into quarters, the top-left quarter
// split again, and so on, the coarsest band highlighted.
void Pyramid(QPainter& p, QRectF r, int nLevels, double dLine, const QColor& line,
             const QColor& coarse) {
    QRectF band = r;
    for (int i = 0; i < nLevels; ++i) {
        band.setSize(band.size() / 2);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(coarse);
    p.drawRect(band);
    p.setPen(Outline(line, dLine));
    p.setBrush(Qt::NoBrush);
    QRectF q = r;
    for (int i = 0; i < nLevels; ++i) {
        const QPointF c = q.center();
        p.drawLine(QPointF(c.x(), q.top()), QPointF(c.x(), q.bottom()));
        p.drawLine(QPointF(q.left(), c.y()), QPointF(q.right(), c.y()));
        q.setSize(q.size() / 2);
    }
    p.drawRect(r);
}

QImage AppIcon(int n) {
    return Draw(n, n, [n](QPainter& p) {
        const double s = n / 256.0;
        const QRectF tile(8 * s, 8 * s, 240 * s, 240 * s);
        QLinearGradient g(tile.topLeft(), tile.bottomRight());
        g.setColorAt(0, QColor(28, 64, 140));
        g.setColorAt(1, QColor(16, 140, 150));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(tile, 44 * s, 44 * s);
        Pyramid(p, QRectF(44 * s, 44 * s, 168 * s, 168 * s), 3, 7 * s, QColor(255, 255, 255, 235),
                kOrange);
        // A wavelet's wiggle across the finest bands.
        QPainterPath wave;
        for (int i = 0; i <= 80; ++i) {
            const double t = (i - 40) / 10.0;
            const double x = 128 + t * 18;
            const double y = 170 - 34 * std::exp(-t * t / 2.2) * std::cos(2.6 * t);
            i == 0 ? wave.moveTo(x * s, y * s) : wave.lineTo(x * s, y * s);
        }
        p.setPen(Outline(QColor(255, 220, 120), 6 * s));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave.translated(20 * s, 0));
    });
}

QImage DocumentIcon(int n) {
    return Draw(n, n, [n](QPainter& p) {
        const double s = n / 256.0;
        p.scale(s, s);
        Page(p, QRectF(40, 12, 176, 232));
        // A film strip across the page with three frames.
        const QRectF strip(40, 96, 176, 84);
        p.setPen(Qt::NoPen);
        p.setBrush(kFilm);
        p.drawRect(strip);
        p.setBrush(kPaper);
        for (int i = 0; i < 8; ++i) {
            p.drawRoundedRect(QRectF(48 + i * 21.5, 101, 11, 8), 2, 2);
            p.drawRoundedRect(QRectF(48 + i * 21.5, 167, 11, 8), 2, 2);
        }
        for (int i = 0; i < 3; ++i) {
            Frame(p, QRectF(50 + i * 54, 114, 48, 48), QColor(150, 196, 240));
        }
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(44);
        font.setBold(true);
        p.setFont(font);
        p.setPen(kBlue);
        p.drawText(QRectF(40, 188, 176, 52), Qt::AlignCenter, QStringLiteral("QCF"));
    });
}

QImage Banner() {
    return Draw(455, 79, [](QPainter& p) {
        QLinearGradient g(0, 0, 455, 79);
        g.setColorAt(0, QColor(24, 52, 120));
        g.setColorAt(1, QColor(14, 128, 140));
        p.fillRect(QRect(0, 0, 455, 79), g);
        Pyramid(p, QRectF(14, 10, 59, 59), 3, 1.6, QColor(255, 255, 255, 230), kOrange);
        // A faint wavelet along the right side.
        QPainterPath wave;
        for (int i = 0; i <= 200; ++i) {
            const double t = (i - 100) / 25.0;
            const double x = 360 + t * 22;
            const double y = 40 - 26 * std::exp(-t * t / 2.2) * std::cos(2.6 * t);
            i == 0 ? wave.moveTo(x, y) : wave.lineTo(x, y);
        }
        p.setPen(Outline(QColor(255, 220, 120, 150), 2.5));
        p.drawPath(wave);
        QFont title(QStringLiteral("Liberation Sans"));
        title.setPixelSize(40);
        title.setBold(true);
        p.setFont(title);
        p.setPen(Qt::white);
        p.drawText(QPointF(92, 44), QStringLiteral("Tavro"));
        QFont sub(QStringLiteral("Liberation Sans"));
        sub.setPixelSize(14);
        p.setFont(sub);
        p.setPen(QColor(220, 236, 246));
        p.drawText(QPointF(94, 64), QStringLiteral("Wavelet workbench for QCIF video"));
    });
}

// --- the ten toolbar buttons, 31 x 31 ---

QImage Button(const std::function<void(QPainter&)>& paint) {
    return Draw(31, 31, paint);
}

QImage RecentButton() {
    return Button([](QPainter& p) {
        Page(p, QRectF(4.5, 2.5, 18, 24));
        PageLines(p, QRectF(4.5, 2.5, 14, 24), 3);
        Badge(p, QPointF(21.5, 21.5), 7.5, kBlue);
        p.setPen(Outline(Qt::white, 1.8));
        p.drawLine(QPointF(21.5, 21.5), QPointF(21.5, 16.8));
        p.drawLine(QPointF(21.5, 21.5), QPointF(25, 23));
    });
}

QImage OpenButton() {
    return Button([](QPainter& p) {
        // Back of the folder, a page sticking out, and the open front flap.
        QPainterPath back;
        back.moveTo(2.5, 26.5);
        back.lineTo(2.5, 6.5);
        back.lineTo(10.5, 6.5);
        back.lineTo(13, 9);
        back.lineTo(24.5, 9);
        back.lineTo(24.5, 26.5);
        back.closeSubpath();
        p.setPen(Outline(QColor(150, 100, 10)));
        p.setBrush(QColor(226, 170, 50));
        p.drawPath(back);
        Page(p, QRectF(7.5, 4.5, 14, 16));
        QPainterPath front;
        front.moveTo(2.5, 26.5);
        front.lineTo(7, 14.5);
        front.lineTo(29, 14.5);
        front.lineTo(24.5, 26.5);
        front.closeSubpath();
        QLinearGradient g(0, 14, 0, 27);
        g.setColorAt(0, QColor(255, 214, 110));
        g.setColorAt(1, QColor(240, 180, 60));
        p.setPen(Outline(QColor(150, 100, 10)));
        p.setBrush(g);
        p.drawPath(front);
    });
}

QImage SaveButton() {
    return Button([](QPainter& p) {
        QPainterPath disk;
        disk.moveTo(3.5, 3.5);
        disk.lineTo(23.5, 3.5);
        disk.lineTo(27.5, 7.5);
        disk.lineTo(27.5, 27.5);
        disk.lineTo(3.5, 27.5);
        disk.closeSubpath();
        p.setPen(Outline(kBlue.darker(170)));
        p.setBrush(kBlue);
        p.drawPath(disk);
        p.setPen(Outline(QColor(120, 126, 136)));
        p.setBrush(QColor(220, 224, 230));
        p.drawRect(QRectF(8.5, 3.5, 13, 8));
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue.darker(140));
        p.drawRect(QRectF(17, 5, 3, 5));
        p.setPen(Outline(QColor(120, 126, 136)));
        p.setBrush(kPaper);
        p.drawRect(QRectF(7.5, 15.5, 16, 12));
        p.setPen(Outline(QColor(170, 176, 186)));
        p.drawLine(QPointF(10, 19.5), QPointF(21, 19.5));
        p.drawLine(QPointF(10, 23.5), QPointF(21, 23.5));
    });
}

QImage PlayButton() {
    return Button([](QPainter& p) {
        // A strip of film with a play sign on it.
        p.setPen(Outline(kFilm.darker(130)));
        p.setBrush(kFilm);
        p.drawRoundedRect(QRectF(2.5, 4.5, 26, 22), 2, 2);
        p.setPen(Qt::NoPen);
        p.setBrush(kPaper);
        for (int i = 0; i < 5; ++i) {
            p.drawRect(QRectF(4.5 + i * 5, 6, 2.5, 2.5));
            p.drawRect(QRectF(4.5 + i * 5, 22.5, 2.5, 2.5));
        }
        QPainterPath tri;
        tri.moveTo(11, 10);
        tri.lineTo(21.5, 15.5);
        tri.lineTo(11, 21);
        tri.closeSubpath();
        p.setPen(Outline(kGreen.darker(140)));
        p.setBrush(QColor(90, 210, 100));
        p.drawPath(tri);
    });
}

// A slab of data between two arrows: pointing in for Compress, out for Decompress.
QImage SlabButton(bool bInward) {
    return Button([bInward](QPainter& p) {
        const double w = bInward ? 7 : 11;
        QLinearGradient g(15.5 - w / 2, 0, 15.5 + w / 2, 0);
        g.setColorAt(0, kBlue.lighter(130));
        g.setColorAt(1, kBlue);
        p.setPen(Outline(kBlue.darker(170)));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(15.5 - w / 2, 4.5, w, 22), 1.5, 1.5);
        p.setPen(Outline(QColor(255, 255, 255, 170)));
        for (int i = 0; i < 4; ++i) {
            p.drawLine(QPointF(15.5 - w / 2 + 2, 9 + 4.5 * i),
                       QPointF(15.5 + w / 2 - 2, 9 + 4.5 * i));
        }
        const QColor c = bInward ? kOrange : kGreen;
        if (bInward) {
            Arrow(p, QPointF(1, 15.5), QPointF(10.5, 15.5), 6, 3.5, c);
            Arrow(p, QPointF(30, 15.5), QPointF(20.5, 15.5), 6, 3.5, c);
        } else {
            Arrow(p, QPointF(9, 15.5), QPointF(0.8, 15.5), 6, 3.5, c);
            Arrow(p, QPointF(22, 15.5), QPointF(30.2, 15.5), 6, 3.5, c);
        }
    });
}

QImage CompareFramesButton() {
    return Button([](QPainter& p) {
        Frame(p, QRectF(1.5, 4.5, 13, 11), QColor(150, 196, 240));
        Frame(p, QRectF(16.5, 4.5, 13, 11), QColor(190, 176, 230));
        // The difference measured between them: a double-headed arrow.
        Arrow(p, QPointF(15.5, 23.5), QPointF(3, 23.5), 5, 2.5, kRed);
        Arrow(p, QPointF(15, 23.5), QPointF(28, 23.5), 5, 2.5, kRed);
    });
}

QImage CompareStreamsButton() {
    return Button([](QPainter& p) {
        for (int i = 2; i >= 0; --i) {
            Frame(p, QRectF(1.5 + i * 2, 2.5 + i * 2, 11, 9), QColor(150, 196, 240));
            Frame(p, QRectF(16.5 + i * 2, 2.5 + i * 2, 11, 9), QColor(190, 176, 230));
        }
        // Mean figures of the whole stream: a small bar chart.
        p.setPen(Outline(kInk));
        p.drawLine(QPointF(6.5, 28.5), QPointF(25.5, 28.5));
        const double heights[] = {6, 9, 5, 8};
        for (int i = 0; i < 4; ++i) {
            p.setPen(Outline(kRed.darker(140)));
            p.setBrush(kRed);
            p.drawRect(QRectF(8.5 + i * 4.5, 28.5 - heights[i], 3, heights[i]));
        }
    });
}

QImage ChangeCompareButton() {
    return Button([](QPainter& p) {
        Page(p, QRectF(3.5, 2.5, 17, 23));
        PageLines(p, QRectF(3.5, 2.5, 13, 23), 3);
        Badge(p, QPointF(21.5, 21.5), 7.5, kGreen);
        // Two turning arrows: swap the reference for another.
        p.setPen(Outline(Qt::white, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(17.5, 17.5, 8, 8), 30 * 16, 150 * 16);
        p.drawArc(QRectF(17.5, 17.5, 8, 8), 210 * 16, 150 * 16);
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        QPainterPath h1;
        h1.moveTo(25.8, 17.6);
        h1.lineTo(25.8, 21.2);
        h1.lineTo(22.6, 19.6);
        h1.closeSubpath();
        p.drawPath(h1);
        QPainterPath h2;
        h2.moveTo(17.2, 25.4);
        h2.lineTo(17.2, 21.8);
        h2.lineTo(20.4, 23.4);
        h2.closeSubpath();
        p.drawPath(h2);
    });
}

QImage ExitButton() {
    return Button([](QPainter& p) {
        // An open door and an arrow leaving through it.
        p.setPen(Outline(kInk));
        p.setBrush(QColor(236, 236, 232));
        p.drawRect(QRectF(3.5, 3.5, 14, 24));
        QPainterPath door;
        door.moveTo(3.5, 3.5);
        door.lineTo(11.5, 6.5);
        door.lineTo(11.5, 30);
        door.lineTo(3.5, 27.5);
        door.closeSubpath();
        p.setPen(Outline(QColor(110, 66, 30)));
        p.setBrush(QColor(176, 112, 56));
        p.drawPath(door);
        p.setBrush(QColor(250, 210, 90));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(9.5, 17.5), 1.2, 1.2);
        Arrow(p, QPointF(13, 15.5), QPointF(29.5, 15.5), 7, 4, kRed);
    });
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QString strDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(strDir + QStringLiteral("/icons"));
    const QString strIcons = strDir + QStringLiteral("/icons");
    Save(RecentButton(), strIcons, QStringLiteral("recent.png"));
    Save(OpenButton(), strIcons, QStringLiteral("open.png"));
    Save(SaveButton(), strIcons, QStringLiteral("save.png"));
    Save(PlayButton(), strIcons, QStringLiteral("play.png"));
    Save(SlabButton(true), strIcons, QStringLiteral("compress.png"));
    Save(SlabButton(false), strIcons, QStringLiteral("decompress.png"));
    Save(CompareFramesButton(), strIcons, QStringLiteral("compare_frames.png"));
    Save(CompareStreamsButton(), strIcons, QStringLiteral("compare_streams.png"));
    Save(ChangeCompareButton(), strIcons, QStringLiteral("change_compare.png"));
    Save(ExitButton(), strIcons, QStringLiteral("exit.png"));
    Save(AppIcon(256), strIcons, QStringLiteral("tavro-256.png"));
    Save(AppIcon(48), strIcons, QStringLiteral("tavro-48.png"));
    Save(DocumentIcon(256), strIcons, QStringLiteral("qcf-document-256.png"));
    Save(Banner(), strIcons, QStringLiteral("banner.png"));
    return 0;
}
