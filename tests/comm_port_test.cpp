// Serial port: CCommPort against a scripted receiver on the far end of a pseudo-terminal
// pair that the test prefix maps as COM5 (scripts/serial-line.sh). Every wrapper is judged
// by the raw Win32 call in the same state, so what a pty cannot do shows as the same failure.
#include "test_common.h"

#include <tarn_kit/comm_port.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace tarn_kit;

namespace {

const wchar_t* const kPort = L"COM5";
const wchar_t* const kCommPort = L".\\CommPort";

bool ExpectLikeRaw(const wchar_t* call, const std::function<BOOL()>& raw,
                   const std::function<void()>& wrapped)
{
    return tarn_kit_test::ExpectLikeRaw(kCommPort, call, raw, wrapped);
}

// One row per wrapper: the raw call and the wrapper on the same handle.
struct Wrapper
{
    const wchar_t* call;
    std::function<BOOL(HANDLE)> raw;
    std::function<void(CCommPort&)> wrapped;
};

std::vector<Wrapper> EveryWrapper()
{
    static DWORD dw;
    static COMSTAT stat;
    static COMMPROP prop;
    static DCB dcb;
    static COMMTIMEOUTS to;
    return {
        {L"SetupComm", [](HANDLE h) { return ::SetupComm(h, 4096, 4096); },
         [](CCommPort& p) { p.SetupComm(4096, 4096); }},
        {L"PurgeComm", [](HANDLE h) { return ::PurgeComm(h, PURGE_RXCLEAR); },
         [](CCommPort& p) { p.PurgeComm(PURGE_RXCLEAR); }},
        {L"EscapeCommFunction", [](HANDLE h) { return ::EscapeCommFunction(h, SETBREAK); },
         [](CCommPort& p) { p.EscapeCommFunction(SETBREAK); }},
        {L"ClearCommError", [](HANDLE h) { return ::ClearCommError(h, &dw, &stat); },
         [](CCommPort& p) { p.ClearCommError(dw, stat); }},
        {L"ClearCommBreak", [](HANDLE h) { return ::ClearCommBreak(h); },
         [](CCommPort& p) { p.ClearCommBreak(); }},
        {L"GetCommModemStatus", [](HANDLE h) { return ::GetCommModemStatus(h, &dw); },
         [](CCommPort& p) { p.GetCommModemStatus(dw); }},
        {L"GetCommProperties", [](HANDLE h) { return ::GetCommProperties(h, &prop); },
         [](CCommPort& p) { p.GetCommProperties(prop); }},
        {L"GetCommState",
         [](HANDLE h) {
             dcb.DCBlength = sizeof dcb;
             return ::GetCommState(h, &dcb);
         },
         [](CCommPort& p) { p.GetCommState(dcb); }},
        {L"SetCommState", [](HANDLE h) { return ::SetCommState(h, &dcb); },
         [](CCommPort& p) { p.SetCommState(dcb); }},
        {L"GetCommMask", [](HANDLE h) { return ::GetCommMask(h, &dw); },
         [](CCommPort& p) { p.GetCommMask(dw); }},
        {L"SetCommMask", [](HANDLE h) { return ::SetCommMask(h, EV_RXCHAR); },
         [](CCommPort& p) { p.SetCommMask(EV_RXCHAR); }},
        {L"GetCommTimeouts", [](HANDLE h) { return ::GetCommTimeouts(h, &to); },
         [](CCommPort& p) { p.GetCommTimeouts(to); }},
        {L"SetCommTimeouts", [](HANDLE h) { return ::SetCommTimeouts(h, &to); },
         [](CCommPort& p) { p.SetCommTimeouts(to); }},
        {L"TransmitCommChar", [](HANDLE h) { return ::TransmitCommChar(h, 'x'); },
         [](CCommPort& p) { p.TransmitCommChar('x'); }},
        {L"WaitCommEvent", [](HANDLE h) { return ::WaitCommEvent(h, &dw, nullptr); },
         [](CCommPort& p) { (void)p.WaitCommEvent(dw, nullptr); }},
    };
}

// Opens kPort, or says why the line is not there.
bool OpenPort(CCommPort& port, DWORD flags, std::string& why)
{
    try {
        port.Open(kPort, flags);
        return true;
    } catch (const CWinException& e) {
        why = "COM5 cannot be opened (error " + std::to_string(e.GetErrorCode()) +
              "): the test serial line is not running; see build/<arch>/serial/status";
        return false;
    }
}

} // namespace

// A port never opened, and one whose handle was closed behind its back: every wrapper fails
// with the invalid-handle error that the raw call gets.
TEST(CCommPortClosedTest, EveryWrapperFailsLikeTheRawCall)
{
    CCommPort never, port;
    std::string why;
    const bool open = OpenPort(port, 0, why);
    HANDLE h = port;
    ASSERT_TRUE(!open || ::CloseHandle(h));
    for (CCommPort* p : {&never, &port}) {
        for (const Wrapper& w : EveryWrapper()) {
            EXPECT_FALSE(ExpectLikeRaw(
                w.call, [&] { return w.raw(p == &never ? INVALID_HANDLE_VALUE : h); },
                [&] { w.wrapped(*p); }));
            EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), ::GetLastError());
        }
        if (!open)
            GTEST_SKIP() << why;
    }
    port.Detach();
}

class CCommPortTest : public ::testing::Test
{
protected:
    void SetUp() override { Open(0); }

    void Open(DWORD flags)
    {
        std::string why;
        m_bOverlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
        if (!OpenPort(m_port, flags, why))
            GTEST_SKIP() << why;
        DCB dcb = {};
        m_port.GetCommState(dcb);
        dcb.BaudRate = CBR_115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        m_port.SetCommState(dcb);
        COMMTIMEOUTS to = {};
        to.ReadTotalTimeoutConstant = 3000; // a safety net: every reply comes well before
        m_port.SetCommTimeouts(to);
        m_port.PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR);
    }

    void Send(const std::string& text)
    {
        unsigned int done = 0;
        COverlapped record(nullptr, TRUE);
        OVERLAPPED* ov = m_bOverlapped ? &record : nullptr;
        if (!m_port.Write(text.data(), unsigned(text.size()), done, ov)) {
            ASSERT_TRUE(m_port.GetOverlappedResult(ov, done, TRUE));
        }
        ASSERT_EQ(text.size(), done);
    }

    // One reply line without its LF, read synchronously.
    std::string ReadLine()
    {
        std::string line;
        char c = 0;
        unsigned int done = 0;
        while (m_port.Read(&c, 1, done) && done == 1 && c != '\n')
            line += c;
        EXPECT_EQ('\n', c) << "no complete reply within the time-out: " << line;
        return line;
    }

    std::string Ask(const std::string& command)
    {
        Send(command + "\n");
        return ReadLine();
    }

    // The input queue as ClearCommError reports it, once it holds n bytes or after 2 s.
    COMSTAT WaitForInput(DWORD n, DWORD& errors)
    {
        COMSTAT status = {};
        for (int i = 0; i < 200 && status.cbInQue < n; ++i) {
            ::Sleep(10);
            m_port.ClearCommError(errors, status);
        }
        return status;
    }

    CCommPort m_port;
    bool m_bOverlapped = false;
};

// Settings read back as set, judged by the raw GetCommState; a setting the line rejects
// fails as the raw SetCommState does on the same handle.
TEST_F(CCommPortTest, ConfigureReadsBackAndFailsLikeTheRawCall)
{
    DCB dcb;
    std::memset(&dcb, 0xCC, sizeof dcb);
    dcb.DCBlength = 0;
    m_port.GetCommState(dcb);
    EXPECT_EQ(DWORD(sizeof(DCB)), dcb.DCBlength);

    struct Row
    {
        DWORD baud;
        BYTE byteSize, parity, stopBits;
    } rows[] = {{CBR_9600, 8, NOPARITY, ONESTOPBIT},
                {CBR_19200, 8, NOPARITY, TWOSTOPBITS},
                {CBR_115200, 8, NOPARITY, ONESTOPBIT},
                {CBR_57600, 7, EVENPARITY, ONESTOPBIT},
                {CBR_9600, 9, NOPARITY, ONESTOPBIT}};
    for (const Row& r : rows) {
        DCB wanted = dcb;
        wanted.BaudRate = r.baud;
        wanted.ByteSize = r.byteSize;
        wanted.Parity = r.parity;
        wanted.StopBits = r.stopBits;
        DCB raw = wanted, base = dcb; // both calls start from the same line state
        SCOPED_TRACE(testing::Message() << r.baud << " " << int(r.byteSize));
        if (!ExpectLikeRaw(
                L"SetCommState",
                [&] { return ::SetCommState(m_port, &base) && ::SetCommState(m_port, &raw); },
                [&] {
                    base = dcb;
                    ::SetCommState(m_port, &base);
                    m_port.SetCommState(wanted);
                }))
            continue;
        DCB mine = {}, judge = {};
        m_port.GetCommState(mine);
        judge.DCBlength = sizeof judge;
        ASSERT_TRUE(::GetCommState(m_port, &judge));
        EXPECT_EQ(0, std::memcmp(&mine, &judge, sizeof mine));
        EXPECT_TRUE(mine.BaudRate == r.baud && mine.StopBits == r.stopBits);
    }

    COMMTIMEOUTS to = {10, 20, 30, 40, 50}, back = {};
    DWORD mask = 0;
    m_port.SetCommTimeouts(to);
    m_port.GetCommTimeouts(back);
    m_port.SetCommMask(EV_RXCHAR | EV_BREAK | EV_ERR);
    m_port.GetCommMask(mask);
    EXPECT_EQ(0, std::memcmp(&to, &back, sizeof to));
    EXPECT_EQ(DWORD(EV_RXCHAR | EV_BREAK | EV_ERR), mask);
    m_port.SetupComm(8192, 8192);
    COMMPROP mine = {}, judge = {};
    m_port.GetCommProperties(mine);
    ASSERT_TRUE(::GetCommProperties(m_port, &judge));
    EXPECT_EQ(0, std::memcmp(&mine, &judge, sizeof mine));
}

// Commands and replies, one character sent out of band, and a large reply.
TEST_F(CCommPortTest, ExchangeCommandsAndReplies)
{
    EXPECT_EQ("TK-100,0042,1.0", Ask("*IDN?"));
    EXPECT_EQ("OK", Ask("FREQ 100.5"));
    EXPECT_EQ("100.5", Ask("FREQ?"));
    // TransmitCommChar goes ahead of nothing queued here, so it lands in order.
    Send("ECHO A");
    m_port.TransmitCommChar('B');
    Send("C\n");
    EXPECT_EQ("ABC", ReadLine());
    // A large reply arrives whole.
    std::string blob = Ask("BLOB 3000");
    ASSERT_EQ(3000u, blob.size());
    for (std::size_t i = 0; i < blob.size(); ++i)
        ASSERT_EQ(char('A' + i % 26), blob[i]) << i;
}

// The input queue that ClearCommError reports is what a read then gets; PurgeComm empties it.
TEST_F(CCommPortTest, ClearCommErrorCountsInputAndPurgeCommDropsIt)
{
    Send("ECHO hello\n");
    DWORD errors = 1;
    COMSTAT status = WaitForInput(6, errors);
    EXPECT_EQ(0u, errors);
    ASSERT_EQ(6u, status.cbInQue);
    char buffer[16] = {};
    unsigned int done = 0;
    EXPECT_TRUE(m_port.Read(buffer, status.cbInQue, done));
    EXPECT_EQ("hello\n", std::string(buffer, done));

    Send("ECHO dropped\n");
    WaitForInput(8, errors);
    m_port.PurgeComm(PURGE_RXCLEAR);
    m_port.ClearCommError(errors, status);
    EXPECT_EQ(0u, status.cbInQue);
    EXPECT_EQ("kept", Ask("ECHO kept"));
}

// The line functions a pty may lack fail as the raw calls do; what works, works.
TEST_F(CCommPortTest, EscapeFunctionsBreakAndModemStatusLikeTheRawCalls)
{
    // Ends in a break that ClearCommBreak lifts.
    for (DWORD f : {SETBREAK, CLRBREAK, SETXOFF, SETXON, SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK})
        ExpectLikeRaw(
            L"EscapeCommFunction", [&] { return ::EscapeCommFunction(m_port, f); },
            [&] { m_port.EscapeCommFunction(f); });
    ExpectLikeRaw(
        L"ClearCommBreak", [&] { return ::ClearCommBreak(m_port); },
        [&] { m_port.ClearCommBreak(); });
    m_port.PurgeComm(PURGE_RXCLEAR);
    EXPECT_EQ("after break", Ask("ECHO after break"));

    DWORD raw = 0, mine = 0;
    if (!ExpectLikeRaw(
            L"GetCommModemStatus", [&] { return ::GetCommModemStatus(m_port, &raw); },
            [&] { m_port.GetCommModemStatus(mine); }))
        GTEST_SKIP() << "the line has no modem status (Wine on a pty: error 50)";
    EXPECT_EQ(raw, mine);
}

// A read times out as the raw read does in the same state (Windows: success, 0 bytes).
TEST_F(CCommPortTest, ReadTimesOutLikeTheRawRead)
{
    COMMTIMEOUTS to = {};
    to.ReadTotalTimeoutConstant = 200;
    m_port.SetCommTimeouts(to);
    char buffer[8];
    DWORD rawDone = 99;
    Send("QUIET\n");
    ASSERT_TRUE(::ReadFile(m_port, buffer, sizeof buffer, &rawDone, nullptr));
    unsigned int done = 99;
    EXPECT_TRUE(m_port.Read(buffer, sizeof buffer, done));
    EXPECT_TRUE(done == rawDone && done == 0);
}

class CCommPortOverlappedTest : public CCommPortTest
{
protected:
    void SetUp() override { Open(FILE_FLAG_OVERLAPPED); }
};

// An overlapped read is under way until the reply comes; an overlapped write completes.
TEST_F(CCommPortOverlappedTest, ReadAndWriteOverlapped)
{
    COverlapped readOv(nullptr, TRUE);
    char buffer[6] = {};
    unsigned int done = 0;
    // Nothing was asked yet, so nothing can have come.
    ASSERT_FALSE(m_port.Read(buffer, sizeof buffer, done, &readOv));
    EXPECT_FALSE(m_port.GetOverlappedResult(&readOv, done, FALSE));
    Send("LATER 100 hello\n");
    ASSERT_TRUE(m_port.GetOverlappedResult(&readOv, done, TRUE));
    EXPECT_EQ("hello\n", std::string(buffer, done));

    // A time-out ends an overlapped read as it ends the raw one in the same state.
    COMMTIMEOUTS to = {};
    to.ReadTotalTimeoutConstant = 100;
    m_port.SetCommTimeouts(to);
    COverlapped rawOv(nullptr, TRUE);
    DWORD rawDone = 0;
    BOOL rawOk = ::ReadFile(m_port, buffer, sizeof buffer, &rawDone, &rawOv);
    if (!rawOk && ::GetLastError() == ERROR_IO_PENDING)
        rawOk = ::GetOverlappedResult(m_port, &rawOv, &rawDone, TRUE);
    DWORD rawCode = rawOk ? NO_ERROR : ::GetLastError();
    readOv.ResetEvent();
    try {
        if (!m_port.Read(buffer, sizeof buffer, done, &readOv)) {
            EXPECT_TRUE(m_port.GetOverlappedResult(&readOv, done, TRUE));
        }
        EXPECT_TRUE(rawOk);
        EXPECT_EQ(rawDone, done);
    } catch (const CWinException& e) {
        EXPECT_EQ(rawCode, e.GetErrorCode()); // Wine: 1460, where Windows succeeds with 0 bytes
        EXPECT_FALSE(rawOk);
    }
}

// WaitCommEvent: synchronously it returns when a character comes; overlapped with nothing
// to report it returns false without throwing and goes on in the background.
TEST_F(CCommPortOverlappedTest, WaitCommEventPendsThenReports)
{
    m_port.SetCommMask(EV_RXCHAR);
    COverlapped ov(nullptr, TRUE);
    DWORD mask = 0;
    bool done = m_port.WaitCommEvent(mask, &ov);
    EXPECT_FALSE(done) << "nothing was sent, yet an event was reported: " << mask;
    Send("LATER 100 x\n");
    unsigned int n = 0;
    DWORD rawCode = NO_ERROR;
    try {
        if (!done) {
            EXPECT_TRUE(m_port.GetOverlappedResult(&ov, n, TRUE));
        }
    } catch (const CWinException& e) {
        rawCode = e.GetErrorCode();
    }
    char buffer[2] = {};
    COverlapped readOv(nullptr, TRUE);
    if (!m_port.Read(buffer, 2, n, &readOv)) {
        ASSERT_TRUE(m_port.GetOverlappedResult(&readOv, n, TRUE));
    }
    EXPECT_EQ("x\n", std::string(buffer, n));
    if (rawCode != NO_ERROR || !(mask & EV_RXCHAR))
        GTEST_SKIP() << "the platform ended the wait without the event (error " << rawCode
                     << ", mask " << mask << "); Wine does so on a pty";
    EXPECT_EQ(DWORD(EV_RXCHAR), mask);
}

TEST_F(CCommPortTest, WaitCommEventReturnsWhenACharacterComes)
{
    m_port.SetCommMask(EV_RXCHAR);
    Send("LATER 100 y\n");
    DWORD mask = 0;
    EXPECT_TRUE(m_port.WaitCommEvent(mask));
    EXPECT_EQ("y", ReadLine());
    if (!(mask & EV_RXCHAR))
        GTEST_SKIP() << "the wait ended with mask " << mask << "; Wine does so on a pty";
}

// Share mode 0: a second open of a held port is refused with access denied.
TEST_F(CCommPortTest, SecondOpenOfAHeldPortIsRefused)
{
    CCommPort second;
    std::string why;
    if (!OpenPort(second, 0, why)) {
        EXPECT_WIN_EXCEPTION(second.Open(kPort, 0), L".\\File", L"CreateFile", ERROR_ACCESS_DENIED);
        return;
    }
    GTEST_SKIP() << "the platform opened the held port a second time (Wine allows it)";
}

// Open closes the port it had first; 10,000 open/close cycles lose no handle slot.
TEST_F(CCommPortTest, OpenCloseCyclesLoseNoHandle)
{
    m_port.Open(kPort, 0); // over itself
    EXPECT_EQ("TK-100,0042,1.0", Ask("*IDN?"));
    m_port.Close();
    tarn_kit_test::ExpectNoHandleLeak([] {
        for (int i = 0; i < 10; ++i) {
            CCommPort port(kPort, i % 2 ? FILE_FLAG_OVERLAPPED : 0);
            port.Open(kPort, 0);
        }
    });
}
