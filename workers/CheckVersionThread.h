#ifndef CHECKVERSIONTHREAD_H
#define CHECKVERSIONTHREAD_H

#include "catalogue/DeviceStatus.h"

#include <QThread>

#include <functional>

// What a check found, and why an image the run would then write cannot be
// used (empty: none).
struct CheckOutcome
{
    DeviceStatus status;
    QString imageProblem;
};
Q_DECLARE_METATYPE(CheckOutcome)

// Finds the instrument through each link in turn and reads what it is and
// holds. The images a run would write are checked here too, as reading them
// can wait on the disk: their folder's signature before any call, the images
// once the instrument is known.
class CheckVersionThread : public QThread
{
    Q_OBJECT

public:
    // folderProblem: why no image of the folder can be used, or empty;
    // imageProblem: why an image a run on what was found would write cannot.
    CheckVersionThread(std::function<QString()> folderProblem,
                       std::function<QString(const DeviceStatus &)> imageProblem);

signals:
    void updateText(const QString &s);
    // Its last act.
    void ended(const CheckOutcome &outcome);

protected:
    void run() override;

private:
    const std::function<QString()> folderProblem;
    const std::function<QString(const DeviceStatus &)> imageProblem;
};

#endif
