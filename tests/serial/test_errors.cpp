// Error class, codes and messages of the serial component.
#include <gtest/gtest.h>

#include "XComDrv.h"
#include "XComErr.h"

namespace {

template <typename F>
EDeviceError Caught(F f)
{
    try {
        f();
    } catch (const EDeviceError &e) {
        return e;
    }
    ADD_FAILURE() << "no EDeviceError raised";
    return EDeviceError("", 0);
}

} // namespace

TEST(DeviceErrors, MessagesAreByteExact)
{
    const struct {
        int code;
        const char *text;
    } table[] = {
        {1, "Device not opened."},
        {2, "Device is allready opened."},
        {3, "Unable to update device control block."},
        {4, "Device locked. Cannot perform send operations."},
        {5, "Device locked. Cannot perform read operations."},
        {6, "Unable to update IO buffers."},
        {7, "Unable to update Timeouts."},
    };
    for (const auto &row : table) {
        const EDeviceError e = Caught([&] { RaiseDeviceError(row.code); });
        EXPECT_EQ(e.ErrorCode(), row.code);
        EXPECT_STREQ(e.what(), row.text) << "code " << row.code;
        EXPECT_EQ(e.Message(), row.text);
    }
    EXPECT_STREQ(DeviceErrorMessage(0), "");
    EXPECT_STREQ(DeviceErrorMessage(8), "");
}

TEST(DeviceErrors, IsAnExceptionOfTheRuntimeLibrary)
{
    try {
        DeviceError("custom", 42);
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), "custom");
        auto *dev = dynamic_cast<const EDeviceError *>(&e);
        ASSERT_NE(dev, nullptr);
        EXPECT_EQ(dev->ErrorCode(), 42);
    }
}

TEST(DeviceErrors, MisuseOfAClosedComponent)
{
    TXComm comm;
    char buf[4] = {};
    std::string text;
    EXPECT_EQ(Caught([&] { comm.Close(); }).ErrorCode(), 1);
    EXPECT_EQ(Caught([&] { comm.QueueCount(0); }).ErrorCode(), 1);
    EXPECT_EQ(Caught([&] { comm.Send(buf, 4); }).ErrorCode(), 1);
    EXPECT_EQ(Caught([&] { comm.Read(buf, 4); }).ErrorCode(), 1);
    EXPECT_EQ(Caught([&] { comm.SendString("ATI0\r\n"); }).ErrorCode(), 1);
    EXPECT_EQ(Caught([&] { comm.ReadString(text); }).ErrorCode(), 1);
    // The closed check comes before the count check.
    EXPECT_EQ(Caught([&] { comm.Send(buf, 0); }).ErrorCode(), 1);
    EXPECT_EQ(Caught([&] { comm.SendString(""); }).ErrorCode(), 1);
    EXPECT_STREQ(Caught([&] { comm.Close(); }).what(), "Device not opened.");
}
