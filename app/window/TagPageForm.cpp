#include "TagPageForm.h"

#include "Step.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {

// Each field toggle and the text box it unlocks.
const struct {
    const char *toggle, *edit;
} kFieldRows[] = {{"bArtist", "tArtist"}, {"bTitel", "tTitel"}, {"bAlbum", "tAlbum"},       {"bYear", "tYear"},
                  {"bKommentar", "tKommentar"}, {"bTrack", "tTrack"}, {"bGenre", "tGenre"}};

} // namespace

template <class T> T *TagPageForm::Find(const char *name) const {
    return m_root ? m_root->findChild<T *>(QString::fromLatin1(name)) : nullptr;
}

bool TagPageForm::Checked(const char *name) const {
    const auto *c = Find<QCheckBox>(name);
    return c && c->isChecked();
}

QString TagPageForm::Text(const char *name) const {
    const auto *e = Find<QLineEdit>(name);
    return e ? e->text() : QString();
}

QString TagPageForm::Caption(const char *name) const {
    const auto *l = Find<QLabel>(name);
    return l ? l->text() : QString();
}

void TagPageForm::SetCaption(const char *name, const QString &text) const {
    if (auto *l = Find<QLabel>(name))
        l->setText(text);
}

tagpanel::Rows TagPageForm::Rows() const {
    tagpanel::Rows r;
    r.artist = Checked("bArtist");
    r.title = Checked("bTitel");
    r.album = Checked("bAlbum");
    r.year = Checked("bYear");
    r.comment = Checked("bKommentar");
    r.track = Checked("bTrack");
    r.genre = Checked("bGenre");
    r.tArtist = Text("tArtist");
    r.tTitel = Text("tTitel");
    r.tAlbum = Text("tAlbum");
    r.tYear = Text("tYear");
    r.tKommentar = Text("tKommentar");
    r.tTrack = Text("tTrack");
    r.tGenre = Text("tGenre");
    return r;
}

void TagPageForm::ShowStreamInfo(const platform::Mp3InfoTexts &info) const {
    SetCaption("sBitrate", info.bitrate);
    SetCaption("sAnzeige1", info.time);
    SetCaption("sTitle", info.title);
    SetCaption("sArtist", info.artist);
    SetCaption("sAlbum", info.album);
    SetCaption("sYear", info.year);
    SetCaption("sKommentar", info.comment);
    SetCaption("sGenre", info.genre);
    SetCaption("sTrack", info.track);
}

QString TagPageForm::Summary() const {
    return tagpanel::Summary(Caption("sArtist"), Caption("sAlbum"), Caption("sTitle"), Caption("sTrack"));
}

void TagPageForm::Clear() const {
    for (const char *name : {"tArtist", "tAlbum", "tTitel", "tTrack", "tYear", "tKommentar"})
        if (auto *e = Find<QLineEdit>(name))
            e->clear();
    for (const char *name : {"cBitrate", "cTimes", "sArtist", "sTitle", "sAlbum"})
        if (auto *l = Find<QLabel>(name))
            l->clear();
    if (auto *e = Find<QLineEdit>("tGenre"))
        e->clear();
    for (const char *name : {"sYear", "sKommentar", "sTrack"})
        if (auto *l = Find<QLabel>(name))
            l->clear();
}

void TagPageForm::Fill(const QString &path, tags::Mp3TagID3v2 &v2, tags::Mp3TagID3v1 &v1) const {
    rootstep::Step([&] { Clear(); });
    rootstep::Step([&] {
        if (path.isEmpty())
            return;
        const tagpanel::Fields f = tagpanel::ReadFields(path, v2, v1);
        const struct {
            const char *store;
            const QString &value;
        } stores[] = {{"sArtist", f.artist}, {"sTitle", f.title},     {"sAlbum", f.album},
                      {"sYear", f.year},     {"sKommentar", f.comment}, {"sTrack", f.track}};
        for (const auto &s : stores)
            SetCaption(s.store, s.value);
        if (auto *e = Find<QLineEdit>("tGenre"))
            e->setText(f.genre);
    });
    rootstep::Step([&] {
        const struct {
            const char *edit, *store;
        } copies[] = {{"tArtist", "sArtist"}, {"tAlbum", "sAlbum"}, {"tTitel", "sTitle"},
                      {"tTrack", "sTrack"},   {"tYear", "sYear"},   {"tKommentar", "sKommentar"}};
        for (const auto &c : copies) {
            auto *e = Find<QLineEdit>(c.edit);
            const auto *l = Find<QLabel>(c.store);
            if (e && l)
                e->setText(l->text());
        }
        auto copyCaption = [this](const char *to, const char *from) {
            auto *t = Find<QLabel>(to);
            const auto *f = Find<QLabel>(from);
            if (t && f)
                t->setText(f->text());
        };
        copyCaption("cBitrate", "sBitrate");
        copyCaption("cTimes", "sAnzeige1");
    });
}

void TagPageForm::FieldToggled(const QCheckBox *toggle) const {
    if (!toggle)
        return;
    const QString name = toggle->objectName();
    for (const auto &row : kFieldRows) {
        if (name != QLatin1String(row.toggle))
            continue;
        if (auto *e = Find<QLineEdit>(row.edit))
            e->setReadOnly(!toggle->isChecked());
    }
    if (name == QLatin1String("bTrack") && toggle->isChecked() && Checked("bAlbumRefresh"))
        if (auto *trackChange = Find<QCheckBox>("bTrackChange"))
            trackChange->setChecked(true);
}

void TagPageForm::AlbumRefreshToggled() const {
    if (auto *trackChange = Find<QCheckBox>("bTrackChange"))
        trackChange->setEnabled(Checked("bAlbumRefresh"));
}
