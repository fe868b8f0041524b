#ifndef RESTOREDEVICETHREAD_H
#define RESTOREDEVICETHREAD_H

#include "workers/DeviceStatus.h"

#include <QThread>

class RestoreDeviceThread : public QThread
{
    Q_OBJECT

public:
    bool succeeded = false;
    // Set when the sequence did not start because an image it needs is
    // unusable: nothing was touched then.
    bool imageUnusable = false;
    DeviceStatus deviceStatus;

signals:
    void addLine(QString s);

protected:
    void run() override;

private:
    bool imagesPresent();
    bool restoreOverUsb();
    bool restoreOverNetwork();
    bool fail(const char *line);
    bool failAfterPause(const char *line);
};

#endif
