#include "TempDir.h"

#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

TTempDir::TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gsm-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    FPath = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

TPty::TPty() {
    FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::array<char, 128> name{};
    if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0 ||
        ptsname_r(FMaster, name.data(), name.size()) != 0) {
        throw std::runtime_error("cannot open a pseudo-terminal");
    }
    FSlavePath = name.data();
}

TPty::~TPty() {
    if (FMaster >= 0) {
        ::close(FMaster);
    }
}
