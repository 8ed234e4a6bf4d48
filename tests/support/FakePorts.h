#pragma once

#include "gsm/GsmModem.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

// A port lister that reports fixed ports, in the order given; the devices
// cannot be opened.
class FakePortLister : public TPortLister {
public:
    explicit FakePortLister(std::vector<std::pair<std::string, std::string>> ports)
        : ports_(std::move(ports)) {}
    void List(const std::function<void(const std::string&, const std::string&)>& found) override {
        for (const auto& [name, path] : ports_) {
            found(name, path);
        }
    }

private:
    std::vector<std::pair<std::string, std::string>> ports_;
};

inline std::unique_ptr<TGsmModem> modemWithPorts(std::vector<std::pair<std::string, std::string>> ports) {
    TGsmPlatform platform = SystemPlatform();
    platform.Lister = std::make_shared<FakePortLister>(std::move(ports));
    platform.OpenDevice = [](const std::string&) { return std::unique_ptr<TSerialDevice>(); };
    return std::make_unique<TGsmModem>(std::move(platform));
}
