#ifndef FLASHRUN_H
#define FLASHRUN_H

#include "FlashOptions.h"
#include "FlashOutput.h"

#include "workers/DeviceStatus.h"
#include "workers/LibraryProgress.h"
#include "workers/ProgressText.h"

#include <QObject>
#include <QTimer>

#include <optional>

class QThread;
struct PartSequence;
class RunRecord;
class WritePartsThread;

// One run of the console program: the check, then the update or restore the
// command asks for, through the window program's own workers, with the
// decisions the window asks about taken from the options. Like the window it
// keeps a record of the run.
class FlashRun : public QObject
{
    Q_OBJECT

public:
    FlashRun(const FlashOptions &options, FlashOutput &output);

    // Returns the exit status.
    int exec();

signals:
    // A warning from any thread, told on the run's.
    void warned(const QString &text);

private slots:
    void notice(const QString &text);

private:
    Outcome run();
    Outcome afterNoAnswer();
    Outcome afterBootMode();
    Outcome afterVersions();
    Outcome write(WritePartsThread &worker, const QString &title);
    bool checkImages(const PartSequence &sequence);
    void endCheck();

    void runSequence(QThread &worker, const QString &activity, const LibraryProgress *library = nullptr);
    void startStep(int step, int steps, const QString &part, int expectedSeconds);
    void tick();
    void addLine(const QString &text);
    void addLines(const QStringList &lines);
    void addLines(const QVector<ReportLine> &lines);
    void writeLine(const QString &text, LineTone tone);
    void writeTitle(const QString &title);

    const FlashOptions options;
    FlashOutput &output;
    DeviceStatus status;
    RunRecord *record = nullptr;
    // While a worker runs: what the busy dialog would say, and since when.
    std::optional<ProgressText> progressText;
    qint64 stepStartMs = 0;
    const LibraryProgress *library = nullptr;
    PercentFilter percentFilter;
    QTimer progressTimer;
};

#endif
