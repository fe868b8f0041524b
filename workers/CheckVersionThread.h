#ifndef CHECKVERSIONTHREAD_H
#define CHECKVERSIONTHREAD_H

#include "catalogue/DeviceStatus.h"
#include "catalogue/ImageSource.h"

#include <QThread>

#include <functional>

// What a check found, and why an image the run would then write cannot be
// used (empty: none).
struct CheckOutcome
{
    DeviceStatus status;
    QString imageProblem;
    // The run's one read of its images' list.
    ImageList images;
};
Q_DECLARE_METATYPE(CheckOutcome)

// Finds the instrument through each link in turn and reads what it is and
// holds. The images a run would write are checked and copied here too, as
// reading them can wait on the disk: their folder's signature before any
// call, the images once the instrument is known.
class CheckVersionThread : public QThread
{
    Q_OBJECT

public:
    // readList: the folder's list, read once; imageProblem: why an image a
    // run on what was found would write cannot be used, held to that list.
    CheckVersionThread(std::function<ImageList()> readList,
                       std::function<QString(const ImageList &, const DeviceStatus &)> imageProblem);

signals:
    void updateText(const QString &s);
    // Its last act.
    void ended(const CheckOutcome &outcome);

protected:
    void run() override;

private:
    const std::function<ImageList()> readList;
    const std::function<QString(const ImageList &, const DeviceStatus &)> imageProblem;
};

#endif
