#include "ui/DeviceSelectorDialog.h"

#include "catalogue/Catalogue.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

// No minimise or help button: the main window waits behind it.
DeviceSelectorDialog::DeviceSelectorDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Device Select"));

    auto *kd740aButton = new QPushButton(deviceTypeName(KD740A));
    auto *kd740bButton = new QPushButton(deviceTypeName(KD740B));
    auto *kd740cButton = new QPushButton(deviceTypeName(KD740C));
    auto *cancelButton = new QPushButton(QStringLiteral("Cancel"));

    auto *mainLayout = new QVBoxLayout;
    auto *buttonLayout = new QHBoxLayout;
    buttonLayout->addWidget(kd740aButton);
    buttonLayout->addWidget(kd740bButton);
    buttonLayout->addWidget(kd740cButton);
    buttonLayout->addWidget(cancelButton);

    auto *label = new QLabel(
        QStringLiteral("Unable to open device. If the device is not connected to the PC, please connect "
                       "the device and restart this application. If you want to bootstrap your device, "
                       "please select your device type below."));
    label->setWordWrap(true);

    mainLayout->addWidget(label);
    mainLayout->addLayout(buttonLayout);
    setLayout(mainLayout);

    // Enter and Space press only the button with the focus, which starts on
    // Cancel: the instrument gets the boot image of whichever model is
    // chosen, so no stray key may choose one. A reader hears the question
    // with the dialog.
    for (QPushButton *button : { kd740aButton, kd740bButton, kd740cButton, cancelButton }) {
        button->setAutoDefault(true);
        button->setAccessibleName(button->text());
    }
    cancelButton->setFocus();
    setAccessibleDescription(label->text());

    connect(kd740aButton, &QPushButton::clicked, this, &DeviceSelectorDialog::isKD740A);
    connect(kd740bButton, &QPushButton::clicked, this, &DeviceSelectorDialog::isKD740B);
    connect(kd740cButton, &QPushButton::clicked, this, &DeviceSelectorDialog::isKD740C);
    connect(cancelButton, &QPushButton::clicked, this, &DeviceSelectorDialog::cancelPressed);
}

void DeviceSelectorDialog::isKD740A()
{
    selectedType = KD740A;
    accept();
}

void DeviceSelectorDialog::isKD740B()
{
    selectedType = KD740B;
    accept();
}

void DeviceSelectorDialog::isKD740C()
{
    selectedType = KD740C;
    accept();
}

void DeviceSelectorDialog::cancelPressed()
{
    cancelled = true;
    accept();
}

void DeviceSelectorDialog::reject()
{
    cancelled = true;
    QDialog::reject();
}
