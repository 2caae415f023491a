// Private to the Linux comm layer and its test helpers. The termios2 calls
// live in their own file because <asm/termbits.h> cannot share a translation
// unit with <termios.h>; this header therefore uses neither.
#pragma once

namespace commlayer::detail {

// Sets input and output speed of the tty `fd` to `baud` bit/s through
// termios2 (BOTHER), leaving every other termios flag as it is.
// Returns 0 or an errno value.
int SetCustomSpeed(int fd, unsigned baud);

// The speeds the tty really holds (the kernel keeps them in termios2 for
// standard and custom rates alike). Returns 0 or an errno value.
int GetSpeed(int fd, unsigned *inSpeed, unsigned *outSpeed);

} // namespace commlayer::detail
