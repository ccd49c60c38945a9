#pragma once
// The about dialog: program name and version, and the ways to reach the maker.

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QUrl>

class QLabel;
class QPushButton;

struct ProgramVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
};

// "1.01.0007" -> {1, 1, 7}; missing or unreadable parts count as 0.
ProgramVersion ParseProgramVersion(const QString &text);

// "Sortimentor 1.01 Build 700": the minor number padded on the left to two
// digits, the build padded on the right to three, and a build of "000" shown
// as "100".
QString VersionLine(const QString &product, const ProgramVersion &version);

// "mailto:" + address + "?Subject=" + subject + "&Body=" + body.
QUrl MailUrl(const QString &address, const QString &subject, const QString &body);

// Where the dialog opens, in pixels: beside the main window's top-left corner,
// or to the left of it / above it when the screen leaves too little room.
// The distances are the dialog's own, given in twips.
QPoint InfoPlacement(const QRect &rootFrame, const QRect &screen, double twipsPerPixel = 15.0);

class Info : public QDialog {
    Q_OBJECT
public:
    static constexpr const char *kProductName = "Sortimentor";
    static constexpr const char *kSupportAddress = "support@example.org";
    static constexpr const char *kWebSite = "https://example.org/sortimentor";

    // `version` as "major.minor.build"; empty takes the application's version.
    explicit Info(QWidget *root = nullptr, const QString &version = QString());

    QLabel *RName = nullptr;
    QLabel *RNotice = nullptr;
    QLabel *RContact = nullptr;
    QLabel *RWerbung = nullptr;
    QPushButton *BMail = nullptr;
    QPushButton *BWebseite = nullptr;
    QPushButton *BAbbrechen = nullptr;

    static bool SendMail(const QString &address, const QString &subject, const QString &body);
    static bool OpenUrl(const QString &address);

private slots:
    void BMail_Click();
    void BWebseite_Click();
};
