// The reply path of the engine: a command goes out over a
// pseudo-terminal, the reply bytes come back in pieces of any size (each
// piece handed to the data handler as the event thread would), then the wait
// ends and the verdict line is written. Afterwards every command number's
// verdict is taken on the same reply text.
//
// Input: byte 0 picks the command; then pieces, each a length byte
// (1..64 bytes follow) and its bytes; the 16th piece is all the rest.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include "Commands.h"
#include "Cp1251.h"
#include "FakeView.h"
#include "LogHelpers.h"
#include "pAT_Vexo.h"
#include "XComDrv.h" // the engine's port object

namespace {

int gMaster = -1;
TFakeView *gView = nullptr;
TAT_VexoEngine *gEngine = nullptr;

[[noreturn]] void Fault(const char *what)
{
    std::fprintf(stderr, "fuzz_reply: %s\n", what);
    std::abort();
}

void DrainMaster()
{
    char buf[4096];
    while (::read(gMaster, buf, sizeof buf) > 0) {
    }
}

void WriteMaster(const char *p, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(gMaster, p, n);
        if (w > 0) {
            p += w;
            n -= static_cast<std::size_t>(w);
            continue;
        }
        pollfd pfd{gMaster, POLLOUT, 0};
        if (::poll(&pfd, 1, 5000) <= 0)
            Fault("the line takes no more bytes");
    }
}

// The comm layer moves bytes from the tty into its queue on its own thread;
// a piece counts as arrived once all of it is queued.
void WaitQueued(std::uint32_t n)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (gEngine->XComm_AT().QueueCount(0) < n) {
        if (std::chrono::steady_clock::now() > end)
            Fault("a piece never arrived");
        std::this_thread::yield();
    }
}


} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    gMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char slave[128];
    if (gMaster < 0 || ::grantpt(gMaster) != 0 || ::unlockpt(gMaster) != 0
        || ::ptsname_r(gMaster, slave, sizeof slave) != 0)
        Fault("no pseudo-terminal");

    static TFakeView view;
    static TAT_VexoEngine engine(view);
    gView = &view;
    gEngine = &engine;
    view.texts[TViewText::cbRSname] = slave;
    // Pieces are handed over here, one call each, on this thread; the event
    // thread only counts what is queued.
    engine.XComm_AT().OnData = nullptr;
    engine.XComm_AT().SetSynchronize(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int cmd = data[0] % ATCommandCount;
    gEngine->ToolButton6Click();
    gEngine->SendCommand(cmd);
    if (!gEngine->XComm_AT().Opened() || gEngine->CurCmd() != cmd)
        Fault("the command did not go out");
    DrainMaster();

    // At most 16 pieces (the last one takes the rest): each piece is a round
    // trip through the pseudo-terminal, and they set the pace of the run.
    std::string sent;
    int pieces = 0;
    for (std::size_t i = 1; i < size;) {
        std::size_t len = std::min<std::size_t>(data[i] % 64 + 1, size - i - 1);
        if (++pieces == 16)
            len = size - i - 1;
        ++i;
        if (len == 0)
            break;
        WriteMaster(reinterpret_cast<const char *>(data + i), len);
        // A piece longer than the port's queue comes in as the line splits it.
        for (std::size_t got = 0; got < len;) {
            WaitQueued(static_cast<std::uint32_t>(std::min<std::size_t>(len - got, 1024)));
            const std::size_t before = gEngine->RxText().size();
            gEngine->XComm_ATData(&gEngine->XComm_AT(), gEngine->XComm_AT().QueueCount(0));
            got += gEngine->RxText().size() - before;
        }
        sent.append(reinterpret_cast<const char *>(data + i), len);
        i += len;
    }
    if (gEngine->XComm_AT().QueueCount(0) != 0)
        Fault("bytes left unread");
    const std::string rx = gEngine->RxText();
    if (rx != sent)
        Fault("the reply text is not the bytes that came, in order");

    gEngine->tRdIn_VexoTimer();
    if (gView->log.size() != 3)
        Fault("not exactly command, request and one verdict");
    const std::string line = gView->log.back().text;
    if (sent.empty()) {
        if (line != "нет ответа от \"Vexo\"" || gView->log.back().colour != Red)
            Fault("an empty reply was not reported as none");
    } else {
        const std::string head = "ответ  \"Vexo\" <- ";
        if (!line.starts_with(head) || gView->log.back().colour != Maroon)
            Fault("the verdict line has no reply head");
        if (line.substr(head.size()) != Verdict(cmd, StripCtrl(Cp1251Decode(rx))))
            Fault("the verdict line is not the verdict on the reply");
    }

    const std::string reply = StripCtrl(Cp1251Decode(rx));
    for (int n = 0; n < ATCommandCount; ++n) {
        const std::string v = Verdict(n, reply);
        switch (n) {
        case acRdSpeedRS:
        case acRdSpeedPrn:
        case acRdSpeedIO:
            if (!v.starts_with("скорость RS = \"") || !v.ends_with('"'))
                Fault("a speed verdict without its frame");
            break;
        case acInfo:
            if (v != reply)
                Fault("the version reply was not shown as it came");
            break;
        default:
            if (v.empty() && !reply.empty() && n != acRdAdrModBus)
                Fault("an empty verdict");
            break;
        }
    }
    return 0;
}
