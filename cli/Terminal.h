#ifndef TERMINAL_H
#define TERMINAL_H

#include <cstdio>

// Whether stream is an interactive terminal (a console window on Windows).
bool isTerminal(std::FILE *stream);

// How many characters a line of the terminal behind stream holds; 0 when
// unknown.
int terminalColumns(std::FILE *stream);

// Makes the terminal behind stream show colour escapes and UTF-8; false when
// it cannot.
bool prepareTerminal(std::FILE *stream);

// A reader of the output that went away (a closed pipe, as in
// "kd740-flash update | head -3") must not end the program in the middle of a
// write; the writes to it fail instead.
void keepWritingWithoutReader();

#endif
