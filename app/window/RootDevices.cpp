// The file-name page's option for players that play a FAT folder as it lists its
// entries. The work is DirectoryOrder's, done as the run's last step.
#include "DirectoryOrder.h"
#include "Root.h"
#include "ui_Root.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>

void Root::AddDeviceOrder() {
    m_deviceOrder = m_ui->bGeraeteOrdnung;
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
