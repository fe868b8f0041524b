#ifndef ANNOUNCER_H
#define ANNOUNCER_H

#include <QObject>
#include <QPointer>
#include <QVector>

class QWidget;

// Has a screen reader say lines, each once and in order, whatever has the
// focus. With a Qt that has announcements it sends one per line, polite or
// assertive; otherwise each line is an alert object of its own in the parent
// widget, named by the line, that raises an alert event as it appears: a
// reader that reads the alert when the event reaches it reads that line,
// however soon the next one follows. Such a Qt has no way to tell a reader
// that a line may wait: there every line is an alert. The alerts take no
// room and draw nothing; they stay until cleared, so that nothing said in
// one workflow lingers into the next.
class Announcer : public QObject
{
    Q_OBJECT

public:
    explicit Announcer(QWidget *parent);

    // Polite: said once the reader is done with what it says (a step, a
    // line of progress). Assertive: said at once (an outcome, a warning).
    enum class Urgency { Polite, Assertive };

    void announce(const QString &line, Urgency urgency = Urgency::Assertive);
    void clear();

private:
    QWidget *const widget;
    QVector<QPointer<QWidget>> alerts;
};

#endif
