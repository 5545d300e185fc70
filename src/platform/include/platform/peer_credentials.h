#pragma once
// Who is at the other end of a connected local (Unix domain) socket, as the kernel recorded it
// when the connection was made: a process of another user cannot pass for this one.

// True when the peer of the connected local socket `descriptor` runs as this process's user.
// False also when the system cannot tell.
bool peerIsThisUser(int descriptor);
