#pragma once

#include "Records.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <random>
#include <vector>

class Database;
class NoteRepository;
class NotebookRepository;

// Builds a realistic note library from a seed: Delta bodies of 1-5 KB (a header-1 title, paragraphs
// with bold runs, bullet and check lists) drawn from a vocabulary of a few thousand English-like
// words with Zipf-like frequencies, a few dozen notebooks, and timestamps spread over two years.
// Everything but the record ids (always fresh, from newId()) follows from the seed, so figures from
// different runs and machines compare like with like.
class LibraryGenerator
{
public:
    static constexpr int kNotebookCount = 36;
    // One note in this many carries rareWord().
    static constexpr int kRareEvery = 997;

    explicit LibraryGenerator(quint32 seed);

    // The next n notes and the notebooks they refer to. Successive calls continue the sequence.
    QList<Notebook> notebooks() const { return m_notebooks; }
    QList<Note> makeNotes(int n);
    QString makeBody(bool withRareWord);
    // A body of the given number of lines (paragraphs, lists, headings), for typing in a long note.
    QString makeLongBody(int lines);

    // Query words with known frequencies in a generated library.
    static QString everyNoteWord(); // in every body
    static QString rareWord();      // in one note of kRareEvery
    // Two words each expected in roughly 10-20 % of notes; the last one is typed in full, so the
    // prefix match of the search also reaches longer words that start with it.
    QString commonTwoWordQuery() const;

    // Inserts the notebooks and n notes in one transaction. Returns the number of notes inserted.
    int fill(NoteRepository& notes, NotebookRepository& notebooks, Database& db, int n);

private:
    quint32 next() { return m_rng(); }
    double unit() { return double(m_rng()) / 4294967296.0; } // [0, 1), same on every platform
    int uniform(int lo, int hi) { return lo + int(unit() * double(hi - lo + 1)); }
    const QString& word();
    QString words(int count, bool capitaliseFirst);

    std::mt19937 m_rng;
    QStringList m_vocabulary;         // by rank, most frequent first
    std::vector<double> m_cumulative; // Zipf cumulative weights, last == 1
    QList<Notebook> m_notebooks;
    int m_produced = 0;
    double m_meanWordsPerNote = 0;
};

// Convenience for benchmarks: a library of n notes from seed in a migrated database.
int generateLibrary(NoteRepository& notes, NotebookRepository& notebooks, Database& db, int n, quint32 seed);
