#ifndef DEVICESELECTORDIALOG_H
#define DEVICESELECTORDIALOG_H

#include <QDialog>

// Asks which model is connected when no instrument could be opened, so that
// it can be bootstrapped: a button for each model of the table. The caller
// reads cancelled, then selectedType.
class DeviceSelectorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DeviceSelectorDialog(QWidget *parent);

    int selectedType = 0;
    bool cancelled = false;

public slots:
    // Escape and the close control must not count as choosing a model.
    void reject() override;

private slots:
    void cancelPressed();
};

#endif
