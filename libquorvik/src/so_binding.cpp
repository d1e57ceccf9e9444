#include "so_binding.h"

#include <dlfcn.h>

#include <atomic>

namespace quorvik::so {
namespace {

// One symbol of libQuorvikSO, looked up until it is found, then kept.
template <typename Function>
class LateSymbol {
  public:
    explicit constexpr LateSymbol(const char* name) : name_(name) {}

    Function* get() {
        Function* found = cached_.load(std::memory_order_acquire);
        if (found == nullptr) {
            found = reinterpret_cast<Function*>(::dlsym(RTLD_DEFAULT, name_));
            if (found != nullptr) cached_.store(found, std::memory_order_release);
        }
        return found;
    }

  private:
    const char* name_;
    std::atomic<Function*> cached_{nullptr};
};

using TextQuery = int(char*);
using SensorQuery = int(const char*, unsigned long, long, int*);

LateSymbol<TextQuery> get_device_name_fn("GetDeviceName");
LateSymbol<TextQuery> get_bios_version_fn("GetBiosVersion");
LateSymbol<TextQuery> get_serial_number_fn("GetSerialNumber");
LateSymbol<SensorQuery> get_sensor_value_fn("GetSensorValueByType");

bool ask(LateSymbol<TextQuery>& symbol, char* buf) {
    TextQuery* function = symbol.get();
    return function != nullptr && function(buf) != 0;
}

}  // namespace

bool device_name(char* buf) {
    return ask(get_device_name_fn, buf);
}

bool bios_version(char* buf) {
    return ask(get_bios_version_fn, buf);
}

bool serial_number(char* buf) {
    return ask(get_serial_number_fn, buf);
}

bool sensor_value(const char* model, unsigned long type, long input, int* value) {
    SensorQuery* function = get_sensor_value_fn.get();
    return function != nullptr && function(model, type, input, value) != 0;
}

}  // namespace quorvik::so
