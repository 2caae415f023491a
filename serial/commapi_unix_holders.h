// Private to the Linux layer: who else has a tty open. The one search both
// the component's Open (to refuse a held port) and the explanation of a
// refusal (to name the holder) use, so the two always agree.
#pragma once

#include <string>

#include <sys/types.h>

namespace commlayer::detail {

enum class Holders {
    None,       // nobody else has the tty open
    FarEndOnly, // only processes that hold the pty's master too: the device's own far end
    Some,       // another process has it open
    Unknown,    // none seen, but some processes' fds could not be read
};

struct THolderSearch {
    Holders holders = Holders::None;
    int pid = 0;         // Some: the first other holder seen
    std::string program; // its program name (/proc/<pid>/comm)
    int farEndPid = 0;   // the first far end seen (it may have marked the tty)
    std::string farEndProgram;
};

// The other open file descriptions than our `ownFd` (-1: none of ours is
// exempt) on the tty `rdev`, found in /proc/<pid>/fd without their help.
THolderSearch SearchHolders(int ownFd, dev_t rdev);

} // namespace commlayer::detail
