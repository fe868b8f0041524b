#ifndef FOCUSRING_H
#define FOCUSRING_H

// From now on the control with the focus, in any window of the program,
// shows a ring in its window's text colour just outside its edges: from a
// window's first show, whether the focus came by keyboard, mouse or the
// program, and on controls whose style draws no focus of its own (the log).
// The text colour contrasts with the window's background in light and dark
// palettes alike. The ring is drawn whole, above the control's neighbours,
// and not at all in a window a dialog blocks. Once per program; later calls
// do nothing.
void showFocusAlways();

#endif
