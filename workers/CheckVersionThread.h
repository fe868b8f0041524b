#ifndef CHECKVERSIONTHREAD_H
#define CHECKVERSIONTHREAD_H

#include "workers/DeviceStatus.h"

#include <QThread>

class CheckVersionThread : public QThread
{
    Q_OBJECT

public:
    DeviceStatus deviceStatus;

signals:
    void updateText(const QString &s);

protected:
    void run() override;

private:
    bool checkOverNetwork();
    bool failNetworkRead(int handle, const char *line);
    void checkOpenedDevice(int handle);
    void checkBootDevice();
};

#endif
