// Port names, rates, the stored settings behind the properties and the list of
// present ports.
#include "FakePlatform.h"

#include <gtest/gtest.h>

namespace {

const char* const BadCombination = "Invalid data-width and stop-bits combination.";

class PortModel : public ::testing::Test {
protected:
    TFakePlatform Fake;
    TGsmModem Modem{Fake.Make()};
};

TEST(PortNames, NamesAndPortsConvertBothWays) {
    EXPECT_EQ(TGsmModem::StringToPort("COM7"), spCOM7);
    EXPECT_EQ(TGsmModem::StringToPort("COM1"), spCOM1);
    EXPECT_EQ(TGsmModem::StringToPort("COM99"), spCOM99);
    EXPECT_EQ(TGsmModem::PortToString(spNone), "");
    EXPECT_EQ(TGsmModem::PortToString(spCOM1), "COM1");
    EXPECT_EQ(TGsmModem::PortToString(spCOM99), "COM99");
    for (int n = 1; n <= 99; ++n) {
        const auto port = static_cast<TCommPort>(n);
        EXPECT_EQ(TGsmModem::StringToPort(TGsmModem::PortToString(port)), port);
    }
}

TEST(PortNames, AnyOtherSpellingIsNoPort) {
    for (const char* name : {"com7", "COM07", "COM100", "COM0", "", "COM", " COM7", "COM7 ", "COM7:", "Com7",
                             "COM-1", "COM+7", "LPT1", "COM7\n"}) {
        EXPECT_EQ(TGsmModem::StringToPort(name), spNone) << name;
    }
    EXPECT_EQ(TGsmModem::StringToPort(std::string("COM1\0", 5)), spNone);
}

TEST_F(PortModel, RatesConvertThroughTheTable) {
    const std::pair<TBaudRate, std::int32_t> table[] = {
        {br000110, 110},    {br000300, 300},    {br000600, 600},    {br001200, 1200},
        {br002400, 2400},   {br004800, 4800},   {br009600, 9600},   {br014400, 14400},
        {br019200, 19200},  {br038400, 38400},  {br057600, 57600},  {br115200, 115200},
        {br128000, 128000}, {br230400, 230400}, {br256000, 256000}, {br460800, 460800}};
    for (const auto& [member, rate] : table) {
        EXPECT_EQ(Modem.RateToBaudRate(rate), member) << rate;
        EXPECT_EQ(Modem.BaudRateToRate(member), rate) << rate;
    }
    for (const std::int32_t other : {0, -4800, 4801, 1, 921600, 2147483647}) {
        EXPECT_EQ(Modem.RateToBaudRate(other), brCustom) << other;
    }
    Modem.SetCustomBaudRate(31250);
    EXPECT_EQ(Modem.BaudRateToRate(brCustom), 31250);
}

TEST_F(PortModel, FreshComponentHasTheDefaults) {
    EXPECT_EQ(Modem.Port(), spNone);
    EXPECT_EQ(Modem.BaudRate(), br004800);
    EXPECT_EQ(Modem.DataWidth(), dw8Bits);
    EXPECT_EQ(Modem.StopBits(), sb1Bit);
    EXPECT_EQ(Modem.Parity(), pbNone);
    EXPECT_TRUE(Modem.EnableDTROnOpen());
    EXPECT_TRUE(Modem.EnableRTSOnOpen());
    EXPECT_EQ(Modem.HwFlowControl(), hfNONE);
    EXPECT_EQ(Modem.SwFlowControl(), sfNONE);
    EXPECT_EQ(Modem.Priority(), tpNormal);
    EXPECT_EQ(Modem.CustomBaudRate(), 0);
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
    EXPECT_TRUE(Fake.Trace->Entries().empty()) << "creating the component touches no port";
}

TEST_F(PortModel, DefaultsGiveTheLineOfThePhone) {
    const TLineSettings s = Modem.LineSettings();
    EXPECT_EQ(s.BaudRate, 4800);
    EXPECT_EQ(s.ByteSize, 8);
    EXPECT_EQ(s.Parity, 0);
    EXPECT_EQ(s.StopBits, 0);
    EXPECT_EQ(s.DtrControl, 1);
    EXPECT_EQ(s.RtsControl, 1);
    EXPECT_FALSE(s.OutxCtsFlow);
    EXPECT_FALSE(s.OutX);
    EXPECT_FALSE(s.InX);
    EXPECT_FALSE(s.CheckParity);
    EXPECT_EQ(s.XonChar, 17);
    EXPECT_EQ(s.XoffChar, 19);
}

TEST_F(PortModel, RtsControlFollowsFlowControlAndEnableRts) {
    struct TCase {
        bool Rts;
        THwFlowControl Flow;
        int Expected;
        bool Cts;
    };
    for (const TCase c :
         {TCase{false, hfNONE, 0, false}, TCase{true, hfNONE, 1, false}, TCase{false, hfRTS, 1, false},
          TCase{true, hfRTS, 1, false}, TCase{false, hfRTSCTS, 2, true}, TCase{true, hfRTSCTS, 2, true}}) {
        Modem.SetEnableRTSOnOpen(c.Rts);
        Modem.SetHwFlowControl(c.Flow);
        EXPECT_EQ(Modem.LineSettings().RtsControl, c.Expected) << c.Rts << " " << c.Flow;
        EXPECT_EQ(Modem.LineSettings().OutxCtsFlow, c.Cts);
    }
    Modem.SetEnableDTROnOpen(false);
    EXPECT_EQ(Modem.LineSettings().DtrControl, 0);
    Modem.SetSwFlowControl(sfXONXOFF);
    EXPECT_TRUE(Modem.LineSettings().OutX);
    EXPECT_TRUE(Modem.LineSettings().InX);
}

TEST_F(PortModel, PortWriteStoresTheName) {
    Modem.SetPort(spCOM3);
    EXPECT_EQ(Modem.Port(), spCOM3);
    Modem.SetPort(spNone);
    EXPECT_EQ(Modem.Port(), spNone);
    EXPECT_EQ(Modem.ConnectedPort(), spNone);
}

TEST_F(PortModel, CustomRateWaitsUntilBaudRateIsCustom) {
    Modem.SetCustomBaudRate(31250);
    EXPECT_EQ(Modem.BaudRate(), br004800);
    EXPECT_EQ(Modem.LineSettings().BaudRate, 4800);
    Modem.SetBaudRate(brCustom);
    EXPECT_EQ(Modem.BaudRate(), brCustom);
    EXPECT_EQ(Modem.LineSettings().BaudRate, 31250);
    Modem.SetCustomBaudRate(250000);
    EXPECT_EQ(Modem.LineSettings().BaudRate, 250000) << "a custom line rate follows the custom rate";
}

TEST_F(PortModel, CustomRateEqualToATableRateReadsAsThatMember) {
    Modem.SetCustomBaudRate(9600);
    Modem.SetBaudRate(brCustom);
    EXPECT_EQ(Modem.BaudRate(), br009600);
    Modem.SetCustomBaudRate(31250);
    EXPECT_EQ(Modem.LineSettings().BaudRate, 9600) << "the line rate is a table rate now and stays";
    EXPECT_EQ(Modem.CustomBaudRate(), 31250);
}

TEST_F(PortModel, OneAndAHalfStopBitsOnlyWithFiveDataBits) {
    try {
        Modem.SetStopBits(sb1_5Bits);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), BadCombination);
    }
    EXPECT_EQ(Modem.StopBits(), sb1Bit);
    Modem.SetDataWidth(dw5Bits);
    Modem.SetStopBits(sb1_5Bits);
    EXPECT_EQ(Modem.StopBits(), sb1_5Bits);
    for (const TDataWidth width : {dw6Bits, dw7Bits, dw8Bits}) {
        EXPECT_THROW(Modem.SetDataWidth(width), std::runtime_error);
    }
    EXPECT_EQ(Modem.DataWidth(), dw5Bits) << "a refused write stores nothing";
    EXPECT_EQ(Modem.LineSettings().StopBits, 1);
}

TEST_F(PortModel, TwoStopBitsNotWithFiveDataBits) {
    Modem.SetDataWidth(dw5Bits);
    EXPECT_THROW(Modem.SetStopBits(sb2Bits), std::runtime_error);
    EXPECT_EQ(Modem.StopBits(), sb1Bit);
    Modem.SetDataWidth(dw7Bits);
    Modem.SetStopBits(sb2Bits);
    try {
        Modem.SetDataWidth(dw5Bits);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), BadCombination);
    }
    EXPECT_EQ(Modem.DataWidth(), dw7Bits);
    Modem.SetStopBits(sb1Bit);
    Modem.SetDataWidth(dw5Bits);
    EXPECT_EQ(Modem.DataWidth(), dw5Bits);
}

TEST_F(PortModel, EveryParityAndWidthIsStored) {
    for (const TParityBits parity : {pbNone, pbOdd, pbEven, pbMark, pbSpace}) {
        Modem.SetParity(parity);
        EXPECT_EQ(Modem.Parity(), parity);
        EXPECT_EQ(Modem.LineSettings().Parity, static_cast<int>(parity));
    }
    for (const TDataWidth width : {dw5Bits, dw6Bits, dw7Bits, dw8Bits}) {
        Modem.SetDataWidth(width);
        EXPECT_EQ(Modem.DataWidth(), width);
        EXPECT_EQ(Modem.LineSettings().ByteSize, 5 + static_cast<int>(width));
    }
    Modem.SetPriority(tpHighest);
    EXPECT_EQ(Modem.Priority(), tpHighest);
}

TEST_F(PortModel, ListedNamesAreFilteredThroughStringToPort) {
    Fake.Ports = {{"COM1", "/dev/a"}, {"COM12", "/dev/b"}, {"COM3", "/dev/c"}, {"COM100", "/dev/d"},
                  {"com4", "/dev/e"}, {"COM05", "/dev/f"}, {"COM3", "/dev/c"}};
    TPortSet ports;
    ports.set(spCOM50);
    Modem.GetExistingPorts(ports);
    TPortSet expected;
    expected.set(spCOM1).set(spCOM3).set(spCOM12);
    EXPECT_EQ(ports, expected);
    EXPECT_EQ(Modem.DevicePath(spCOM12), "/dev/b");
    EXPECT_EQ(Modem.DevicePath(spCOM4), "");
    EXPECT_EQ(Modem.DevicePath(spNone), "");
}

TEST_F(PortModel, NoPortsGiveTheEmptySet) {
    Fake.Ports.clear();
    TPortSet ports;
    ports.set(spCOM2);
    Modem.GetExistingPorts(ports);
    EXPECT_TRUE(ports.none());
}

TEST_F(PortModel, ListingAgainForgetsDevicesThatWentAway) {
    TPortSet ports;
    Modem.GetExistingPorts(ports);
    EXPECT_EQ(Modem.DevicePath(spCOM2), "/dev/ttyUSB1");
    Fake.Ports.pop_back();
    Modem.GetExistingPorts(ports);
    EXPECT_FALSE(ports.test(spCOM2));
    EXPECT_EQ(Modem.DevicePath(spCOM2), "");
}

} // namespace
