// The termios record built from the line settings.
#include "PosixLine.h"

#include <gtest/gtest.h>

namespace {

TLineSettings Phone() {
    TLineSettings settings;
    settings.BaudRate = 4800;
    settings.DtrControl = 1;
    settings.RtsControl = 1;
    return settings;
}

termios Cooked() {
    termios tio{};
    tio.c_iflag = ICRNL | IXON | INPCK | ISTRIP;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    tio.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS | HUPCL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 5;
    return tio;
}

termios Fill(const TLineSettings& settings, bool expectCustom = false) {
    termios tio = Cooked();
    bool custom = !expectCustom;
    EXPECT_TRUE(FillTermios(settings, tio, custom));
    EXPECT_EQ(custom, expectCustom);
    return tio;
}

TEST(PosixLine, PhoneDefaultsGiveARawLine) {
    const termios tio = Fill(Phone());
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B4800));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B4800));
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS),
              static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | IXOFF | INPCK | ISTRIP), 0U);
    EXPECT_EQ(tio.c_oflag & OPOST, 0U);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0U);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_EQ(tio.c_cc[VSTART], 17);
    EXPECT_EQ(tio.c_cc[VSTOP], 19);
}

TEST(PosixLine, ParityStopBitsAndFlowControl) {
    const std::pair<std::uint8_t, tcflag_t> parities[] = {
        {0, 0}, {1, PARENB | PARODD}, {2, PARENB}, {3, PARENB | PARODD | CMSPAR}, {4, PARENB | CMSPAR}};
    for (const auto& [code, flags] : parities) {
        TLineSettings settings = Phone();
        settings.Parity = code;
        EXPECT_EQ(Fill(settings).c_cflag & (PARENB | PARODD | CMSPAR), flags) << int{code};
    }
    TLineSettings settings = Phone();
    settings.ByteSize = 5;
    settings.StopBits = 1;
    EXPECT_EQ(Fill(settings).c_cflag & (CSIZE | CSTOPB), static_cast<tcflag_t>(CS5 | CSTOPB));
    settings.ByteSize = 6;
    settings.StopBits = 2;
    EXPECT_EQ(Fill(settings).c_cflag & (CSIZE | CSTOPB), static_cast<tcflag_t>(CS6 | CSTOPB));
    settings = Phone();
    settings.OutxCtsFlow = true;
    settings.RtsControl = 2;
    settings.OutX = settings.InX = true;
    const termios tio = Fill(settings);
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0U);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
}

TEST(PosixLine, RatesOutsideTheTableAreCustom) {
    TLineSettings settings = Phone();
    for (const std::int32_t rate : {14400, 128000, 256000, 31250}) {
        settings.BaudRate = rate;
        Fill(settings, true);
    }
    settings.BaudRate = 460800;
    const termios tio = Fill(settings);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B460800));
}

TEST(PosixLine, SettingsNoLineCanTakeAreRefused) {
    const std::function<void(TLineSettings&)> changes[] = {
        [](TLineSettings& s) { s.BaudRate = 0; }, [](TLineSettings& s) { s.BaudRate = -9600; },
        [](TLineSettings& s) { s.ByteSize = 9; }, [](TLineSettings& s) { s.ByteSize = 4; },
        [](TLineSettings& s) { s.Parity = 5; },   [](TLineSettings& s) { s.StopBits = 3; },
        [](TLineSettings& s) { s.StopBits = 1; }, // one and a half only with 5 data bits
    };
    for (const auto& change : changes) {
        TLineSettings settings = Phone();
        change(settings);
        termios tio = Cooked();
        bool custom = false;
        EXPECT_FALSE(FillTermios(settings, tio, custom));
    }
}

} // namespace
