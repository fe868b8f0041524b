#ifndef ANNOUNCER_H
#define ANNOUNCER_H

#include <QWidget>

// Has a screen reader say a line once, whatever has the focus. With a Qt
// that has announcements it sends one; otherwise it is itself the object
// that carries the line: an alert that takes the line as its name, raises
// an alert event and reappears, which is what screen readers present.
// It takes no room and draws nothing.
class Announcer : public QWidget
{
    Q_OBJECT

public:
    explicit Announcer(QWidget *parent);

    void announce(const QString &line);
};

#endif
