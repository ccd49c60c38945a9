#pragma once
// The one-click orders of the album list: by file name as a person reads it, by the
// tags' track and disc numbers, by title. Each sorts once; the list stays free to be
// reordered by hand afterwards. Reading the tags of a large album happens in a worker
// thread, so the window goes on painting meanwhile.
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <vector>

class QCollator;
class QThread;

namespace album {

// A number as track and disc fields hold it: "3", "03", "3/12", " 2 / 2".
struct PartOf {
    int number = 0;
    int total = 0; // 0 when none is given
};
// Nothing when the text does not start with a number above 0.
std::optional<PartOf> ParsePartOf(const QString &text);

// What the tag orders need of one file.
struct SortKey {
    QString name;  // the list entry
    QString title; // ID3v2 title, else ID3v1 title
    int disc = 0;  // 0: no disc number
    int track = 0; // 0: no track number
};

// Numbers by their value ("2" before "10"), case and accents ignored.
QCollator NaturalCollator();

enum class SortOrder { Name, Track, Title };

// Name: natural order of the names. Track: by disc (none counts as the first), then
// track; files without a track number follow in name order. Title: natural order of
// the titles; files without a title follow in name order. Ties go by name.
QStringList Sorted(SortOrder order, const std::vector<SortKey> &keys);
QStringList SortedByName(const QStringList &names);

// The key of one file: ID3v2 track, title and disc (TPOS), each falling back to the
// ID3v1 tag where the ID3v2 tag has none. A file that cannot be read has only its name.
SortKey ReadSortKey(const QString &folder, const QString &entry);

// Reads the sort keys of an album in a worker thread and reports to the thread it was
// made in. Destroying it stops the worker after the file being read and waits for it.
class SortKeyReader : public QObject {
    Q_OBJECT
public:
    explicit SortKeyReader(QObject *parent = nullptr) : QObject(parent) {}
    ~SortKeyReader() override;

    // False while a reading is under way.
    bool Start(const QString &folder, const QStringList &entries, SortOrder order);
    bool IsBusy() const { return m_thread != nullptr; }
    // Stops after the file being read and waits; no `finished` follows.
    void Stop();
    // The keys of the last finished reading, in the entries' order.
    const std::vector<SortKey> &Keys() const { return m_keys; }
    SortOrder Order() const { return m_order; }

signals:
    void progress(int done, int count);
    void finished();

private:
    QThread *m_thread = nullptr;
    std::vector<SortKey> m_keys;
    SortOrder m_order = SortOrder::Name;
    std::atomic_bool m_stop{false};
};

} // namespace album
