// What a sequence asks of the engine, and nothing more: open the port,
// issue a command, read and set the main window's boxes, hold its button
// down, log, and the module's last answer. The engine is the one host; the
// sequences' unit tests run on a fake.
#pragma once

#include <string>
#include <string_view>

class ISequenceHost {
public:
    virtual ~ISequenceHost() = default;

    // Opens the port as a command button does; false when it will not open
    // (the failure is logged there).
    virtual bool OpenPort() = 0;
    // Issues catalogue command `cmd` as its button does; `quiet`: its
    // announcement and request lines are held back and logged only if a
    // reply comes. False when nothing went out, so no verdict will come;
    // otherwise the verdict comes later, through TSequences::Verdict.
    virtual bool Issue(int cmd, bool quiet) = 0;

    // A box of the main window, by its name in the table.
    virtual std::string Text(std::string_view box) const = 0;
    virtual bool Checked(std::string_view box) const = 0;
    virtual void SetText(std::string_view box, const std::string &text) = 0;
    virtual void SetChecked(std::string_view box, bool checked) = 0;
    // The sequence's toolbar button, held down while it runs.
    virtual void SetButtonDown(std::string_view button, bool down) = 0;

    // One line of the command log, of a kind of TLogKind.
    virtual void Log(int kind, const std::string &text) = 0;
    // The last answer to "ATI0", stripped (it names the firmware version).
    virtual std::string ModuleLine() const = 0;
    // The box's port is not there now but may come (an adapter not yet
    // plugged in): a wait for the module then waits for it.
    virtual bool PortAwaited() const { return false; }
};
