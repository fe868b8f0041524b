#ifndef LOGTIMES_H
#define LOGTIMES_H

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

class QTextBlock;
class QTextDocument;

// When each line of a run reached the log, kept as the run's record keeps
// it: since the run began with its check. Lines before the first run (the
// introduction) have no time.
class LogTimes
{
public:
    // A check starts a run, and its record.
    void runStarted();
    // The line just written to this block.
    void stamp(QTextBlock block) const;
    // When the last run began; invalid before the first.
    QDateTime runBegan() const { return began; }
    // The document's lines, each of a run after its time ("+M:SS.mmm") and
    // each run headed by the date it began.
    static QString stampedText(const QTextDocument *document);

private:
    QDateTime began;
    QElapsedTimer clock;
};

#endif
