#ifndef CHECKVERSIONTHREAD_H
#define CHECKVERSIONTHREAD_H

#include "catalogue/DeviceStatus.h"

#include <QThread>

// Finds the instrument and reads what it is and holds.
class CheckVersionThread : public QThread
{
    Q_OBJECT

signals:
    void updateText(const QString &s);
    // Its last act: what it found.
    void ended(const DeviceStatus &status);

protected:
    void run() override;

private:
    bool checkOverNetwork();
    bool failNetworkRead(int handle, const char *line);
    void checkOpenedDevice(int handle);
    void checkBootDevice();

    DeviceStatus deviceStatus;
};

#endif
