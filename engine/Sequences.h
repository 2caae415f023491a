// Runs of commands started by one toolbar button: waiting for the module
// (ATI0 again and again until it answers), reading all its parameters, and
// writing them all and reading them back. Each step is an ordinary command,
// judged by the reply timer; the sequence moves on at each verdict, so
// nothing runs between steps and the window never waits on it. A sequence
// reaches the engine only through ISequenceHost (SequenceHost.h), and what
// it knows of a step is the step's row in the catalogue (Commands.h).
#pragma once

#include <string>
#include <vector>

#include "Profile.h"
#include "SequenceHost.h"

enum class TSequenceKind { None, Wait, ReadAll, WriteAll, Compare };

// The file the boxes' values came from, as the engine knows it when write all
// or compare starts (an empty path: none), and what it says of its unit.
struct TValuesSource {
    std::string path;
    TUnitParams unit = TUnitParams::Unknown;
    bool klv707 = false;
};

class TSequences {
public:
    explicit TSequences(ISequenceHost &host);

    TSequenceKind Running() const { return FKind; }
    int Attempts() const { return FAttempts; } // of the wait running or last run
    // Whether the unit had parameters 4, 8 and 9, by its last read all or write all.
    TUnitParams Unit() const { return FUnit; }
    // Named by the next write all or compare started.
    void SetSource(TValuesSource source) { FSource = std::move(source); }

    // The sequence's own button: starts it, or ends it when it runs (another
    // one running is ended first).
    void Press(TSequenceKind kind);
    // A command button or Escape: a running sequence ends with a logged line.
    void Interrupt();
    // The reply timer has judged the reply to the sequence's step.
    void Verdict(int cmd, bool answered, const std::string &reply);
    // Ports have come: a wait for the adapter's plug sends its first attempt.
    void PortsAppeared();
    bool AwaitingPlug() const { return FAwaitingPlug; }

private:
    struct TStep {
        int cmd;
        bool answered = false;
        std::string reply; // stripped
    };
    void Start(TSequenceKind kind);
    void Stop(); // button up, state cleared; logs nothing
    bool Issue(int cmd);
    void NextOrFinish();
    void FinishReadAll();
    void FinishWriteAll();
    void FinishCompare();
    void WarnOfSource(); // a file's values this unit cannot take
    std::string FromFile() const; // " из файла "<path>"" when the values came from one
    void PutIntoBox(const TStep &step);
    bool AwaitPlug(); // the wait's port is absent but may come: true when it waits for it

    ISequenceHost &FHost;
    TSequenceKind FKind = TSequenceKind::None;
    int FAttempts = 0;
    std::vector<TStep> FSteps;
    std::size_t FAt = 0;
    // What Write all's five writes sent, in their order.
    std::vector<std::string> FWritten;
    TValuesSource FSource;
    TUnitParams FUnit = TUnitParams::Unknown;
    bool FAwaitingPlug = false; // the wait runs, its port not plugged in
};
