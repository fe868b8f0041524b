#ifndef STEPPROGRESSBAR_H
#define STEPPROGRESSBAR_H

#include <QProgressBar>

#include <functional>

// A progress bar whose accessible description is read when a screen reader
// asks for it, so that a text that changes every second (the time a step
// has taken) can be read at any moment without an event every second.
class StepProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    StepProgressBar();

    void describeWith(std::function<QString()> describe);
    QString description() const;

private:
    std::function<QString()> describe;
};

#endif
