#include <sys/socket.h>
#include <unistd.h>

#include "platform/peer_credentials.h"

bool peerIsThisUser(int descriptor) {
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof credentials) {
        return false;
    }
    return credentials.uid == ::getuid();
}
