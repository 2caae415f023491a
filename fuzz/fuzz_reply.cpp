// The reply path of the main window: a command goes out over a
// pseudo-terminal, the reply bytes come back in pieces of any size (each
// piece handed to the data handler as the event thread would), then the wait
// ends and the verdict line is written. Afterwards every command number's
// verdict is taken on the same reply text.
//
// Input: byte 0 picks the command; then pieces, each a length byte
// (1..64 bytes follow) and its bytes; the 16th piece is all the rest.
#include <QApplication>
#include <QComboBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

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
#include "LogHelpers.h"
#include "WorkFile.h"
#include "pAT_Vexo.h"

namespace {

int gMaster = -1;
TfAT_Vexo *gWindow = nullptr;
QTextEdit *gLog = nullptr;

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
    while (gWindow->XComm_AT().QueueCount(0) < n) {
        if (std::chrono::steady_clock::now() > end)
            Fault("a piece never arrived");
        std::this_thread::yield();
    }
}

QString LastLogLine()
{
    return gLog->document()->lastBlock().text();
}

int LogLineCount()
{
    int n = 0;
    for (QTextBlock b = gLog->document()->begin(); b.isValid(); b = b.next())
        n += !b.text().isEmpty();
    return n;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        static std::string runtime = "/tmp/vexo-fuzz-runtime-XXXXXX";
        if (::mkdtemp(runtime.data()) != nullptr)
            qputenv("XDG_RUNTIME_DIR", runtime.c_str());
    }
    static int argc = 1;
    static char name[] = "fuzz_reply";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);

    gMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char slave[128];
    if (gMaster < 0 || ::grantpt(gMaster) != 0 || ::unlockpt(gMaster) != 0
        || ::ptsname_r(gMaster, slave, sizeof slave) != 0)
        Fault("no pseudo-terminal");

    static TfAT_Vexo window;
    gWindow = &window;
    gLog = window.findChild<QTextEdit *>(QStringLiteral("reWin"));
    auto *port = window.findChild<QComboBox *>(QStringLiteral("cbRSname"));
    if (!gLog || !port)
        Fault("main window controls not found");
    port->setEditText(QString::fromLatin1(slave));
    // Pieces are handed over here, one call each, on this thread; the event
    // thread only counts what is queued.
    window.XComm_AT().OnData = nullptr;
    window.XComm_AT().SetSynchronize(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int cmd = data[0] % ATCommandCount;
    gWindow->ClearLog();
    gWindow->SendCommand(cmd);
    if (!gWindow->XComm_AT().Opened() || gWindow->CurCmd() != cmd)
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
            const qsizetype before = gWindow->RxText().size();
            gWindow->XComm_ATData(&gWindow->XComm_AT(), gWindow->XComm_AT().QueueCount(0));
            got += static_cast<std::size_t>(gWindow->RxText().size() - before);
        }
        sent.append(reinterpret_cast<const char *>(data + i), len);
        i += len;
    }
    if (gWindow->XComm_AT().QueueCount(0) != 0)
        Fault("bytes left unread");
    const QByteArray rx = gWindow->RxText();
    if (rx != QByteArray::fromStdString(sent))
        Fault("the reply text is not the bytes that came, in order");

    gWindow->tRdIn_VexoTimer();
    if (LogLineCount() != 3)
        Fault("not exactly command, request and one verdict");
    const QString line = LastLogLine();
    if (sent.empty()) {
        if (line != QString::fromUtf8("нет ответа от \"Vexo\""))
            Fault("an empty reply was not reported as none");
    } else {
        const QString head = QString::fromUtf8("ответ  \"Vexo\" <- ");
        if (!line.startsWith(head))
            Fault("the verdict line has no reply head");
        if (line.mid(head.size()) != Verdict(cmd, StripCtrl(Cp1251Decode(rx))))
            Fault("the verdict line is not the verdict on the reply");
    }

    const QString reply = StripCtrl(Cp1251Decode(rx));
    for (int n = 0; n < ATCommandCount; ++n) {
        const QString v = Verdict(n, reply);
        switch (n) {
        case acRdSpeedRS:
        case acRdSpeedPrn:
        case acRdSpeedIO:
            if (!v.startsWith(QString::fromUtf8("скорость RS = \"")) || !v.endsWith(u'"'))
                Fault("a speed verdict without its frame");
            break;
        case acInfo:
            if (v != reply)
                Fault("the version reply was not shown as it came");
            break;
        default:
            if (v.isEmpty() && !reply.isEmpty() && n != acRdAdrModBus)
                Fault("an empty verdict");
            break;
        }
    }
    return 0;
}
