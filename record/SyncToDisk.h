#ifndef SYNCTODISK_H
#define SYNCTODISK_H

// Asks the system to put what was written to the open file descriptor on the
// disk itself, so that a power cut loses none of it. Needs no Qt.
bool syncToDisk(int fileDescriptor);

#endif
