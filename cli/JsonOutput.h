#ifndef JSONOUTPUT_H
#define JSONOUTPUT_H

#include "FlashOutput.h"

class QJsonObject;

// For scripts: one JSON object per line on standard output for each event,
// each with its kind in "event". Progress comes at each step and once a
// minute. Nothing else is written to standard output.
class JsonOutput : public FlashOutput
{
public:
    explicit JsonOutput(bool quiet);

    void line(const QString &text, LineTone tone) override;
    void step(const QString &text) override;
    void progress(const QString &text, int elapsedSeconds) override;
    void call(const CallEvent &event) override;
    void notice(const QString &text) override;
    void outcome(const Outcome &outcome) override;

private:
    static void write(const QString &event, QJsonObject object);

    const bool quiet;
    int reportedMinutes = 0;
};

#endif
