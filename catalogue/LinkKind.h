#ifndef LINKKIND_H
#define LINKKIND_H

// How a model is configured: over USB, or over the network.
enum class LinkKind { Usb, Network };

#endif
