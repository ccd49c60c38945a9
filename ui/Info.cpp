#include "Info.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <cmath>

ProgramVersion ParseProgramVersion(const QString &text) {
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    auto part = [&](int i) { return i < parts.size() ? qMax(0, parts[i].toInt()) : 0; };
    return {part(0), part(1), part(2)};
}

QString VersionLine(const QString &product, const ProgramVersion &version) {
    const QString minor = QStringLiteral("%1").arg(version.minor, 2, 10, QLatin1Char('0'));
    QString build = QString::number(version.build).leftJustified(3, QLatin1Char('0'));
    if (build == QLatin1String("000"))
        build = QStringLiteral("100");
    return QStringLiteral("%1 %2.%3 Build %4").arg(product).arg(version.major).arg(minor, build);
}

QUrl MailUrl(const QString &address, const QString &subject, const QString &body) {
    return QUrl(QStringLiteral("mailto:") + address + QStringLiteral("?Subject=") + subject + QStringLiteral("&Body=") +
                body);
}

QPoint InfoPlacement(const QRect &rootFrame, const QRect &screen, double twipsPerPixel) {
    auto px = [&](int twips) { return static_cast<int>(std::lround(twips / twipsPerPixel)); };
    int left = rootFrame.left() + px(800);
    int top = rootFrame.top() + px(800);
    if (screen.right() + 1 - left <= px(6200))
        left = rootFrame.left() - px(1200);
    if (screen.bottom() + 1 - top <= px(5500))
        top = rootFrame.top() - px(800);
    return {left, top};
}

Info::Info(QWidget *root, const QString &version) : QDialog(root) {
    const QString product = QString::fromLatin1(kProductName);
    setWindowTitle(QStringLiteral(" Info über ") + product);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    QIcon logo = QApplication::windowIcon();
    if (logo.isNull())
        logo = style()->standardIcon(QStyle::SP_MediaVolume);
    picture->setPixmap(logo.pixmap(48, 48));

    const QString versionText = version.isEmpty() ? QCoreApplication::applicationVersion() : version;
    RName = new QLabel(VersionLine(product, ParseProgramVersion(versionText)), this);
    RName->setObjectName(QStringLiteral("RName"));
    QFont bold = RName->font();
    bold.setBold(true);
    RName->setFont(bold);

    RNotice = new QLabel(QStringLiteral("Copyright © Varnolt. Alle Rechte vorbehalten."), this);
    RNotice->setObjectName(QStringLiteral("RNotice"));
    RContact = new QLabel(QStringLiteral("Kontakt: %1 · %2").arg(QLatin1String(kSupportAddress), QLatin1String(kWebSite)), this);
    RContact->setObjectName(QStringLiteral("RContact"));
    RWerbung = new QLabel(QStringLiteral("Vous avez choisi un produit intemporel et de qualité avec soin et détails. "
                                         "Il vous apportera confort, bien-étre et satisfaction."),
                          this);
    RWerbung->setObjectName(QStringLiteral("RWerbung"));
    RWerbung->setWordWrap(true);

    BMail = new QPushButton(QStringLiteral("&E-Mail"), this);
    BMail->setObjectName(QStringLiteral("BMail"));
    BWebseite = new QPushButton(QStringLiteral("&Webseite"), this);
    BWebseite->setObjectName(QStringLiteral("BWebseite"));
    BAbbrechen = new QPushButton(QStringLiteral("&Abbrechen"), this);
    BAbbrechen->setObjectName(QStringLiteral("BAbbrechen"));
    BAbbrechen->setDefault(true);

    connect(BMail, &QPushButton::clicked, this, &Info::BMail_Click);
    connect(BWebseite, &QPushButton::clicked, this, &Info::BWebseite_Click);
    connect(BAbbrechen, &QPushButton::clicked, this, &QDialog::reject);

    auto *texts = new QVBoxLayout;
    texts->addWidget(RName);
    texts->addWidget(RNotice);
    texts->addWidget(RContact);
    texts->addSpacing(8);
    texts->addWidget(RWerbung);
    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BMail);
    buttons->addWidget(BWebseite);
    buttons->addStretch(1);
    buttons->addWidget(BAbbrechen);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    if (root) {
        const QScreen *screen = root->screen();
        const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
        const QRect area = screen ? screen->geometry() : QRect(0, 0, 1 << 20, 1 << 20);
        move(InfoPlacement(root->frameGeometry(), area, 1440.0 / (dpi > 0 ? dpi : 96.0)));
    }
}

bool Info::SendMail(const QString &address, const QString &subject, const QString &body) {
    return QDesktopServices::openUrl(MailUrl(address, subject, body));
}

bool Info::OpenUrl(const QString &address) { return QDesktopServices::openUrl(QUrl(address)); }

void Info::BMail_Click() {
    SendMail(QLatin1String(kSupportAddress), QString::fromLatin1(kProductName), QStringLiteral(" "));
}

void Info::BWebseite_Click() { OpenUrl(QLatin1String(kWebSite)); }
