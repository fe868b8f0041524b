#ifndef UPDATEDEVICETHREAD_H
#define UPDATEDEVICETHREAD_H

#include "workers/DeviceStatus.h"

#include <QThread>

class UpdateDeviceThread : public QThread
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
    void replaceLastLine(QString s);

protected:
    void run() override;

private:
    bool imagesPresent();
    bool updateOverUsb();
    bool writeUsbParts(int handle);
    bool updateOverNetwork();
    bool fail(const char *line);
    bool skip(int deviceVersion, int targetVersion, const char *line);
};

#endif
