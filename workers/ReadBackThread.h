#ifndef READBACKTHREAD_H
#define READBACKTHREAD_H

#include "catalogue/DeviceStatus.h"
#include "catalogue/LinkKind.h"

#include <QThread>

#include <cstdint>

// Reads the written instrument once a write has ended: over the link it was
// written over, the one that answers with the serial the write used. An
// instrument restarts on what was written and may take a while to answer,
// and may pass through its boot mode: until it answers running, it is
// looked at again once a second until waitMs have passed. Another
// instrument that answers is not it. The lines a look says are left out: a
// read-back only reports what it found.
class ReadBackThread : public QThread
{
    Q_OBJECT

public:
    // waitMs 0: one look.
    ReadBackThread(LinkKind link, std::int32_t serial, int waitMs);

signals:
    // Its last act: the written instrument's last answer, NotDetected where
    // it gave none.
    void ended(const DeviceStatus &status);

protected:
    void run() override;

private:
    DeviceStatus look() const;

    const LinkKind link;
    const std::int32_t serial;
    const int waitMs;
};

#endif
