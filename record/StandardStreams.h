#ifndef STANDARDSTREAMS_H
#define STANDARDSTREAMS_H

// A program started with standard input, output or error closed (as some
// service managers start them) would take the next file it opens, a record
// among them, as that stream, and console text would land in it. Called
// first thing in main, before anything is opened: each closed one is
// opened on the null device.
void keepStandardStreamsOpen();

#endif
