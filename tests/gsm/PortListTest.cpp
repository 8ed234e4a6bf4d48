// COM names for the serial devices of a Linux system, listed from a folder of
// the test's own that stands in for /dev.
#include "GsmModem.h"
#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace {

using Listing = std::vector<std::pair<std::string, std::string>>;

class PortList : public ::testing::Test {
protected:
    Listing List() {
        Listing listed;
        MakeSystemPortLister(Dev.Path().string())
            ->List(
                [&](const std::string& name, const std::string& path) { listed.emplace_back(name, path); });
        return listed;
    }

    void Link(const std::string& name, const std::string& target) {
        std::filesystem::create_symlink(target, Dev.Path() / name);
    }

    TTempDir Dev;
    TPty Pty1, Pty2, Pty3;
};

TEST_F(PortList, UsbThenAcmEachByNumber) {
    Link("ttyACM0", Pty1.SlavePath());
    Link("ttyUSB10", Pty2.SlavePath());
    Link("ttyUSB2", Pty3.SlavePath());
    EXPECT_EQ(List(),
              (Listing{{"COM1", Dev / "ttyUSB2"}, {"COM2", Dev / "ttyUSB10"}, {"COM3", Dev / "ttyACM0"}}));
}

TEST_F(PortList, OnlyTerminalDevicesOfTheKnownFamiliesCount) {
    Link("ttyUSB0", Pty1.SlavePath());
    Link("ttyUSB1", (Dev.Path() / "missing").string()); // dangling
    std::ofstream(Dev / "ttyUSB2") << "a file";
    std::filesystem::create_directory(Dev.Path() / "ttyUSB3");
    Link("ttyUSBx", Pty2.SlavePath());
    Link("ttyUSB", Pty2.SlavePath());
    Link("ttyUSB-1", Pty2.SlavePath());
    Link("ttyAMA0", Pty2.SlavePath());
    Link("cua0", Pty2.SlavePath());
    Link("ttyS0", Pty3.SlavePath()); // a pseudo-terminal has no UART behind it
    EXPECT_EQ(List(), (Listing{{"COM1", Dev / "ttyUSB0"}}));
}

TEST_F(PortList, EmptyOrMissingFolderListsNothing) {
    EXPECT_TRUE(List().empty());
    EXPECT_TRUE(MakeSystemPortLister((Dev.Path() / "none").string()) != nullptr);
    Listing listed;
    MakeSystemPortLister((Dev.Path() / "none").string())
        ->List([&](const std::string& name, const std::string& path) { listed.emplace_back(name, path); });
    EXPECT_TRUE(listed.empty());
}

TEST_F(PortList, AtMostNinetyNinePorts) {
    for (int n = 0; n < 105; ++n) {
        Link("ttyUSB" + std::to_string(n), Pty1.SlavePath());
    }
    const Listing listed = List();
    ASSERT_EQ(listed.size(), 99U);
    EXPECT_EQ(listed.back(), (std::pair<std::string, std::string>{"COM99", Dev / "ttyUSB98"}));
}

TEST_F(PortList, ComponentMapsNamesToTheListedDevices) {
    Link("ttyUSB0", Pty1.SlavePath());
    Link("ttyACM3", Pty2.SlavePath());
    TGsmModem modem(SystemPlatform(Dev.Path().string()));
    TPortSet ports;
    modem.GetExistingPorts(ports);
    TPortSet expected;
    expected.set(spCOM1).set(spCOM2);
    EXPECT_EQ(ports, expected);
    EXPECT_EQ(modem.DevicePath(spCOM1), Dev / "ttyUSB0");
    EXPECT_EQ(modem.DevicePath(spCOM2), Dev / "ttyACM3");
    EXPECT_EQ(modem.DevicePath(spCOM3), "");
}

TEST(SerialDevice, OpensOnlyTerminals) {
    TTempDir dir;
    std::ofstream(dir / "file") << "x";
    EXPECT_EQ(OpenSystemSerialDevice(dir / "file"), nullptr);
    EXPECT_EQ(OpenSystemSerialDevice(dir / "missing"), nullptr);
    TPty pty;
    auto device = OpenSystemSerialDevice(pty.SlavePath());
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(OpenSystemSerialDevice(pty.SlavePath()), nullptr) << "held exclusively";
    device->Close();
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(device->Write("AT\r", 3), 0);
    EXPECT_EQ(device->BytesWaiting(), -1);
    EXPECT_NE(OpenSystemSerialDevice(pty.SlavePath()), nullptr) << "free again once closed";
}

} // namespace
