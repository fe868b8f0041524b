#ifndef READBACKTHREAD_H
#define READBACKTHREAD_H

#include "catalogue/DeviceStatus.h"

#include <QThread>

// Reads the instrument once a write has ended, the way the check reads it,
// again and again until it answers or waitMs have passed: an instrument
// restarts on what was written and may take a while to answer. The lines a
// look says are left out: a read-back only reports what it found.
class ReadBackThread : public QThread
{
    Q_OBJECT

public:
    // waitMs 0: one look.
    explicit ReadBackThread(int waitMs);

signals:
    // Its last act: NotDetected where nothing answered in time.
    void ended(const DeviceStatus &status);

protected:
    void run() override;

private:
    const int waitMs;
};

#endif
