#ifndef LINKKIND_H
#define LINKKIND_H

// How a model is configured: over USB, or over the network.
enum class LinkKind { Usb, Network };

// As scripts name it: "usb" or "net".
inline const char *linkName(LinkKind link)
{
    return link == LinkKind::Network ? "net" : "usb";
}

#endif
