// The present serial ports of Windows: the data of the values under
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, in the registry's order.
#include "SerialPlatform.h"

#include <array>
#include <stdexcept>
#include <type_traits>
#include <windows.h>

namespace {

class TRegistryPortLister final : public TPortLister {
public:
    void List(const std::function<void(const std::string&, const std::string&)>& found) override {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &opened) !=
            ERROR_SUCCESS) {
            return;
        }
        const std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&RegCloseKey)> key(opened, &RegCloseKey);
        for (DWORD index = 0;; ++index) {
            std::array<char, 256> name{};
            std::array<BYTE, 256> data{};
            DWORD nameSize = static_cast<DWORD>(name.size());
            DWORD dataSize = static_cast<DWORD>(data.size());
            DWORD type = 0;
            const LONG result = RegEnumValueA(key.get(), index, name.data(), &nameSize, nullptr, &type,
                                              data.data(), &dataSize);
            if (result == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (result != ERROR_SUCCESS) {
                continue;
            }
            if (type != REG_SZ && type != REG_EXPAND_SZ) {
                throw std::runtime_error("Invalid data type for '" + std::string(name.data(), nameSize) +
                                         "'");
            }
            std::string port(reinterpret_cast<const char*>(data.data()), dataSize);
            port.erase(port.find_last_not_of('\0') + 1);
            found(port, "\\\\.\\" + port);
        }
    }

    // Windows opens any COM name, listed or not.
    std::string UnlistedPath(const std::string& name) override { return "\\\\.\\" + name; }
};

} // namespace

std::unique_ptr<TPortLister> MakeSystemPortLister(const std::string&) {
    return std::make_unique<TRegistryPortLister>();
}
