#include "app/AboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/DialogControls.h"
#include "app/ShellResources.h"

namespace {

// The box is laid out in the classic dialog units of an 8-point system font
// (1.5 pixels across, 1.625 down), which makes the banner exactly its
// 455 x 79 pixels.
QRect DialogUnits(int x, int y, int w, int h) {
    auto across = [](int n) { return (n * 3 + 1) / 2; };
    auto down = [](int n) { return (n * 13 + 4) / 8; };
    return {across(x), down(y), across(w), down(h)};
}

}  // namespace

QString CAboutDlg::AboutText() {
    return QStringLiteral(
        "Tavro version 1.0\n"
        "A workbench for QCIF video: wavelet compression and decompression, "
        "loss measured as RMS error and PSNR, and dithered 8-bit playback.\n"
        "Free to use, study and improve.");
}

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    InitShellResources();
    setObjectName(QStringLiteral("CAboutDlg"));
    setWindowTitle(QStringLiteral("About Tavro"));
    setFixedSize(DialogUnits(0, 0, 313, 137).size());

    auto* pBanner = new QLabel(this);
    SetControlId(pBanner, IDC_ABOUT_BANNER);
    pBanner->setGeometry(DialogUnits(7, 7, 303, 49));
    pBanner->setPixmap(QPixmap(QStringLiteral(":/icons/banner.png")));
    pBanner->setAlignment(Qt::AlignCenter);

    auto* pIcon = new QLabel(this);
    pIcon->setObjectName(QStringLiteral("AppIcon"));
    pIcon->setGeometry(DialogUnits(13, 83, 20, 20));
    pIcon->setPixmap(QIcon(QStringLiteral(":/icons/tavro-256.png")).pixmap(QSize(32, 32)));
    pIcon->setAlignment(Qt::AlignCenter);

    auto* pText = new QLabel(AboutText(), this);
    pText->setObjectName(QStringLiteral("AboutText"));
    pText->setGeometry(DialogUnits(53, 60, 210, 70));
    pText->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pText->setAlignment(Qt::AlignCenter);
    pText->setWordWrap(true);
    pText->setMargin(4);

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    SetControlId(pOk, IDOK);
    pOk->setGeometry(DialogUnits(274, 83, 32, 20));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
}
