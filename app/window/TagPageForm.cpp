#include "TagPageForm.h"

#include "Step.h"
#include "ui_Root.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

tagpanel::Rows TagPageForm::Rows() const {
    tagpanel::Rows r;
    r.artist = m_ui.bArtist->isChecked();
    r.title = m_ui.bTitel->isChecked();
    r.album = m_ui.bAlbum->isChecked();
    r.year = m_ui.bYear->isChecked();
    r.comment = m_ui.bKommentar->isChecked();
    r.track = m_ui.bTrack->isChecked();
    r.genre = m_ui.bGenre->isChecked();
    r.tArtist = m_ui.tArtist->text();
    r.tTitel = m_ui.tTitel->text();
    r.tAlbum = m_ui.tAlbum->text();
    r.tYear = m_ui.tYear->text();
    r.tKommentar = m_ui.tKommentar->text();
    r.tTrack = m_ui.tTrack->text();
    r.tGenre = m_ui.tGenre->text();
    return r;
}

void TagPageForm::ShowStreamInfo(const platform::Mp3InfoTexts &info) const {
    m_ui.sBitrate->setText(info.bitrate);
    m_ui.sAnzeige1->setText(info.time);
    m_ui.sTitle->setText(info.title);
    m_ui.sArtist->setText(info.artist);
    m_ui.sAlbum->setText(info.album);
    m_ui.sYear->setText(info.year);
    m_ui.sKommentar->setText(info.comment);
    m_ui.sGenre->setText(info.genre);
    m_ui.sTrack->setText(info.track);
}

QString TagPageForm::Summary() const {
    return tagpanel::Summary(m_ui.sArtist->text(), m_ui.sAlbum->text(), m_ui.sTitle->text(), m_ui.sTrack->text());
}

void TagPageForm::Clear() const {
    for (QLineEdit *e : {m_ui.tArtist, m_ui.tAlbum, m_ui.tTitel, m_ui.tTrack, m_ui.tYear, m_ui.tKommentar, m_ui.tGenre})
        e->clear();
    for (QLabel *l : {m_ui.cBitrate, m_ui.cTimes, m_ui.sArtist, m_ui.sTitle, m_ui.sAlbum, m_ui.sYear,
                      m_ui.sKommentar, m_ui.sTrack})
        l->clear();
}

void TagPageForm::Fill(const QString &path, tags::Mp3TagID3v2 &v2, tags::Mp3TagID3v1 &v1) const {
    rootstep::Step([&] { Clear(); });
    rootstep::Step([&] {
        if (path.isEmpty())
            return;
        const tagpanel::Fields f = tagpanel::ReadFields(path, v2, v1);
        m_ui.sArtist->setText(f.artist);
        m_ui.sTitle->setText(f.title);
        m_ui.sAlbum->setText(f.album);
        m_ui.sYear->setText(f.year);
        m_ui.sKommentar->setText(f.comment);
        m_ui.sTrack->setText(f.track);
        m_ui.tGenre->setText(f.genre);
    });
    rootstep::Step([&] {
        // The text boxes start from the value stores, the captions from the stream's.
        const struct {
            QLineEdit *edit;
            const QLabel *store;
        } copies[] = {{m_ui.tArtist, m_ui.sArtist}, {m_ui.tAlbum, m_ui.sAlbum}, {m_ui.tTitel, m_ui.sTitle},
                      {m_ui.tTrack, m_ui.sTrack},   {m_ui.tYear, m_ui.sYear},   {m_ui.tKommentar, m_ui.sKommentar}};
        for (const auto &c : copies)
            c.edit->setText(c.store->text());
        m_ui.cBitrate->setText(m_ui.sBitrate->text());
        m_ui.cTimes->setText(m_ui.sAnzeige1->text());
    });
}

void TagPageForm::FieldToggled(const QCheckBox *toggle) const {
    if (!toggle)
        return;
    const struct {
        const QCheckBox *toggle;
        QLineEdit *edit;
    } rows[] = {{m_ui.bArtist, m_ui.tArtist}, {m_ui.bTitel, m_ui.tTitel},         {m_ui.bAlbum, m_ui.tAlbum},
                {m_ui.bYear, m_ui.tYear},     {m_ui.bKommentar, m_ui.tKommentar}, {m_ui.bTrack, m_ui.tTrack},
                {m_ui.bGenre, m_ui.tGenre}};
    for (const auto &row : rows)
        if (row.toggle == toggle)
            row.edit->setReadOnly(!toggle->isChecked());
    if (toggle == m_ui.bTrack && toggle->isChecked() && m_ui.bAlbumRefresh->isChecked())
        m_ui.bTrackChange->setChecked(true);
}

void TagPageForm::AlbumRefreshToggled() const { m_ui.bTrackChange->setEnabled(m_ui.bAlbumRefresh->isChecked()); }
