#ifndef JSONOUTPUT_H
#define JSONOUTPUT_H

#include "FlashOutput.h"

class QJsonObject;

// For scripts: one JSON object per line on standard output for each event,
// each with its kind in "event". Progress comes when a step starts, once a
// minute, and when the library's percentage moves. Nothing else is written
// to standard output.
class JsonOutput : public FlashOutput
{
public:
    explicit JsonOutput(bool quiet);

    void line(const QString &text, LineTone tone) override;
    void step(const StepEvent &event) override;
    void progress(const ProgressEvent &event) override;
    void call(const CallEvent &event) override;
    void instrument(const InstrumentFindings &event) override;
    void record(const QString &path) override;
    void notice(const QString &text) override;
    void outcome(const Outcome &outcome) override;

private:
    static void write(const QString &event, QJsonObject object);

    const bool quiet;
    // What the current step has reported: minutes (-1: nothing yet), percent, line.
    int reportedMinutes = -1;
    int reportedPercent = -1;
    QString reportedStep;
};

#endif
