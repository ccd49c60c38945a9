#include "RenamePageForm.h"

#include "AlbumWorkflow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidgetItem>

RenamePageForm::Change RenamePageForm::ChangeFilenameClicked() const {
    const auto *change = m_root ? m_root->findChild<QCheckBox *>(QStringLiteral("bChangeFilename")) : nullptr;
    if (change && change->isChecked())
        return {QStringLiteral("2"), false};
    return {QStringLiteral("1"), true};
}

bool RenamePageForm::UseExistFileClicked(const QListWidgetItem *current) const {
    if (!m_root)
        return false;
    const auto *useExist = m_root->findChild<QCheckBox *>(QStringLiteral("bUseExistFile"));
    auto *name = m_root->findChild<QLineEdit *>(QStringLiteral("tFilename"));
    if (!name)
        return false;
    if (useExist && useExist->isChecked()) {
        if (current)
            name->setText(album::TitleFromFileName(current->text()));
        name->setEnabled(false);
        return true;
    }
    name->setEnabled(true);
    name->clear();
    name->setFocus();
    return false;
}

QString RenamePageForm::OwnNamesNotice() {
    return QStringLiteral("Alle Dateien werden nacheinander nummeriert, ohne den restlichen Dateinamen zu ändern.  ");
}

QString RenamePageForm::StateForName() const {
    const auto *name = m_root ? m_root->findChild<QLineEdit *>(QStringLiteral("tFilename")) : nullptr;
    const qsizetype length = name ? name->text().size() : 0;
    return length < 3 ? QStringLiteral("1") : QStringLiteral("2");
}
