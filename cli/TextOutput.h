#ifndef TEXTOUTPUT_H
#define TEXTOUTPUT_H

#include "FlashOutput.h"

#include <cstdio>

// For people: the log lines on standard output, coloured as in the window
// when it is a terminal; progress and the program's own messages on standard
// error, the progress rewritten in place on a terminal, else a line per step
// and one a minute.
class TextOutput : public FlashOutput
{
public:
    explicit TextOutput(bool quiet);
    ~TextOutput() override;
    TextOutput(const TextOutput &) = delete;
    TextOutput &operator=(const TextOutput &) = delete;

    void line(const QString &text, LineTone tone) override;
    void step(const StepEvent &event) override;
    void progress(const ProgressEvent &event) override;
    void call(const CallEvent &event) override;
    void instrument(const InstrumentFindings &event) override;
    void record(const QString &path) override;
    void notice(const QString &text) override;
    void outcome(const Outcome &outcome) override;

private:
    void showProgress(const QString &text);
    void hideProgress();

    const bool quiet;
    const bool colour;
    const bool progressInPlace;
    // On a terminal: the progress line shown, and its length to blank it.
    QByteArray shownProgress;
    // The step the progress belongs to.
    StepEvent currentStep;
    // Elsewhere: the minutes of the current step already reported, -1 for
    // none: the step's first progress is its line.
    int reportedMinutes = -1;
};

#endif
