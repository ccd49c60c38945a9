// The file-name page's option for players that play a FAT folder as it lists its
// entries. The work is DirectoryOrder's, done as the run's last step.
#include "DirectoryOrder.h"
#include "Root.h"
#include "RootAids.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

void Root::AddDeviceOrder() {
    auto *explain = Control<QLabel>(QStringLiteral("Label7"));
    auto *inner = explain ? qobject_cast<QBoxLayout *>(explain->parentWidget()->layout()) : nullptr;
    if (!inner)
        return;
    m_deviceOrder = new QCheckBox(QStringLiteral("Reihenfolge auch für einfache Abspielgeräte (USB-Stick, Autoradio)"),
                                  explain->parentWidget());
    m_deviceOrder->setObjectName(QStringLiteral("bGeraeteOrdnung"));
    m_deviceOrder->setAccessibleName(m_deviceOrder->text());
    // After the name row, before the space above the explanation.
    const int at = inner->indexOf(explain);
    inner->insertWidget(at > 0 ? at - 1 : at, m_deviceOrder);
    inner->insertWidget(inner->indexOf(explain) + 1,
                        rootaids::HelpLabel(explain->parentWidget(), "LabelGeraete",
                                            QStringLiteral("Mit \u201EReihenfolge auch für einfache Abspielgeräte\u201C "
                                                           "ordnet der Durchlauf auf USB-Sticks und Speicherkarten zuletzt "
                                                           "auch die Einträge des Ordners, für Geräte, die weder Tags "
                                                           "noch Namen lesen.")));
    connect(m_folder, &QLineEdit::textChanged, this, &Root::UpdateDeviceOrder);
    UpdateDeviceOrder();
}

void Root::UpdateDeviceOrder() {
    if (!m_deviceOrder)
        return;
    const QString folder = m_folder->text();
    const bool elsewhere = !folder.isEmpty() && QFileInfo(folder).isDir() && !album::DirectoryOrder::Matters(folder);
    m_deviceOrder->setToolTip(
        elsewhere ? QStringLiteral("Nicht nötig: dieser Ordner liegt nicht auf einem FAT- oder exFAT-Datenträger, dort "
                                   "bestimmt die Reihenfolge der Einträge nichts; die Option bewirkt hier nichts (Alt+R)")
                  : QStringLiteral("Schreibt auf FAT- und exFAT-Datenträgern zum Schluss auch die Einträge des Ordners "
                                   "in der Reihenfolge des Albums, für Geräte, die so abspielen; die Dateien werden nur "
                                   "umgehängt, nicht kopiert (Alt+R)"));
}
