#pragma once
// How many file descriptors the process may still open. Every accepted
// client costs descriptors; the window system and the toolkit need some at
// any moment (a connection to the display that cannot take one breaks), so a
// reserve is kept for them and a client that would touch it is refused.

namespace tavrix {

// Kept free for the window system, the toolkit and the program's own files.
inline constexpr int kDescriptorReserve = 64;
// What a connection window's channel opens besides the accepted socket: one eventfd.
inline constexpr int kDescriptorsPerConnection = 1;

// Descriptors that may still be opened below the soft limit; a large number
// when there is no limit or the open ones cannot be counted.
int FreeDescriptors();
// Whether one more connection (its socket already open) leaves the reserve untouched.
bool RoomForConnection();
// The soft limit, or -1 when there is none.
long DescriptorLimit();

}  // namespace tavrix
