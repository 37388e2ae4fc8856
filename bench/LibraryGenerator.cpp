#include "LibraryGenerator.h"

#include "Database.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QSet>
#include <QSqlQuery>
#include <algorithm>
#include <cmath>

namespace {

// Real function words head the frequency list, as in English text.
const char* const kFunctionWords[] = {
    "the",  "and", "to",   "of",   "a",    "in",   "is",   "for",  "on",    "with", "that",  "it",
    "this", "as",  "at",   "be",   "by",   "we",   "from", "or",   "are",   "have", "not",   "but",
    "will", "you", "all",  "can",  "they", "more", "one",  "when", "about", "some", "there", "then",
    "out",  "up",  "into", "next", "need", "call", "note", "week", "plan",  "done", "check", "after",
};

const char* const kOnsets[] = {"b",  "br", "c", "ch", "cl", "d", "dr", "f",  "fl", "g", "gr", "h",
                               "j",  "k",  "l", "m",  "n",  "p", "pl", "pr", "qu", "r", "s",  "sh",
                               "sl", "st", "t", "th", "tr", "v", "w",  "y",  "z",  ""};
const char* const kVowels[] = {"a", "e", "i", "o", "u", "ai", "ea", "ee", "oo", "ou", "ie", "y"};
const char* const kCodas[] = {"", "", "", "n", "r", "s", "t", "l", "m", "nd", "st", "ck", "ng", "rt"};

constexpr int kVocabularySize = 4000;
constexpr double kZipfExponent = 1.07;

// Words that occur in every body through the JSON itself or the fixed footer must not also be
// vocabulary entries, or their measured frequencies would be off.
const QSet<QString>& reservedWords()
{
    static const QSet<QString> words = {"insert",  "attributes", "header", "bold",    "list",      "bullet",
                                        "checked", "unchecked",  "true",   "kestrel", "quillwort", "filed"};
    return words;
}

} // namespace

LibraryGenerator::LibraryGenerator(quint32 seed)
    : m_rng(seed)
{
    QSet<QString> seen;
    for (const char* w : kFunctionWords) {
        m_vocabulary << QString::fromLatin1(w);
        seen.insert(m_vocabulary.last());
    }
    QStringList invented;
    while (m_vocabulary.size() + invented.size() < kVocabularySize) {
        const int syllables = 1 + int(unit() * 3.0);
        QString w;
        for (int s = 0; s < syllables; ++s) {
            w += QLatin1String(kOnsets[next() % std::size(kOnsets)]);
            w += QLatin1String(kVowels[next() % std::size(kVowels)]);
            if (s == syllables - 1 || unit() < 0.3)
                w += QLatin1String(kCodas[next() % std::size(kCodas)]);
        }
        if (w.size() < 3 || seen.contains(w) || reservedWords().contains(w))
            continue;
        seen.insert(w);
        invented << w;
    }
    // Shorter words are the more frequent ones, as in natural language.
    std::stable_sort(invented.begin(), invented.end(),
                     [](const QString& a, const QString& b) { return a.size() < b.size(); });
    m_vocabulary += invented;

    double total = 0;
    m_cumulative.reserve(std::size_t(m_vocabulary.size()));
    for (int rank = 1; rank <= m_vocabulary.size(); ++rank) {
        total += 1.0 / std::pow(double(rank), kZipfExponent);
        m_cumulative.push_back(total);
    }
    for (double& c : m_cumulative)
        c /= total;

    for (int i = 0; i < kNotebookCount; ++i) {
        Notebook nb;
        nb.id = newId();
        nb.name = words(1 + int(unit() * 2.0), true);
        nb.createdAt = QDateTime(QDate(2023, 6, 1), QTime(9, 0), Qt::UTC).addDays(i);
        nb.updatedAt = nb.createdAt;
        nb.syncStatus = SyncStatus::Synced;
        m_notebooks << nb;
    }

    // Mean words per body, measured on a sample with a copy of the generator state, for the
    // expected document frequencies behind commonTwoWordQuery().
    const std::mt19937 saved = m_rng;
    int totalWords = 0;
    constexpr int kSample = 200;
    for (int i = 0; i < kSample; ++i)
        totalWords += int(makeBody(false).count(QLatin1Char(' ')));
    m_meanWordsPerNote = double(totalWords) / kSample;
    m_rng = saved;
}

const QString& LibraryGenerator::word()
{
    const double u = unit();
    const auto it = std::upper_bound(m_cumulative.begin(), m_cumulative.end(), u);
    const auto index = std::min<std::ptrdiff_t>(it - m_cumulative.begin(), m_vocabulary.size() - 1);
    return m_vocabulary[index];
}

QString LibraryGenerator::words(int count, bool capitaliseFirst)
{
    QString out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += QLatin1Char(' ');
        out += word();
    }
    if (capitaliseFirst && !out.isEmpty())
        out[0] = out[0].toUpper();
    return out;
}

namespace {

// The body is written as text in the exact form QJsonDocument's compact output takes (keys sorted),
// which is several times faster than building JSON objects for a hundred thousand notes.
void appendJsonString(QString& out, const QString& text)
{
    out += QLatin1Char('"');
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else
            out += c;
    }
    out += QLatin1Char('"');
}

class BodyWriter
{
public:
    BodyWriter() { m_out.reserve(6 * 1024); }
    void text(const QString& t) { op(QString(), t); }
    // attributes is the inside of the attributes object, such as "bold":true.
    void op(const QString& attributes, const QString& insert)
    {
        m_out += m_out.isEmpty() ? QLatin1Char('[') : QLatin1Char(',');
        if (!attributes.isEmpty())
            m_out += QStringLiteral("{\"attributes\":{") + attributes + QStringLiteral("},\"insert\":");
        else
            m_out += QStringLiteral("{\"insert\":");
        appendJsonString(m_out, insert);
        m_out += QLatin1Char('}');
    }
    QString finish() { return m_out + QLatin1Char(']'); }

private:
    QString m_out;
};

} // namespace

QString LibraryGenerator::makeBody(bool withRareWord)
{
    BodyWriter ops;
    qsizetype size = 2;
    auto text = [&](const QString& t) {
        ops.text(t);
        size += t.size() + 14;
    };
    auto bold = [&](const QString& t) {
        ops.op(QStringLiteral("\"bold\":true"), t);
        size += t.size() + 40;
    };
    auto lineEnd = [&](const QString& attributes) {
        ops.op(attributes, QStringLiteral("\n"));
        size += attributes.isEmpty() ? 16 : 45;
    };
    const QString checked = QStringLiteral("\"list\":\"checked\"");
    const QString unchecked = QStringLiteral("\"list\":\"unchecked\"");

    const int target = uniform(1024, 5 * 1024);
    text(words(uniform(2, 6), true));
    lineEnd(QStringLiteral("\"header\":1"));

    bool rarePlaced = !withRareWord;
    while (size < target) {
        const double kind = unit();
        if (kind < 0.55) {
            // A paragraph of a few sentences, some with a bold run.
            const int sentences = uniform(1, 4);
            for (int s = 0; s < sentences; ++s) {
                if (unit() < 0.25) {
                    text(words(uniform(2, 8), s == 0) + QLatin1Char(' '));
                    bold(words(uniform(1, 3), false));
                    text(QLatin1Char(' ') + words(uniform(2, 10), false) + QStringLiteral(". "));
                } else {
                    text(words(uniform(6, 18), true) + QStringLiteral(". "));
                }
            }
            if (!rarePlaced) {
                text(QStringLiteral("See ") + rareWord() + QLatin1Char('.'));
                rarePlaced = true;
            }
            lineEnd({});
        } else if (kind < 0.8) {
            const int items = uniform(2, 6);
            for (int i = 0; i < items; ++i) {
                text(words(uniform(2, 7), true));
                lineEnd(QStringLiteral("\"list\":\"bullet\""));
            }
        } else {
            const int items = uniform(2, 6);
            for (int i = 0; i < items; ++i) {
                text(words(uniform(2, 6), true));
                lineEnd(unit() < 0.4 ? checked : unchecked);
            }
        }
    }
    if (!rarePlaced)
        text(rareWord() + QLatin1Char(' '));
    text(QStringLiteral("Filed by ") + everyNoteWord());
    lineEnd({});
    return ops.finish();
}

QString LibraryGenerator::makeLongBody(int lines)
{
    BodyWriter ops;
    for (int i = 0; i < lines; ++i) {
        const double kind = unit();
        if (kind < 0.5) {
            ops.text(words(uniform(4, 10), true) + QLatin1Char(' '));
            ops.op(QStringLiteral("\"bold\":true"), words(2, false));
            ops.text(QLatin1Char(' ') + words(uniform(2, 6), false));
            ops.op(QString(), QStringLiteral("\n"));
        } else if (kind < 0.7) {
            ops.text(words(uniform(3, 7), true));
            ops.op(QStringLiteral("\"list\":\"bullet\""), QStringLiteral("\n"));
        } else if (kind < 0.85) {
            ops.text(words(uniform(3, 6), true));
            ops.op(unit() < 0.5 ? QStringLiteral("\"list\":\"checked\"") : QStringLiteral("\"list\":\"unchecked\""),
                   QStringLiteral("\n"));
        } else if (kind < 0.95) {
            ops.text(words(uniform(6, 14), true) + QLatin1Char('.'));
            ops.op(QString(), QStringLiteral("\n"));
        } else {
            ops.text(words(uniform(2, 5), true));
            ops.op(QStringLiteral("\"header\":2"), QStringLiteral("\n"));
        }
    }
    return ops.finish();
}

QList<Note> LibraryGenerator::makeNotes(int n)
{
    // Two years of history ending at a fixed date, so the library does not depend on the clock.
    const QDateTime end(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);
    constexpr qint64 kTwoYearsMs = 730LL * 24 * 3600 * 1000;

    QList<Note> out;
    out.reserve(n);
    for (int i = 0; i < n; ++i, ++m_produced) {
        Note note;
        note.id = newId();
        // About a quarter of the notes are in no notebook; the rest spread unevenly over the notebooks.
        if (unit() >= 0.25) {
            const double u = unit();
            note.notebookId = m_notebooks[int(u * u * kNotebookCount)].id;
        }
        note.body = makeBody(m_produced % kRareEvery == 0);
        const qint64 createdAgo = qint64(unit() * double(kTwoYearsMs));
        note.createdAt = end.addMSecs(-createdAgo);
        note.updatedAt = note.createdAt.addMSecs(qint64(unit() * double(createdAgo)));
        note.modifiedAt = note.updatedAt;
        note.version = uniform(1, 12);
        note.syncStatus = unit() < 0.9 ? SyncStatus::Synced : SyncStatus::Pending;
        if (unit() < 0.02)
            note.deletedAt = note.updatedAt;
        out << note;
    }
    return out;
}

QString LibraryGenerator::everyNoteWord()
{
    return QStringLiteral("kestrel");
}

QString LibraryGenerator::rareWord()
{
    return QStringLiteral("quillwort");
}

QString LibraryGenerator::commonTwoWordQuery() const
{
    // Expected share of notes containing a word of probability p: 1 - (1 - p)^W.
    auto share = [this](int rank) {
        const double p = m_cumulative[std::size_t(rank)] - (rank ? m_cumulative[std::size_t(rank - 1)] : 0.0);
        return 1.0 - std::pow(1.0 - p, m_meanWordsPerNote);
    };
    auto closest = [&](double wanted, int skip) {
        int best = 0;
        for (int r = int(std::size(kFunctionWords)); r < m_vocabulary.size(); ++r) {
            if (r != skip && std::abs(share(r) - wanted) < std::abs(share(best) - wanted))
                best = r;
        }
        return best;
    };
    const int first = closest(0.20, -1);
    const int second = closest(0.10, first);
    return m_vocabulary[first] + QLatin1Char(' ') + m_vocabulary[second];
}

int LibraryGenerator::fill(NoteRepository& notes, NotebookRepository& notebooks, Database& db, int n)
{
    Q_UNUSED(notes);
    QSqlDatabase connection = db.db();
    connection.transaction();
    for (const Notebook& nb : std::as_const(m_notebooks)) {
        if (!notebooks.notebookById(nb.id))
            notebooks.insert(nb);
    }
    // One statement prepared once for the whole library; the repository would prepare it per note.
    QSqlQuery q(connection);
    q.prepare(QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, "
                             "deleted_at, version, op_version, sync_status) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, ?)"));
    int inserted = 0;
    constexpr int kBatch = 1000;
    for (int done = 0; done < n; done += kBatch) {
        const QList<Note> batch = makeNotes(std::min(kBatch, n - done));
        for (const Note& note : batch) {
            q.bindValue(0, note.id);
            q.bindValue(1, note.notebookId.isNull() ? QString(QLatin1String("")) : note.notebookId);
            q.bindValue(2, note.body);
            q.bindValue(3, toDbTimestamp(note.createdAt));
            q.bindValue(4, toDbTimestamp(note.updatedAt));
            q.bindValue(5, toDbTimestamp(note.modifiedAt));
            q.bindValue(6, note.deletedAt ? QVariant(toDbTimestamp(*note.deletedAt)) : QVariant());
            q.bindValue(7, note.version);
            q.bindValue(8, syncStatusToString(note.syncStatus));
            inserted += q.exec() ? 1 : 0;
        }
    }
    connection.commit();
    return inserted;
}

int generateLibrary(NoteRepository& notes, NotebookRepository& notebooks, Database& db, int n, quint32 seed)
{
    LibraryGenerator generator(seed);
    return generator.fill(notes, notebooks, db, n);
}
