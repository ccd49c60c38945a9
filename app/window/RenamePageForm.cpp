#include "RenamePageForm.h"

#include "AlbumWorkflow.h"
#include "ui_Root.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidgetItem>

RenamePageForm::Change RenamePageForm::ChangeFilenameClicked() const {
    if (m_ui.bChangeFilename->isChecked())
        return {QStringLiteral("2"), false};
    return {QStringLiteral("1"), true};
}

bool RenamePageForm::UseExistFileClicked(const QListWidgetItem *current) const {
    QLineEdit *name = m_ui.tFilename;
    if (m_ui.bUseExistFile->isChecked()) {
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

QString RenamePageForm::StateForName() const { return m_ui.tFilename->text().size() < 3 ? QStringLiteral("1") : QStringLiteral("2"); }
