#ifndef MODALKEYBOARD_H
#define MODALKEYBOARD_H

// From now on a modal dialog that shows takes the keyboard, and keeps it
// while it is up: a window it blocks that becomes active (a window manager
// handing the focus back to the main window as another dialog goes, before
// this one was mapped) hands it straight back. The dialog's own focus stays
// where it put it, on its default button. Once per program.
void keepKeyboardOnDialogs();

#endif
